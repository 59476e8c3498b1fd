// status --watch --csv: the trend window's columns, one row per poll, for logging a run.
#include <algorithm>

#include "cli/watch_pacer.h"
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

// The interval runs from the start of one poll to the start of the next: the poll's own time (here
// the simulated line's) is not added to it.
TEST_F(CliStatusCsvTest, RowsComeAtTheIntervalFromStartToStart) {
  const RunResult r = run({"status", "--watch", "--csv", "--count", "11", "--interval", "40"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 12u) << r.out;
  // A row's time is its reply's, which the line's byte timing moves by a few milliseconds either way;
  // over ten intervals the polls' own time (some 5 ms each) would add up to 50 ms.
  for (size_t i = 2; i < lines.size(); ++i)
    EXPECT_NEAR(std::stod(lines[i]) - std::stod(lines[i - 1]), 0.040, 0.008) << r.out;
  EXPECT_NEAR(std::stod(lines.back()) - std::stod(lines[1]), 10 * 0.040, 0.008) << r.out;
}

TEST(WatchPacerTest, KeepsTheRateThroughSlowPollsAndLateWakesAndRestartsAfterAnOverrun) {
  WatchPacer pacer(100);
  int64_t now = 1000;
  std::vector<int64_t> starts;
  // Each poll takes 30 ms; every sleep wakes 3 ms late; the fourth poll hangs for 250 ms.
  for (int poll = 0; poll < 7; ++poll) {
    starts.push_back(now);
    pacer.pollStarted(now);
    now += poll == 3 ? 250 : 30;
    const int64_t wait = pacer.waitMs(now);
    now += wait > 0 ? wait + 3 : 0;
  }
  EXPECT_EQ(starts, (std::vector<int64_t>{1000, 1103, 1203, 1303, 1553, 1656, 1756}));
}

TEST_F(CliStatusCsvTest, CsvTakesNoJson) {
  const RunResult r = run({"status", "--watch", "--csv", "--json"});
  EXPECT_EQ(r.code, kExitUsage);
  EXPECT_NE(r.err.find("--csv and --json"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace axtune::cli::testing
