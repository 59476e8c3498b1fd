// status --watch --csv: the trend window's columns, one row per poll, for logging a run.
#include <algorithm>

#include "core/trend_sample.h"
#include "tests/cli/cli_fixture.h"

namespace axtune::cli::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliStatusCsvTest : public CliTest {};

TEST_F(CliStatusCsvTest, HeaderThenOneRowPerPollFromTheFirstReply) {
  const RunResult r = run({"status", "--watch", "--csv", "--count", "4", "--interval", "0"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 5u) << r.out;
  EXPECT_EQ(lines[0], TrendCsvHeader());
  const auto fields = [](const std::string& line) { return std::count(line.begin(), line.end(), ','); };
  EXPECT_EQ(lines[1].rfind("0.000,", 0), 0u) << lines[1];
  double last = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    const double time = std::stod(lines[i]);
    EXPECT_GE(time, last) << lines[i];
    last = time;
    EXPECT_EQ(fields(lines[i]), fields(lines[0])) << lines[i];
    // Motor and encoder position of a drive at rest at 0, converted with 3200 steps and 2000 counts;
    // the switches of a drive between its limit switches, not referenced; no mark.
    EXPECT_NE(lines[i].find("Z,0,0.0,"), std::string::npos) << lines[i];
    EXPECT_NE(lines[i].find(",0,0,0,0,0,"), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].back(), ',') << lines[i];
  }
}

TEST_F(CliStatusCsvTest, CsvTakesNoJson) {
  const RunResult r = run({"status", "--watch", "--csv", "--json"});
  EXPECT_EQ(r.code, kExitUsage);
  EXPECT_NE(r.err.find("--csv and --json"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace axtune::cli::testing
