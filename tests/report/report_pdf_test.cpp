// The commissioning report written as a PDF (Qt's text layout and PDF writer) holds, as text, the
// drive's identification, a parameter changed against the reference file and the last update; in
// German and in English.
#include <cstdio>
#include <fstream>
#include <regex>

#include "core/update_log.h"
#include "report/report_pdf.h"
#include "tests/cli/cli_fixture.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;

// The PDF's text through pdftotext (poppler-utils), with the layout kept.
std::string PdfText(const std::string& pdf) {
  const std::string txt = pdf + ".txt";
  const std::string command = "pdftotext -layout '" + pdf + "' '" + txt + "'";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(txt);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The PDF keeps the font's ligatures as characters of their own.
  for (const auto& [ligature, letters] : {std::pair<std::string, std::string>{"\xEF\xAC\x80", "ff"},
                                          {"\xEF\xAC\x81", "fi"},
                                          {"\xEF\xAC\x82", "fl"}}) {
    for (size_t at = text.find(ligature); at != std::string::npos; at = text.find(ligature, at))
      text.replace(at, ligature.size(), letters);
  }
  return text;
}

struct Case {
  const char* lang;
  const char* title;
  const char* changed;  // the start of the changed parameter's label (a narrow cell may wrap the rest)
  const char* heading;  // the longest word of a profile column's heading
};

class ReportPdf : public CliTest, public ::testing::WithParamInterface<Case> {};

TEST_P(ReportPdf, HoldsTheDriveTheChangedParameterAndTheLastUpdate) {
  if (std::system("pdftotext -v >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
  env_.writePdf = WriteHtmlAsPdf;
  const std::string reference = path("reference.qmx");
  ASSERT_EQ(run({"save", reference}).code, 0);
  ASSERT_EQ(run({"set", "profile-12-velocity=2500"}).code, 0);
  UpdateLogEntry update;
  update.time = "2026-12-07T17:00:00Z";
  update.file = "/srv/firmware/qmx10-4.1.out";
  update.fileSize = 123456;
  update.sha256 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
  update.sections = 5;
  update.outcome = "Verify ok";
  update.driveAfter = "QMX10-BA 4.1.7, 65 records";
  std::string error;
  ASSERT_TRUE(AppendUpdateLog(update, &error, UpdateLogPath())) << error;

  const std::string pdf = path("report.pdf");
  const RunResult r = run({"--lang", GetParam().lang, "report", pdf, "--reference", reference});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string text = PdfText(pdf);
  ASSERT_FALSE(text.empty()) << "pdftotext read nothing";
  EXPECT_THAT(text, HasSubstr(GetParam().title));
  EXPECT_THAT(text, HasSubstr("QMX10-BA"));
  EXPECT_THAT(text, HasSubstr(GetParam().changed));
  EXPECT_THAT(text, HasSubstr("2500"));
  EXPECT_THAT(text, HasSubstr("qmx10-4.1.out"));
  EXPECT_THAT(text, HasSubstr("Verify ok"));
  // The profile table: a heading's words and a profile's number whole, one line per profile.
  EXPECT_THAT(text, HasSubstr(GetParam().heading));
  for (const char* profile : {"10", "39", "49"}) {
    EXPECT_TRUE(std::regex_search(
        text, std::regex(std::string("(^|\\n) *") + profile + " +-?[0-9]+ +[0-9]+ +[0-9]+")))
        << "profile " << profile << " on a line of its own";
  }
}

INSTANTIATE_TEST_SUITE_P(
    BothLanguages, ReportPdf,
    ::testing::Values(Case{"de", "Inbetriebnahmeprotokoll", "Fahrauftrag 12:", "Beschleunigung"},
                      Case{"en", "Commissioning report", "Profile 12:", "Acceleration"}));

TEST(ReportPdfWriter, SaysWhyWhenTheFileCannotBeWritten) {
  std::string error;
  EXPECT_FALSE(WriteHtmlAsPdf("<p>x</p>", "/nonexistent-axtune-folder/r.pdf", error));
  EXPECT_THAT(error, HasSubstr("/nonexistent-axtune-folder/r.pdf"));
}

}  // namespace
}  // namespace axtune::cli::testing
