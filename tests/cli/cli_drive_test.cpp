// The command line itself and the drive commands against the simulated drive.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/cli/cli_fixture.h"
#include "tests/support/test_env.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(CliTest, UsageErrorsExitWithTwoAndSayWhatToDo) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"identify", "--bogus"},
      {"read"},
      {"read", "300"},
      {"read", "two"},
      {"write-word", "128", "0", "1"},  // single-word writes go to parameter records only
      {"write-word", "2", "15", "1"},
      {"write-object", "0x6040", "0", "1", "256"},  // does not fit one byte
      {"write-record", "2", "1", "2"},
      {"status", "--lang", "fr"},
      {"status", "--count", "3"},  // --count belongs to --watch
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult r = run(args);
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_FALSE(r.err.empty());
    EXPECT_TRUE(r.out.empty());
  }
  const RunResult noPort = run({"identify"}, false);
  EXPECT_EQ(noPort.code, kExitUsage);
  EXPECT_THAT(noPort.err, HasSubstr("--port"));
}

TEST_F(CliTest, HelpForTheToolAndEveryCommand) {
  const RunResult tool = run({"--help"}, false);
  EXPECT_EQ(tool.code, kExitOk);
  EXPECT_THAT(tool.out,
              HasSubstr("Exit codes: 0 success, 1 drive or link failure, 2 usage error, 3 file error"));
  EXPECT_THAT(tool.out, HasSubstr("rfc2217://HOST:PORT")) << "the network port is named with --port";
  for (const char* command : {"ports", "identify", "status", "read", "write-word", "write-record",
                              "read-object", "write-object", "store", "save", "load", "flash", "coff"}) {
    SCOPED_TRACE(command);
    EXPECT_THAT(tool.out, HasSubstr(command));
    const RunResult one = run({command, "--help"}, false);
    EXPECT_EQ(one.code, kExitOk);
    EXPECT_THAT(one.out, HasSubstr(std::string("Usage: axtune-cli")));
    EXPECT_EQ(run({"help", command}, false).out, one.out);
  }
}

TEST_F(CliTest, IdentifyAsTextAndJson) {
  const RunResult text = run({"identify"});
  ASSERT_EQ(text.code, kExitOk) << text.err;
  EXPECT_THAT(text.out, HasSubstr("QMX10-BA"));
  EXPECT_THAT(text.out, HasSubstr("4.1.7"));

  const RunResult r = run({"identify", "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const JsonValue j = r.json();
  EXPECT_EQ(j["deviceType"].integer(), 1025);
  EXPECT_EQ(j["deviceName"].string, "QMX10-BA");
  EXPECT_TRUE(j["supported"].boolean);
  EXPECT_EQ(j["firmware"]["text"].string, "4.1.7");  // the display text's trailing blank left out
  EXPECT_EQ(j["firmware"]["number"].integer(), 4001);
  EXPECT_EQ(j["recordCount"].integer(), 65);
  EXPECT_EQ(j["port"].string, "sim");
}

TEST_F(CliTest, NoDriveAnsweringIsALinkFailure) {
  drive_->powerOff();
  for (const auto& args : std::vector<std::vector<std::string>>{{"identify"}, {"read", "2"}, {"status"}}) {
    const RunResult r = run(args);
    EXPECT_EQ(r.code, kExitDrive);
    EXPECT_THAT(r.err, HasSubstr("no drive answering on sim"));
  }
  const RunResult json = run({"identify", "--json"});
  EXPECT_EQ(json.code, kExitDrive);
  EXPECT_FALSE(json.json()["ok"].boolean);
  EXPECT_EQ(json.json()["exitCode"].integer(), 1);
}

TEST_F(CliTest, PortsThatCannotBeOpenedSayWhy) {
  const RunResult missing = run({"--port", "/dev/axtune-no-such-port", "identify"}, false);
  EXPECT_EQ(missing.code, kExitDrive);
  EXPECT_THAT(missing.err, HasSubstr("does not exist"));

  axtune::test::SetEnv("AXTUNE_COM12", "");
  const RunResult emptySlot = run({"--port", "COM12", "identify"}, false);
  axtune::test::UnsetEnv("AXTUNE_COM12");
  EXPECT_EQ(emptySlot.code, kExitDrive);
  EXPECT_THAT(emptySlot.err, HasSubstr("COM12"));

  const RunResult ports = run({"ports", "--json"}, false);
  ASSERT_EQ(ports.code, kExitOk) << ports.err;
  const JsonValue list = ports.json()["ports"];
  ASSERT_EQ(list.items.size(), 12u);
  EXPECT_EQ(list[0]["name"].string, "COM1");
  EXPECT_EQ(list[11]["slot"].integer(), 12);
}

TEST_F(CliTest, StatusDecodedInTheChosenLanguage) {
  const RunResult en = run({"status", "--lang", "en"});
  ASSERT_EQ(en.code, kExitOk) << en.err;
  EXPECT_THAT(en.out, HasSubstr("Profile not started"));
  const RunResult de = run({"status", "--lang=de", "--json"});
  ASSERT_EQ(de.code, kExitOk) << de.err;
  const JsonValue j = de.json();
  EXPECT_EQ(j["profile"]["text"].string, "Fahrsatz nicht gestartet");
  EXPECT_EQ(j["deviceState"]["code"].integer(), drive_->snapshot().deviceState);
  EXPECT_EQ(j["statusword"].integer(), drive_->snapshot().statusword);
  EXPECT_EQ(j["switches"]["limitBitmap"].string, "Gut");
  EXPECT_THAT(en.out, HasSubstr("Referenced:       not referenced\n"));

  // English JSON: the same keys, no German word in a value (the bitmap names and the two device
  // errors the window names in German in both languages).
  const RunResult english = run({"status", "--lang=en", "--json"});
  ASSERT_EQ(english.code, kExitOk) << english.err;
  EXPECT_EQ(english.json()["switches"]["limitBitmap"].string, "good");
  for (const char* german : {"Gut", "Achtung", "Endschalter", "Fahrsatz", "\xC3"})
    EXPECT_THAT(english.out, ::testing::Not(HasSubstr(german))) << german;
  drive_->triggerFault(sim::DriveFault::FollowingError);
  const RunResult fault = run({"status", "--lang=en", "--json"});
  EXPECT_EQ(fault.json()["deviceState"]["name"].string, "Maximum following error reached");
  EXPECT_EQ(fault.json()["deviceState"]["text"].string, "Maximum following error reached");

  const RunResult watch = run({"status", "--watch", "--count", "3", "--interval", "0", "--json"});
  ASSERT_EQ(watch.code, kExitOk) << watch.err;
  std::istringstream lines(watch.out);
  std::string line;
  int n = 0;
  while (std::getline(lines, line)) {
    EXPECT_TRUE(JsonReader::parse(line).has("deviceState"));
    ++n;
  }
  EXPECT_EQ(n, 3);
}

TEST_P(CliStylesTest, RecordsReadAndWritten) {
  const RunResult read = run({"read", "2", "--json"});
  ASSERT_EQ(read.code, kExitOk) << read.err;
  const JsonValue words = read.json()["words"];
  ASSERT_EQ(words.items.size(), 15u);
  const RecordWords before = record(2);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(words[i].integer(), before[i]);

  ASSERT_EQ(run({"write-word", "2", "12", "0x1234"}).code, kExitOk);
  EXPECT_EQ(record(2)[12], 0x1234);
  ASSERT_EQ(run({"write-word", "2", "12", "-2"}).code, kExitOk);
  EXPECT_EQ(record(2)[12], 0xFFFE);

  std::vector<std::string> args = {"write-record", "20", "--json"};
  for (int i = 0; i < 15; ++i) args.push_back(std::to_string(i + 1));
  const RunResult write = run(args);
  ASSERT_EQ(write.code, kExitOk) << write.err;
  EXPECT_EQ(write.json()["reply"].items.size(), 15u);
  EXPECT_EQ(record(20)[0], 1);
  EXPECT_EQ(record(20)[14], 15);

  // A value above the drive's limit: the write arrived, the drive keeps its limit; a drive that
  // answers with its record shows it in the reply, one that repeats the words does not.
  args = {"write-record", "2"};
  RecordWords settings = record(2);
  settings[2] = 20000;
  for (uint16_t w : settings) args.push_back(std::to_string(w));
  const RunResult limited = run(args);
  ASSERT_EQ(limited.code, kExitOk) << limited.err;
  EXPECT_EQ(record(2)[2], 16383);
  const bool stored = GetParam().record == sim::RecordReplyStyle::Stored;
  EXPECT_EQ(limited.out.find("other values in word 2 (sent 20000, drive 16383)") != std::string::npos, stored)
      << limited.out;
}

INSTANTIATE_TEST_SUITE_P(Drives, CliStylesTest, ::testing::ValuesIn(axtune::test::kSimReplyStyles),
                         axtune::test::ReplyStyleName);

TEST_F(CliTest, ObjectsReadWrittenAndRefused) {
  const RunResult statusword = run({"read-object", "0x6041", "0", "--json"});
  ASSERT_EQ(statusword.code, kExitOk) << statusword.err;
  EXPECT_EQ(statusword.json()["value"].integer(), drive_->snapshot().statusword);

  ASSERT_EQ(run({"write-object", "0x6060", "0", "1", "1"}).code, kExitOk);
  EXPECT_EQ(run({"read-object", "0x6060", "0", "--json"}).json()["value"].integer() & 0xFF, 1);

  const RunResult unknownRead = run({"read-object", "0x1234", "0"});
  EXPECT_EQ(unknownRead.code, kExitDrive);
  EXPECT_THAT(unknownRead.err, HasSubstr("0x1234/0"));
  const RunResult unknownWrite = run({"write-object", "0x1234", "0", "2", "7"});
  EXPECT_EQ(unknownWrite.code, kExitDrive);
  EXPECT_THAT(unknownWrite.err, HasSubstr("refused"));

  const RunResult store = run({"store", "--json"});
  EXPECT_EQ(store.code, kExitOk) << store.err;
  EXPECT_TRUE(store.json()["ok"].boolean);
}

// A write whose answer does not come back in time may have been taken: each write command says
// "not confirmed", never "not written"; with --verify on a good line the read-back confirms it.
struct UnconfirmedWriteCase {
  const char* what;
  std::vector<std::string> args;
  int record;  // where the drive keeps the value written: record, word, value
  int word;
  uint16_t value;
};

class UnconfirmedWrites : public CliTest, public ::testing::WithParamInterface<UnconfirmedWriteCase> {};

TEST_P(UnconfirmedWrites, ALateAnswerIsNotConfirmedAndVerifyReadsBack) {
  const UnconfirmedWriteCase& c = GetParam();
  sim::FaultConfig late;
  late.delayReply = 1.0;
  late.delayMs = 1500;  // after the link's timeout of about a second
  drive_->setFaults(late);
  const RunResult lost = run(c.args);
  EXPECT_EQ(lost.code, kExitDrive) << c.what;
  EXPECT_THAT(lost.err, HasSubstr("not confirmed: the drive may or may not have taken it; read it back"))
      << c.what;
  EXPECT_THAT(lost.err, Not(HasSubstr("not written"))) << c.what;
  drive_->setFaults({});
  drive_->advanceMs(2000);
  EXPECT_EQ(record(c.record)[c.word], c.value)
      << c.what << ": the drive took it; \"not written\" would be wrong";

  std::vector<std::string> verified = c.args;
  verified.push_back("--verify");
  const RunResult checked = run(verified);
  EXPECT_EQ(checked.code, kExitOk) << c.what << ": " << checked.err;
}

INSTANTIATE_TEST_SUITE_P(EachWriteCommand, UnconfirmedWrites,
                         ::testing::Values(
                             UnconfirmedWriteCase{
                                 "write-object", {"write-object", "0x6075", "0", "4", "2501"}, 2, 0, 2501},
                             UnconfirmedWriteCase{"write-word", {"write-word", "21", "3", "777"}, 21, 3, 777},
                             UnconfirmedWriteCase{"write-record",
                                                  {"write-record", "22", "1", "2", "3", "4", "5", "6", "7",
                                                   "8", "9", "10", "11", "12", "13", "14", "15"},
                                                  22,
                                                  14,
                                                  15}),
                         [](const ::testing::TestParamInfo<UnconfirmedWriteCase>& info) {
                           std::string name = info.param.what;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST_F(CliTest, VerifyReadsBackAndRefusesWhatCannotBeReadBack) {
  const RunResult object = run({"write-object", "0x6075", "0", "4", "2400", "--verify"});
  EXPECT_EQ(object.code, kExitOk) << object.err;
  EXPECT_EQ(record(2)[0], 2400);
  // The object channel and the read-only records have nothing to read back.
  std::vector<std::string> args = {"write-record", "127"};
  for (int i = 0; i < 15; ++i) args.push_back("0");
  args.push_back("--verify");
  EXPECT_EQ(run(args).code, kExitUsage);
  // The refusal stays a refusal whatever the read-back would show.
  const RunResult refused = run({"write-object", "0x6075", "0", "4", "100000", "--verify"});
  EXPECT_EQ(refused.code, kExitDrive);
  EXPECT_THAT(refused.err, HasSubstr("refused"));
  EXPECT_EQ(run({"write-object", "0x6075", "0", "4", "1", "--verify=readback"}).code, kExitOk);
  EXPECT_EQ(run({"write-object", "0x6075", "0", "4", "1", "--verify=other"}).code, kExitUsage);
}

}  // namespace
}  // namespace axtune::cli::testing
