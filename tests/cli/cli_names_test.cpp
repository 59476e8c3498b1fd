// Parameters by name from the command line: get/set in user units on the simulated drive, the
// refusal of a value outside its limit, the compare of files and drive, the report and the history.
#include <fstream>

#include "core/parameter_file.h"
#include "core/update_log.h"
#include "tests/cli/cli_fixture.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class CliNamesTest : public CliTest {};

struct SetGetCase {
  const char* name;
  const char* value;  // what set gets
  const char* shown;  // what get prints after it
  int record, word;   // where the raw value lands (-1: object only)
  uint32_t raw;
};

class CliSetGet : public CliTest, public ::testing::WithParamInterface<SetGetCase> {};

TEST_P(CliSetGet, SetWritesTheScaledValueAndGetReadsItBack) {
  const SetGetCase& c = GetParam();
  const RunResult set = run({"set", std::string(c.name) + "=" + c.value});
  ASSERT_EQ(set.code, 0) << set.err;
  const RunResult get = run({"--json", "get", c.name});
  ASSERT_EQ(get.code, 0) << get.err;
  const JsonValue p = get.json()["parameters"][0];
  EXPECT_EQ(p["raw"].integer(), static_cast<long long>(c.raw));
  const RunResult text = run({"get", c.name});
  EXPECT_THAT(text.out, HasSubstr(std::string(c.name) + "=" + c.shown + "  # "));
  if (c.record >= 0) {
    const RecordWords words = record(c.record);
    EXPECT_EQ(words[static_cast<size_t>(c.word)], static_cast<uint16_t>(c.raw));
  }
}

INSTANTIATE_TEST_SUITE_P(
    EachScale, CliSetGet,
    ::testing::Values(SetGetCase{"motor-current", "1500", "1500", 2, 0, 1500},
                      SetGetCase{"idle-current-level", "50", "50", 2, 2, 8192},
                      SetGetCase{"start-stop-velocity", "1000", "1000", 2, 10, 838861},
                      SetGetCase{"emergency-deceleration", "10000", "9990", 2, 8, 419},
                      SetGetCase{"encoder-lines", "500", "500", 2, 14, 2000},
                      SetGetCase{"profile-7-position", "-1000", "-1000", 21, 0, 0xFFFFFC18},
                      SetGetCase{"profile-7-velocity", "123.456", "123.456", 21, 2, 103562},
                      SetGetCase{"profile-7-next-velocity", "1", "next-tasks-velocity", -1, 0, 1},
                      SetGetCase{"homing-current", "100", "100", 64, 10, 16383},
                      SetGetCase{"input-de4", "profile-2-jogging", "profile-2-jogging", 3, 3, 13},
                      SetGetCase{"homing-method", "Mechanical limit high", "mechanical-limit-high", 64, 0,
                                 251},
                      SetGetCase{"record-5-word-3", "0x1234", "4660", 5, 3, 0x1234}));

TEST_F(CliNamesTest, AValueOutsideItsLimitIsRefusedNamingTheLimitAndNothingIsWritten) {
  const RecordWords before = record(2);
  const RunResult r = run({"set", "idle-current-delay=800", "motor-current=7001"});
  EXPECT_EQ(r.code, kExitUsage);
  EXPECT_THAT(
      r.err,
      HasSubstr("motor-current=7001: the value lies above the limit 7000 mA rms; nothing was written"));
  EXPECT_EQ(record(2), before) << "the valid value before it was not written either";
  EXPECT_EQ(run({"set", "no-such-thing=1"}).code, kExitUsage);
  EXPECT_EQ(run({"get", "record-200-word-0"}).code, kExitUsage);
}

TEST_F(CliNamesTest, AProfileWriteLeavesTheDrivesProfileSelectorWhereItWas) {
  ASSERT_EQ(run({"write-object", "0x2022", "5", "2", "3"}).code, 0);
  ASSERT_EQ(run({"set", "profile-9-waiting-time=250"}).code, 0);
  EXPECT_EQ(record(23)[9], 250);
  const RunResult selector = run({"--json", "read-object", "0x2022", "5"});
  EXPECT_EQ(selector.json()["value"].integer(), 3);
}

TEST_F(CliNamesTest, ParamsListsTheDictionaryInTheChosenLanguage) {
  const RunResult r = run({"--json", "--lang", "de", "params"}, false);
  ASSERT_EQ(r.code, 0);
  const JsonValue list = r.json()["parameters"];
  EXPECT_GT(list.items.size(), 600u);
  EXPECT_EQ(list[0]["name"].string, "motor-current");
  EXPECT_EQ(list[0]["label"].string, "Motorstrom bei Schalterstellung S1 = 0");
  EXPECT_EQ(list[0]["max"].number, 7000);
}

// A 32-bit value differing in one word only: the compare names it once, with both raw words.
TEST_F(CliNamesTest, DiffNamesAValueThatDiffersInOneWordOfItsTwo) {
  const std::string a = path("a.qmx"), b = path("b.qmx");
  ASSERT_EQ(run({"save", a}).code, 0);
  ASSERT_EQ(run({"write-word", "18", "3", "7"}).code, 0);  // high word of profile 4's velocity
  ASSERT_EQ(run({"save", b}).code, 0);
  const RunResult same = run({"diff", a, a}, false);
  EXPECT_EQ(same.code, 0) << same.err;
  EXPECT_THAT(same.out, HasSubstr("equal"));
  const RunResult differ = run({"--json", "diff", a, b}, false);
  ASSERT_EQ(differ.code, 1) << differ.err;
  const JsonValue j = differ.json();
  EXPECT_FALSE(j["equal"].boolean);
  ASSERT_EQ(j["parameters"].items.size(), 1u);
  const JsonValue p = j["parameters"][0];
  EXPECT_EQ(p["name"].string, "profile-4-velocity");
  EXPECT_EQ(p["a"]["words"][0].integer(), p["b"]["words"][0].integer()) << "the low word is the same";
  EXPECT_NE(p["a"]["words"][1].integer(), 7);
  EXPECT_EQ(p["b"]["words"][1].integer(), 7);
  EXPECT_EQ(p["b"]["raw"].integer() - p["a"]["raw"].integer(), (7LL - p["a"]["words"][1].integer()) << 16);
  // Against the drive, which now holds b's values.
  EXPECT_EQ(run({"diff", "drive", b}).code, 0);
  EXPECT_EQ(run({"diff", a, "drive"}).code, 1);
  EXPECT_EQ(run({"diff", a, path("missing.qmx")}, false).code, kExitFile);

  // Values the drive reaches through objects are named against a file too, each once.
  ASSERT_EQ(run({"set", "motor-current=1500", "homing-position=-1234"}).code, 0);
  const RunResult three = run({"--json", "diff", a, "drive"});
  ASSERT_EQ(three.code, 1) << three.err;
  std::vector<std::string> names;
  const JsonValue listed = three.json();
  for (const JsonValue& d : listed["parameters"].items) names.push_back(d["name"].string);
  EXPECT_EQ(names, (std::vector<std::string>{"motor-current", "profile-4-velocity", "homing-position"}));
}

TEST_F(CliNamesTest, ReportWritesSelfContainedHtmlWithTheDriveTheChangeAndTheLastUpdate) {
  const std::string reference = path("ref.qmx");
  ASSERT_EQ(run({"save", reference}).code, 0);
  ASSERT_EQ(run({"set", "idle-current-delay=800"}).code, 0);
  UpdateLogEntry update;
  update.time = "2026-12-07T18:00:00Z";
  update.file = "/tmp/firmware.out";
  update.sha256 = std::string(64, 'a');
  update.outcome = "Verify ok";
  update.driveAfter = "QMX10-BA 4.1.7, 65 records";
  std::string error;
  ASSERT_TRUE(AppendUpdateLog(update, &error)) << error;
  // A later update of a drive of another type is not this drive's.
  UpdateLogEntry other = update;
  other.sha256 = std::string(64, 'b');
  other.driveAfter = "QMX10-ET 4.1.7, 65 records";
  ASSERT_TRUE(AppendUpdateLog(other, &error)) << error;
  const std::string html = path("report.html");
  const RunResult r = run({"--lang", "en", "report", html, "--reference", reference, "--user", "Tess"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("(1 differences to the reference)"));
  std::ifstream in(html);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(text, HasSubstr("QMX10"));
  EXPECT_THAT(text, HasSubstr("<td>Reduce idle current after</td><td>500</td><td>800</td><td>ms</td>"));
  EXPECT_THAT(text, HasSubstr("<td>Motor current for switch S1 = 0</td><td>2000</td>"))
      << "read through its object";
  EXPECT_THAT(text, HasSubstr(std::string(64, 'a')));
  EXPECT_THAT(text, Not(HasSubstr(std::string(64, 'b'))));
  EXPECT_THAT(text, HasSubstr("Tess"));
  // Only what the pages show, with the unit column where there are units, a relative profile's
  // distance in a column of its own.
  EXPECT_THAT(text, Not(HasSubstr("SI-Einheiten")));
  EXPECT_THAT(text, Not(HasSubstr("Freigabe invertieren")));
  EXPECT_THAT(text, HasSubstr("Distance [steps]</th>"));
  EXPECT_THAT(text, HasSubstr("<thead><tr><th>Parameter</th><th>Value</th></tr>\n</thead><tr><td>DE1</td>"))
      << "the Inputs page's functions have no unit";
  EXPECT_EQ(text.find("src="), std::string::npos) << "no external resources";
  EXPECT_EQ(text.find("href="), std::string::npos);
  EXPECT_EQ(run({"report", path("report.txt")}).code, kExitUsage);
}

}  // namespace
}  // namespace axtune::cli::testing
