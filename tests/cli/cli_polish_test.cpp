// What a script and a person read from axtune-cli: one JSON object for every failure under --json,
// clean JSON values beside the display texts, one firmware check for coff and flash, and messages
// that name what is wrong (an unknown record, a missing folder, an option without its partner).
#include <gtest/gtest.h>

#include "tests/cli/cli_fixture.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kCoffDir = std::string(AXTUNE_TESTDATA_DIR) + "/coff";

// Exactly one JSON object on the output, saying it failed, with the exit code.
void ExpectJsonFailure(const RunResult& r, int code) {
  EXPECT_EQ(r.code, code) << r.err;
  JsonValue j;
  ASSERT_NO_THROW(j = r.json()) << "not one JSON value: " << r.out;
  EXPECT_FALSE(j["ok"].boolean);
  EXPECT_EQ(j["exitCode"].integer(), code);
  EXPECT_FALSE(j["error"].string.empty());
}

TEST_F(CliTest, EveryFailureUnderJsonIsOneObjectThatSaysSo) {
  // Usage errors, also when --json comes after the mistake, and without any command.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--json"},
           {"frobnicate", "--json"},
           {"identify", "--bogus", "--json"},
           {"read", "300", "--json"},
           {"status", "--count", "3", "--json"},
           {"status", "--interval", "200", "--json"},
       }) {
    SCOPED_TRACE(::testing::PrintToString(args));
    ExpectJsonFailure(run(args), kExitUsage);
  }
  // Failures of the drive and of files.
  ExpectJsonFailure(run({"read", "99", "--json"}), kExitDrive);
  ExpectJsonFailure(run({"save", path("no/such/folder/p.qmx"), "--json"}), kExitFile);
  drive_->unplug();
  ExpectJsonFailure(run({"status", "--watch", "--count", "2", "--interval", "0", "--json"}), kExitDrive);
}

TEST_F(CliTest, JsonCarriesCleanValuesBesideTheDisplayTexts) {
  drive_->advanceMs(1000);
  const RunResult r = run({"status", "--json", "--lang", "de"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const JsonValue j = r.json();
  // Display texts in the chosen language, names in English for scripts.
  EXPECT_EQ(j["profile"]["text"].string, "Fahrsatz nicht gestartet");
  EXPECT_EQ(j["profile"]["name"].string, "Profile not started");
  EXPECT_EQ(j["deviceState"]["name"].string, "Not ready for switch on");
  EXPECT_EQ(j["deviceState"]["text"].string, "Nicht einschaltbereit");
  // Numbers as numbers; texts without the panes' trailing blank.
  EXPECT_EQ(j["position"].kind, JsonValue::Kind::Number);
  EXPECT_EQ(j["positionText"].string, "0");
  EXPECT_EQ(j["voltage"].kind, JsonValue::Kind::Number);
  EXPECT_EQ(j["voltageText"].string, "48V");

  const JsonValue id = run({"identify", "--json"}).json();
  EXPECT_TRUE(id["ok"].boolean);
  EXPECT_EQ(id["firmware"]["text"].string, "4.1.7");
}

TEST_F(CliTest, MessagesNameWhatIsWrong) {
  // A record the drive does not have.
  const RunResult unknown = run({"read", "99"});
  EXPECT_EQ(unknown.code, kExitDrive);
  EXPECT_THAT(unknown.err, HasSubstr("the drive has no record 99"));
  EXPECT_THAT(unknown.err, Not(HasSubstr("unkown error")));

  // A save into a folder that is not there names the folder, not the temporary file.
  const std::string folder = path("missing");
  const RunResult save = run({"save", folder + "/sub/p.qmx"});
  EXPECT_EQ(save.code, kExitFile);
  EXPECT_THAT(save.err, HasSubstr("the folder " + folder + "/sub does not exist"));
  EXPECT_THAT(save.err, Not(HasSubstr(".tmp")));

  // --interval only means something with --watch.
  const RunResult interval = run({"status", "--interval", "200"});
  EXPECT_EQ(interval.code, kExitUsage);
  EXPECT_THAT(interval.err, HasSubstr("--interval goes with --watch"));
  EXPECT_EQ(run({"status", "--watch", "--count", "1", "--interval", "200"}).code, kExitOk);

  // read labels its columns.
  const RunResult read = run({"read", "2"});
  ASSERT_EQ(read.code, kExitOk) << read.err;
  EXPECT_THAT(read.out, HasSubstr("word  value  signed     hex"));
}

TEST_F(CliTest, CoffAndFlashAgreeWhetherAFileIsFirmwareAndTheDateIsADate) {
  const std::string object = kCoffDir + "/c28x_f28335_CodeStartBranch_reloc.obj";
  if (!std::filesystem::exists(object)) GTEST_SKIP() << "no COFF test files in " << kCoffDir;
  // A C28x object file: the drive's processor, but nothing flash would program.
  const RunResult coff = run({"coff", object, "--json"}, false);
  ASSERT_EQ(coff.code, kExitOk) << coff.err;
  const JsonValue j = coff.json();
  EXPECT_FALSE(j["firmwareForDrive"].boolean);
  EXPECT_THAT(j["firmwareProblem"].string, HasSubstr("object file"));
  // Section sizes in bytes beside the target units (16-bit words on the C28x).
  ASSERT_FALSE(j["sections"].items.empty());
  for (const JsonValue& section : j["sections"].items)
    EXPECT_EQ(section["bytes"].integer(), 2 * section["size"].integer());
  const RunResult flash = run({"flash", object});
  EXPECT_EQ(flash.code, kExitFile);
  EXPECT_THAT(flash.err, HasSubstr(j["firmwareProblem"].string));

  const std::string firmware = kCoffDir + "/c28x_f28335_debug_flash.out";
  const RunResult text = run({"coff", firmware}, false);
  ASSERT_EQ(text.code, kExitOk) << text.err;
  EXPECT_THAT(text.out, HasSubstr("Firmware for the drive: yes"));
  const JsonValue header = run({"coff", firmware, "--json"}, false).json()["fileHeader"];
  const std::string date = header["timeStampDate"].string;
  // "YYYY-MM-DD HH:MM:SS UTC" in both outputs.
  ASSERT_EQ(date.size(), 23u) << date;
  EXPECT_EQ(date.substr(19), " UTC");
  EXPECT_THAT(text.out, HasSubstr("Time stamp:    " + date + " (" +
                                  std::to_string(header["timeStamp"].integer()) + ")"));
}

}  // namespace
}  // namespace axtune::cli::testing
