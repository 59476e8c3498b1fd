#include "report/report_pdf.h"

#include "report/page_cuts.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/save_target.h"

namespace axtune {

namespace {

// The off-screen platform complains about a missing runtime folder it never needs here.
void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg || message.contains(QStringLiteral("XDG_RUNTIME_DIR"))) return;
  std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// The rows of every table as the layout placed them: a row reaches from half-way between its text and
// the row above to half-way to the row below, so the rows of a table tile it without gaps. And every
// line of text outside the tables, a heading's lines kept with what follows.
void CollectRows(QTextDocument& document, QTextFrame* frame, std::vector<ReportRow>& rows, int& tables) {
  QAbstractTextDocumentLayout* layout = document.documentLayout();
  for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
    if (it.currentFrame() == nullptr) {
      const QTextBlock block = it.currentBlock();
      const QRectF box = layout->blockBoundingRect(block);
      const QTextLayout* lines = block.layout();
      if (!box.isValid() || lines == nullptr) continue;
      const bool heading = block.blockFormat().headingLevel() > 0;
      for (int i = 0; i < lines->lineCount(); ++i) {
        const QRectF line = lines->lineAt(i).rect();
        rows.push_back({box.top() + line.top(), box.top() + line.bottom(), -1, false, heading});
      }
      continue;
    }
    auto* table = qobject_cast<QTextTable*>(it.currentFrame());
    if (table == nullptr) {
      CollectRows(document, it.currentFrame(), rows, tables);
      continue;
    }
    const int number = tables++;
    const QRectF box = layout->frameBoundingRect(table);
    const size_t first = rows.size();
    for (int r = 0; r < table->rows(); ++r) {
      double top = box.bottom(), bottom = box.top();
      for (int c = 0; c < table->columns(); ++c) {
        const QTextTableCell cell = table->cellAt(r, c);
        if (cell.row() != r) continue;  // spans from a row above
        for (QTextFrame::iterator in = cell.begin(); !in.atEnd(); ++in) {
          const QRectF rect = layout->blockBoundingRect(in.currentBlock());
          if (!rect.isValid()) continue;
          top = std::min(top, rect.top());
          bottom = std::max(bottom, rect.bottom());
        }
      }
      if (bottom < top) continue;
      const bool header = r < table->format().headerRowCount();
      rows.push_back({top, bottom, number, header, header});
    }
    for (size_t i = first; i < rows.size(); ++i) {
      rows[i].top = i == first ? box.top() : (rows[i - 1].bottom + rows[i].top) / 2;
    }
    for (size_t i = first; i + 1 < rows.size(); ++i) rows[i].bottom = rows[i + 1].top;
    if (rows.size() > first) rows.back().bottom = box.bottom();
  }
}

}  // namespace

std::vector<ReportPage> LayOutReportPages(QTextDocument& document, QPaintDevice& device, double pageWidth,
                                          double pageHeight, std::vector<ReportRow>* rowsOut) {
  document.documentLayout()->setPaintDevice(&device);
  document.setTextWidth(pageWidth);  // one long page: the cuts are ours
  std::vector<ReportRow> rows;
  int tables = 0;
  CollectRows(document, document.rootFrame(), rows, tables);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const ReportRow& a, const ReportRow& b) { return a.top < b.top; });
  std::vector<ReportPage> pages = CutReportIntoPages(document.size().height(), pageHeight, rows);
  if (rowsOut != nullptr) *rowsOut = std::move(rows);
  return pages;
}

bool WriteHtmlAsPdf(const std::string& html, const std::string& path, std::string& error) {
  std::unique_ptr<QGuiApplication> ownApp;
  if (QCoreApplication::instance() == nullptr) {
    qInstallMessageHandler(QuietHandler);
    // A command-line program: fonts and layout need a GUI application, but never a display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "axtune-cli";
    static char* argv[] = {name, nullptr};
    ownApp = std::make_unique<QGuiApplication>(argc, argv);
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    error = "a PDF needs a GUI application object; write HTML instead";
    return false;
  }
  // Printed into memory and handed to the one atomic writer: a full disk or a failed write leaves
  // the old file and says why (QPdfWriter itself reports no write error).
  QByteArray bytes;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Axtune"));
    writer.setCreator(QStringLiteral("Axtune"));
    QTextDocument document;
    document.setHtml(QString::fromStdString(html));
    const QRectF area = writer.pageLayout().paintRectPixels(writer.resolution());
    std::vector<ReportRow> rows;
    const std::vector<ReportPage> pages =
        LayOutReportPages(document, writer, area.width(), area.height(), &rows);
    QPainter painter(&writer);
    for (size_t i = 0; i < pages.size(); ++i) {
      if (i > 0) writer.newPage();
      const ReportPage& page = pages[i];
      double y = 0;
      if (page.repeatedHeader >= 0) {
        const ReportRow& header = rows[static_cast<size_t>(page.repeatedHeader)];
        painter.save();
        painter.translate(0, -header.top);
        document.drawContents(&painter, QRectF(0, header.top, area.width(), header.bottom - header.top));
        painter.restore();
        y = header.bottom - header.top;
      }
      painter.save();
      painter.translate(0, y - page.from);
      document.drawContents(&painter, QRectF(0, page.from, area.width(), page.to - page.from));
      painter.restore();
    }
    if (!painter.end()) {
      error = "cannot print the report to PDF";
      return false;
    }
  }
  const FileWriteResult written = WriteBytesAtomically(path, bytes.constData(), static_cast<size_t>(bytes.size()));
  if (!written.ok) error = written.reason;
  return written.ok;
}

}  // namespace axtune
