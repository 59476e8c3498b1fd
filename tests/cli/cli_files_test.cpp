// Parameter files, the firmware update and the COFF listing through the command line.
#include <gtest/gtest.h>

#include <fstream>

#include "core/parameter_file.h"
#include "sim/boot/boot_processor.h"
#include "tests/cli/cli_fixture.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kCoffDir = std::string(AXTUNE_TESTDATA_DIR) + "/coff";
const std::string kFirmware = kCoffDir + "/c28x_f28335_debug_flash.out";

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string reason;
  EXPECT_TRUE(ReadWholeFile(path, bytes, reason)) << reason;
  return bytes;
}

TEST_P(CliStylesTest, SaveAndLoadRoundTrip) {
  const std::string file = path("drive.qmx");
  const RunResult save = run({"save", file, "--user", "Anna", "--company", "Orvane", "--json"});
  ASSERT_EQ(save.code, kExitOk) << save.err;
  EXPECT_EQ(save.json()["records"].integer(), 65);

  const std::vector<uint8_t> bytes = ReadFile(file);
  const ParsedParameterFile parsed = ParseParameterFile(bytes.data(), bytes.size(), 65);
  ASSERT_EQ(parsed.format, ParameterFileFormat::Ok);
  EXPECT_EQ(parsed.records[14], record(14));
  EXPECT_EQ(parsed.trailer->userName, "Anna");
  EXPECT_EQ(parsed.trailer->company, "Orvane");
  EXPECT_EQ(parsed.trailer->path, std::filesystem::absolute(file).lexically_normal().string());

  const RecordWords saved = record(14);
  ASSERT_EQ(run({"write-word", "14", "0", "4321"}).code, kExitOk);
  const RunResult load = run({"load", file, "--json"});
  ASSERT_EQ(load.code, kExitOk) << load.err;
  EXPECT_EQ(load.json()["recordsSent"].integer(), 63);
  EXPECT_EQ(load.json()["recordsTaken"].integer(), 63);
  EXPECT_TRUE(load.json()["differences"].items.empty());
  EXPECT_EQ(record(14), saved);
}

TEST_P(CliStylesTest, LoadOfAValueTheDriveLimitsIsTakenAndReported) {
  std::vector<RecordWords> records;
  for (int r = 0; r < 65; ++r) records.push_back(record(r));
  records[2][2] = 20000;  // idle-current level above 100 %
  const std::string file = path("limited.qmx");
  const std::vector<uint8_t> bytes =
      BuildParameterFile(records, {"C:\\drives\\limited.qmx", "07.12.2026", "A", "B"});
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  const RunResult load = run({"load", file, "--json"});
  ASSERT_EQ(load.code, kExitOk) << load.err;
  EXPECT_EQ(load.json()["recordsTaken"].integer(), 63);
  EXPECT_EQ(record(2)[2], 16383);
  // Told by reading the record back, whatever the reply's words held (an echo promises nothing).
  const JsonValue differences = load.json()["differences"];
  {
    ASSERT_EQ(differences.items.size(), 1u);
    EXPECT_EQ(differences[0]["record"].integer(), 2);
    EXPECT_EQ(differences[0]["word"].integer(), 2);
    EXPECT_EQ(differences[0]["file"].integer(), 20000);
    EXPECT_EQ(differences[0]["drive"].integer(), 16383);
    const RunResult text = run({"load", file, "--lang", "en"});
    EXPECT_EQ(text.code, kExitOk);
    EXPECT_NE(text.out.find("Record 2, word 2 (Reduce idle current to, %): file 20000, drive 16383"),
              std::string::npos)
        << text.out;
  }
}
// Instantiated over the reply styles in cli_drive_test.cpp.

TEST_F(CliTest, FileFailuresExitWithThreeAndSendNothing) {
  const RunResult unwritable = run({"save", path("missing/drive.qmx")});
  EXPECT_EQ(unwritable.code, kExitFile);
  EXPECT_THAT(unwritable.err, HasSubstr("missing does not exist; nothing was read from the drive"));
  // Told before the port is even opened: a port that does not exist does not matter yet.
  const RunResult early =
      run({"--port", "/nonexistent-axtune-port", "save", path("missing/drive.qmx")}, false);
  EXPECT_EQ(early.code, kExitFile) << early.err;

  EXPECT_EQ(run({"load", path("absent.qmx")}).code, kExitFile);

  // A file saved from a drive with 20 records, and one with a wrong identification.
  sim::SimConfig small = sim::SimConfig::unitTest();
  small.recordCount = 20;
  makeDrive(small);
  const std::string twenty = path("twenty.qmx");
  ASSERT_EQ(run({"save", twenty}).code, kExitOk);
  std::vector<uint8_t> bytes = ReadFile(twenty);
  bytes[7] = '1';
  std::ofstream(path("v21.qmx"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  makeDrive(sim::SimConfig::unitTest());  // 65 records
  ASSERT_EQ(run({"write-word", "14", "0", "4321"}).code, kExitOk);
  const RunResult mismatch = run({"load", twenty});
  EXPECT_EQ(mismatch.code, kExitFile);
  EXPECT_THAT(mismatch.err, HasSubstr("the drive has 65 records, it was saved from a drive with 20 records"));
  const RunResult format = run({"load", path("v21.qmx"), "--lang", "en"});
  EXPECT_EQ(format.code, kExitFile);
  EXPECT_THAT(format.err, HasSubstr("Unkown file format"));
  EXPECT_EQ(record(14)[0], 4321);  // nothing was loaded
}

TEST_F(CliTest, FlashRefusesWhatIsNotFirmwareBeforeTouchingTheDrive) {
  const std::string text = path("notes.out");
  std::ofstream(text) << "release notes, not firmware";
  const RunResult notCoff = run({"flash", text});
  EXPECT_EQ(notCoff.code, kExitFile);
  EXPECT_THAT(notCoff.err, HasSubstr("is not a COFF file"));
  EXPECT_THAT(notCoff.err, HasSubstr("nothing was sent"));
  EXPECT_TRUE(drive_->snapshot().firmwareRunning);

  if (!std::filesystem::exists(kCoffDir)) GTEST_SKIP() << "no COFF test files in " << kCoffDir;
  const RunResult otherTarget = run({"flash", kCoffDir + "/c55x_c5515_FIR.out"});
  EXPECT_EQ(otherTarget.code, kExitFile);
  EXPECT_THAT(otherTarget.err, HasSubstr("target 0x009C"));
  EXPECT_TRUE(drive_->snapshot().firmwareRunning);
}

// Every drive of the family has an F280x unless the user names another: a file for another
// processor is refused before the drive hears anything, and coff names the processors a file fits.
TEST_F(CliTest, FlashRefusesAFileThatDoesNotFitTheDrivesProcessor) {
  if (!std::filesystem::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  struct Case {
    int deviceType;  // 0: the type of the F2808
    std::vector<std::string> extra;
    int code;
    const char* said;
  };
  const Case cases[] = {
      {0, {}, kExitFile, "section .cinit (0x33AF90..0x33B019) lies outside the F2808's flash"},
      {0, {"--processor", "F2808"}, kExitFile, "the file is for a drive with the F28335"},
      // Every QMX10 type is an F280x, the QMX10-ET and a type the table does not know alike.
      {1028, {}, kExitFile, "section .cinit (0x33AF90..0x33B019) lies outside the F2808's flash"},
      {1024, {}, kExitFile, "lies outside the F2808's flash"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    sim::SimConfig config = sim::SimConfig::unitTest();
    config.deviceType = static_cast<uint16_t>(c.deviceType);
    makeDrive(config);
    std::vector<std::string> args = {"flash", kFirmware, "--yes"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const RunResult r = run(args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_THAT(r.err, HasSubstr(c.said));
    EXPECT_THAT(r.err, HasSubstr("nothing was sent"));
    EXPECT_TRUE(drive_->snapshot().firmwareRunning);
  }
  EXPECT_EQ(run({"flash", kFirmware, "--processor", "F2809"}).code, kExitUsage);
  const RunResult coff = run({"coff", kFirmware}, false);
  EXPECT_THAT(coff.out, HasSubstr("Firmware for the drive: yes, for a drive with the F28335"));
}

TEST_F(CliTest, FlashRealFirmwareAndIdentifyAgain) {
  if (!std::filesystem::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.flashGeometry = "F28335";
  makeDrive(config);

  const RunResult r = run({"flash", kFirmware, "--json"});
  ASSERT_EQ(r.code, kExitOk) << r.err << r.out;
  const JsonValue j = r.json();
  EXPECT_EQ(j["result"].string, "Verify ok");
  EXPECT_EQ(j["sectionsProgrammed"].integer(), 7);
  EXPECT_TRUE(j["failedWrites"].items.empty());
  EXPECT_EQ(j["drive"]["deviceName"].string, "QMX10-ET");
  EXPECT_THAT(r.err, HasSubstr("programming section 7/7"));  // plain progress lines off a terminal
  // The kernel's boot load moves too, instead of a silent "connecting".
  EXPECT_THAT(r.err, HasSubstr("connecting (loading the flash kernel): 0/7288 (0%)"));
  EXPECT_THAT(r.err, HasSubstr("connecting (loading the flash kernel): 7288/7288 (100%)"));
  drive_->withProcessor([](sim::BootProcessor& processor) {
    EXPECT_NE(processor.flashWord(0x338000), 0xFFFF);  // .text
  });
}

TEST_F(CliTest, FlashAsksAtATerminalAndStopsWhenTheUserDeclines) {
  if (!std::filesystem::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.flashGeometry = "F28335";
  makeDrive(config);
  env_.interactive = true;

  std::istringstream declined("");  // Ctrl-D
  env_.input = &declined;
  const RunResult no = run({"flash", kFirmware});
  EXPECT_EQ(no.code, kExitDrive);
  EXPECT_THAT(no.err, HasSubstr("QMX Download: QMX einschalten!"));
  EXPECT_THAT(no.err, HasSubstr("cancelled at the prompt; nothing was erased"));
  // A cancel, not a port failure.
  EXPECT_THAT(no.out, HasSubstr("Update cancelled"));
  EXPECT_THAT(no.out + no.err, Not(HasSubstr("Com open failed!")));
  drive_->withProcessor(
      [](sim::BootProcessor& processor) { EXPECT_EQ(processor.flashWord(0x338000), 0xFFFF); });

  std::istringstream enter("\n");
  env_.input = &enter;
  const RunResult yes = run({"flash", kFirmware});
  EXPECT_EQ(yes.code, kExitOk) << yes.err;
  EXPECT_THAT(yes.out, HasSubstr("Verify ok"));
}

// A rate the programmer would silently turn into another is refused before the port is opened; an
// accepted one is the rate the kernel runs at, and a line that cannot carry it falls back to 19200.
TEST_F(CliTest, FlashRatesAreCheckedFirstAndReportedWithTheResult) {
  if (!std::filesystem::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  const struct {
    std::vector<std::string> options;
    int maxLineBaud;
    int code;
    int baud;  // the kernel's rate in the JSON result
    const char* err;
  } cases[] = {
      {{"--baud", "14400"}, 0, kExitUsage, 0, "--baud takes one of the rates 115200, 57600"},
      {{"--boot-baud=230400"}, 0, kExitUsage, 0, "--boot-baud takes one of the rates"},
      {{"--baud", "fast"}, 0, kExitUsage, 0, "not \"fast\""},
      {{}, 0, kExitOk, 115200, "at 19200 baud"},  // the boot load's progress shows the boot rate
      {{"--baud", "57600", "--boot-baud", "9600"}, 0, kExitOk, 57600, "at 9600 baud"},
      {{}, 38400, kExitOk, 19200, "the drive did not answer at 115200 baud; continuing at 19200"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options.empty() ? std::string("defaults") : c.options[0]);
    sim::SimConfig config = sim::SimConfig::unitTest();
    config.flashGeometry = "F28335";
    config.maxLineBaud = c.maxLineBaud;
    makeDrive(config);
    std::vector<std::string> args = {"flash", kFirmware, "--json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = run(args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.err));
    if (c.code == kExitUsage) {
      EXPECT_TRUE(drive_->snapshot().firmwareRunning) << "nothing was sent";
    } else {
      EXPECT_EQ(r.json()["baud"].integer(), c.baud);
    }
  }
}

TEST_F(CliTest, CoffListing) {
  const RunResult notCoff = run({"coff", path("absent.out")}, false);
  EXPECT_EQ(notCoff.code, kExitFile);
  if (!std::filesystem::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;

  const RunResult text = run({"coff", kFirmware}, false);
  ASSERT_EQ(text.code, kExitOk) << text.err;
  EXPECT_THAT(text.out, HasSubstr("0x009D C28x"));
  EXPECT_THAT(text.out, HasSubstr("ramfuncs"));

  const RunResult r = run({"coff", kFirmware, "--json", "--symbols"}, false);
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const JsonValue j = r.json();
  EXPECT_EQ(j["fileHeader"]["targetId"].integer(), 0x9D);
  EXPECT_EQ(j["sections"].items.size(), 81u);
  EXPECT_TRUE(j["firmwareForDrive"].boolean);
  const JsonValue& ramfuncs = j["sections"][5];
  EXPECT_EQ(ramfuncs["name"].string, "ramfuncs");
  EXPECT_EQ(ramfuncs["runAddress"].integer(), 0x8000);
  EXPECT_EQ(ramfuncs["loadAddress"].integer(), 0x320000);
  EXPECT_TRUE(ramfuncs["programmed"].boolean);
  EXPECT_EQ(j["largestLoadableSection"]["name"].string, ".text");
  EXPECT_FALSE(j["symbols"].items.empty());

  const RunResult c55 = run({"coff", kCoffDir + "/c55x_c5515_FIR.out", "--json"}, false);
  ASSERT_EQ(c55.code, kExitOk) << c55.err;
  EXPECT_FALSE(c55.json()["firmwareForDrive"].boolean);
}

}  // namespace
}  // namespace axtune::cli::testing
