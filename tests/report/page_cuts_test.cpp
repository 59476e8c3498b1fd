// The report's page breaks: no table row is cut, a header row never ends a page alone, and the
// header of a table that goes on is repeated on the next page; on the rule alone and on a real
// layout of a report long enough to break.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QTextDocument>
#include <cstdlib>
#include <memory>
#include <string>

#include "report/page_cuts.h"
#include "report/report_pdf.h"

namespace axtune {
namespace {

TEST(ReportPageCuts, MoveASplitRowWholeKeepTheHeaderWithItsRowsAndRepeatIt) {
  // A heading 0..30, then a table: header 30..40, rows of 20 from 40 on, the fourth two lines tall.
  std::vector<ReportRow> rows{{30, 40, 0, true, true}, {40, 60, 0, false},   {60, 80, 0, false},
                              {80, 120, 0, false},     {120, 140, 0, false}, {140, 160, 0, false}};
  const std::vector<ReportPage> pages = CutReportIntoPages(160, 100, rows);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].from, 0);
  EXPECT_EQ(pages[0].to, 80) << "the tall row does not fit below 100: it starts the next page";
  EXPECT_EQ(pages[0].repeatedHeader, -1);
  EXPECT_EQ(pages[1].from, 80);
  EXPECT_EQ(pages[1].to, 160);
  EXPECT_EQ(pages[1].repeatedHeader, 0) << "the table goes on: its header first";

  // A heading and a header that would end a page go to the next one with the table's first row; a
  // row taller than a page is cut where it must.
  rows = {{70, 85, -1, false, true}, {85, 95, 1, true, true}, {95, 115, 1, false}, {115, 400, 1, false}};
  const std::vector<ReportPage> tall = CutReportIntoPages(400, 100, rows);
  ASSERT_GE(tall.size(), 4u);
  EXPECT_EQ(tall[0].to, 70);
  EXPECT_EQ(tall[1].from, 70);
  EXPECT_EQ(tall[1].to, 115);
  EXPECT_EQ(tall[2].repeatedHeader, 1);
  EXPECT_DOUBLE_EQ(tall[2].to - tall[2].from, 90) << "a page with the header repeated holds less";
  EXPECT_DOUBLE_EQ(tall.back().to, 400);
}

TEST(ReportPageCuts, ALongReportLaidOutBreaksNoRow) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::unique_ptr<QGuiApplication> app;
  static int argc = 1;
  static char name[] = "page_cuts_test";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) app = std::make_unique<QGuiApplication>(argc, argv);

  // Tables of rows of one to four lines, long enough for several pages.
  std::string html = "<h1>Report</h1>";
  for (int t = 0; t < 3; ++t) {
    html += "<h2>Table " + std::to_string(t) +
            "</h2><table width=\"100%\" border=\"1\"><thead><tr><th>Name</th>"
            "<th>Value</th></tr></thead>";
    for (int r = 0; r < 60; ++r) {
      std::string text = "row " + std::to_string(r);
      for (int line = 0; line < r % 4; ++line) text += "<br>more text";
      html += "<tr><td>" + text + "</td><td>" + std::to_string(r * 7) + "</td></tr>";
    }
    html +=
        "</table><p>A paragraph of text after the table, long enough to take two or three lines of the "
        "page, so that a cut may fall into it as well as into a row of a table.</p>";
  }
  QTextDocument document;
  document.setHtml(QString::fromStdString(html));
  QImage device(600, 800, QImage::Format_RGB32);
  std::vector<ReportRow> rows;
  const std::vector<ReportPage> pages = LayOutReportPages(document, device, 600, 800, &rows);
  ASSERT_GT(pages.size(), 3u);
  ASSERT_GT(rows.size(), 180u);
  int repeated = 0;
  for (size_t i = 0; i + 1 < pages.size(); ++i) {
    const double cut = pages[i].to;
    EXPECT_DOUBLE_EQ(pages[i + 1].from, cut);
    repeated += pages[i + 1].repeatedHeader >= 0 ? 1 : 0;
    for (const ReportRow& row : rows)
      EXPECT_FALSE(row.top < cut - 0.5 && row.bottom > cut + 0.5)
          << "row " << row.top << ".." << row.bottom << " cut at " << cut;
    const double height =
        pages[i].to - pages[i].from +
        (pages[i].repeatedHeader >= 0 ? rows[static_cast<size_t>(pages[i].repeatedHeader)].bottom -
                                            rows[static_cast<size_t>(pages[i].repeatedHeader)].top
                                      : 0);
    EXPECT_LE(height, 800.5);
  }
  EXPECT_GE(repeated, 2) << "tables going on over a page repeat their header";
}

}  // namespace
}  // namespace axtune
