// The first page of a commissioning report says whether its values are stored in the drive, when
// the program that made it knows (the window does; the command line did not write them).
#include "core/commissioning_report.h"

#include <gtest/gtest.h>

namespace axtune {
namespace {

TEST(CommissioningReport, TheFirstPageSaysWhetherTheValuesAreStored) {
  ReportData data;
  data.drive.typeText = "QMX10-BA";
  const std::string stored = "The values in this report are stored in the drive.";
  const std::string notStored = "not yet stored in the drive";
  const std::string neither = BuildReportHtml(data);
  EXPECT_EQ(neither.find(stored), std::string::npos);
  EXPECT_EQ(neither.find(notStored), std::string::npos);

  data.stored = false;
  const std::string unstored = BuildReportHtml(data);
  const size_t note = unstored.find(notStored);
  ASSERT_NE(note, std::string::npos);
  EXPECT_LT(note, unstored.find("<h2>")) << "before the first section, beside the identification";

  data.stored = true;
  EXPECT_NE(BuildReportHtml(data).find(stored), std::string::npos);
}

}  // namespace
}  // namespace axtune
