#include "core/firmware_update.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "link/drive_link.h"
#include "link/sleeper.h"
#include "link/testing/forwarding_serial_port.h"
#include "sim/boot/boot_processor.h"
#include "sim/simulated_drive.h"
#include "tests/support/flash_holds_file.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;

const std::string kCoffDir = std::string(AXTUNE_TESTDATA_DIR) + "/coff";
const std::string kFirmware = kCoffDir + "/c28x_f28335_debug_flash.out";

// A firmware file made of sections given in the test; section n's words are n * 0x100 + i.
class FakeFirmwareFile : public FirmwareFile {
 public:
  void add(uint32_t flags, uint32_t address, uint32_t bytes, bool loadable = true) {
    FirmwareSectionInfo s;
    s.number = static_cast<int>(sections_.size()) + 1;
    s.name = "s" + std::to_string(s.number);
    s.loadAddress = address;
    s.flags = flags;
    s.sizeBytes = bytes;
    s.loadable = loadable;
    sections_.push_back(s);
  }
  uint16_t targetId() const override { return kC28xTargetId; }
  uint32_t entryPoint() const override { return 0; }
  bool executable() const override { return true; }
  int sectionCount() const override { return static_cast<int>(sections_.size()); }
  FirmwareSectionInfo section(int number) const override {
    return sections_.at(static_cast<size_t>(number - 1));
  }
  uint32_t readSection(int number, uint8_t* buffer, uint32_t bytes) override {
    const uint32_t n = std::min(bytes, sections_.at(static_cast<size_t>(number - 1)).sizeBytes);
    for (uint32_t i = 0; i < n; i += 2) {
      const uint16_t word = static_cast<uint16_t>(number * 0x100 + i / 2);
      std::memcpy(buffer + i, &word, std::min<uint32_t>(2, n - i));
    }
    return n;
  }

 private:
  std::vector<FirmwareSectionInfo> sections_;
};

struct Call {
  std::string what;
  uint32_t address = 0;
  uint16_t page = 0;
  uint32_t bytes = 0;
  uint16_t firstWord = 0;
};

class FakeProgrammer : public FlashProgrammer {
 public:
  void setPortName(const std::string& device) override { port = device; }
  bool open() override {
    record({"open"});
    // A boot table of 300 bytes in three steps.
    for (uint32_t done : {0u, 100u, 300u}) {
      if (progress_ && openOk) progress_(done, 300);
    }
    return openOk;
  }
  void setProgress(Progress progress) override { progress_ = std::move(progress); }
  bool promptCancelled() const override { return declined; }
  bool erase() override { return record({"erase"}) && eraseOk; }
  bool write(uint32_t address, uint16_t page, uint32_t bytes, const uint16_t* words) override {
    record({"write", address, page, bytes, words[0]});
    // Chunks of 4 bytes.
    for (uint32_t done = 4; progress_ && done <= bytes; done += 4) progress_(done, bytes);
    if (onWrite) onWrite();
    return address != failingAddress;
  }
  bool verify(uint32_t address, uint16_t page, uint32_t bytes, const uint16_t* words) override {
    record({"verify", address, page, bytes, words[0]});
    return address != failingAddress;
  }
  void close() override { record({"close"}); }
  void abort() override { ++aborts; }

  bool record(Call call) {
    calls.push_back(call);
    return true;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const Call& c : calls) out.push_back(c.what);
    return out;
  }

  std::vector<Call> calls;
  std::string port;
  bool openOk = true;
  bool eraseOk = true;
  uint32_t failingAddress = UINT32_MAX;
  int aborts = 0;
  bool declined = false;
  std::function<void()> onWrite;
  Progress progress_;
};

using Names = std::vector<std::string>;

TEST(FirmwareSections, OnlyLoadableTextAndDataSectionsAreProgrammedAndVerified) {
  FakeFirmwareFile file;
  file.add(0x20, 0x338000, 8);         // text
  file.add(0x40, 0x33AF90, 6);         // data
  file.add(0x80, 0x008000, 100);       // bss
  file.add(0x30, 0x330000, 4, false);  // copy section with the text bit: the reader says not loadable
  FakeProgrammer programmer;
  std::vector<UpdateProgress> progress;
  UpdateHooks hooks;
  hooks.progress = [&](const UpdateProgress& p) { progress.push_back(p); };

  const UpdateOutcome outcome = ProgramFirmware(file, programmer, hooks);

  EXPECT_EQ(outcome.result, UpdateResult::VerifyOk);
  EXPECT_STREQ(UpdateResultText(outcome.result), "Verify ok");
  EXPECT_EQ(programmer.names(), (Names{"open", "erase", "write", "write", "verify", "verify", "close"}));
  const Call& text = programmer.calls[2];
  EXPECT_EQ(text.address, 0x338000u);
  EXPECT_EQ(text.page, 0);
  EXPECT_EQ(text.bytes, 8u);
  EXPECT_EQ(text.firstWord, 0x100);
  EXPECT_EQ(programmer.calls[3].address, 0x33AF90u);
  EXPECT_EQ(programmer.calls[5].firstWord, 0x200);
  EXPECT_EQ(outcome.bytesProgrammed, 14u);

  // Progress counts sections k of n and the bytes of both sections.
  UpdateProgress lastWrite;
  for (const UpdateProgress& p : progress) {
    if (p.phase == UpdatePhase::Programming) lastWrite = p;
  }
  EXPECT_EQ(lastWrite.section, 2);
  EXPECT_EQ(lastWrite.sectionCount, 2);
  EXPECT_EQ(lastWrite.bytesDone, 14u);
  EXPECT_EQ(lastWrite.bytesTotal, 14u);
  EXPECT_EQ(progress.back().phase, UpdatePhase::Finished);
}

TEST(FirmwareSections, ProgressMovesWithTheBootTableAndEveryWrittenChunk) {
  FakeFirmwareFile file;
  file.add(0x20, 0x338000, 12);
  file.add(0x40, 0x33AF90, 8);
  FakeProgrammer programmer;
  std::vector<UpdateProgress> progress;
  UpdateHooks hooks;
  hooks.progress = [&](const UpdateProgress& p) { progress.push_back(p); };
  ASSERT_EQ(ProgramFirmware(file, programmer, hooks).result, UpdateResult::VerifyOk);

  auto doneIn = [&](UpdatePhase phase) {
    std::vector<uint64_t> done;
    for (const UpdateProgress& p : progress) {
      if (p.phase == phase) done.push_back(p.bytesDone);
    }
    return done;
  };
  // Connecting moves through the boot table.
  EXPECT_EQ(doneIn(UpdatePhase::Connecting), (std::vector<uint64_t>{0, 0, 100, 300}));
  // Programming: each section's start, its chunks on top of the sections before it, its end.
  EXPECT_EQ(doneIn(UpdatePhase::Programming), (std::vector<uint64_t>{0, 4, 8, 12, 12, 12, 16, 20, 20}));
  for (const UpdateProgress& p : progress) {
    if (p.phase == UpdatePhase::Programming) {
      EXPECT_EQ(p.bytesTotal, 20u);
    }
  }
  // The programmer's hook is taken away with the update.
  EXPECT_FALSE(programmer.progress_);
}

TEST(FirmwareSections, ACancelAtTheSwitchOnPromptIsACancelNotAPortFailure) {
  FakeFirmwareFile file;
  file.add(0x20, 0x300000, 4);
  FakeProgrammer programmer;
  programmer.openOk = false;
  programmer.declined = true;
  const UpdateOutcome outcome = ProgramFirmware(file, programmer, {});
  EXPECT_EQ(outcome.result, UpdateResult::Cancelled);
  EXPECT_FALSE(outcome.flashTouched);
  EXPECT_NE(outcome.message.find("cancelled at the switch-on prompt"), std::string::npos) << outcome.message;
  EXPECT_EQ(programmer.names(), (Names{"open", "close"}));
}

TEST(FirmwareSections, AFailingSectionStillLetsTheOthersBeWrittenAndAllVerified) {
  FakeFirmwareFile file;
  file.add(0x20, 0x300000, 4);
  file.add(0x20, 0x310000, 4);
  file.add(0x40, 0x320000, 4);
  FakeProgrammer programmer;
  programmer.failingAddress = 0x300000;

  const UpdateOutcome outcome = ProgramFirmware(file, programmer, {});

  EXPECT_EQ(outcome.result, UpdateResult::VerifyFailed);
  EXPECT_STREQ(UpdateResultText(outcome.result), "Verify failed");
  EXPECT_EQ(programmer.names(),
            (Names{"open", "erase", "write", "write", "write", "verify", "verify", "verify", "close"}));
  EXPECT_EQ(outcome.failedWrites, std::vector<int>{1});
  EXPECT_EQ(outcome.failedVerifies, std::vector<int>{1});
}

TEST(FirmwareSections, OpenAndEraseFailuresStopEarlyButReleaseTheProgrammer) {
  FakeFirmwareFile file;
  file.add(0x20, 0x300000, 4);
  FakeProgrammer noBootLoader;
  noBootLoader.openOk = false;
  UpdateOutcome outcome = ProgramFirmware(file, noBootLoader, {});
  EXPECT_EQ(outcome.result, UpdateResult::ComOpenFailed);
  EXPECT_STREQ(UpdateResultText(outcome.result), "Com open failed!");
  EXPECT_FALSE(outcome.flashTouched);
  EXPECT_EQ(noBootLoader.names(), (Names{"open", "close"}));

  FakeProgrammer eraseFails;
  eraseFails.eraseOk = false;
  outcome = ProgramFirmware(file, eraseFails, {});
  EXPECT_EQ(outcome.result, UpdateResult::EraseFailed);
  EXPECT_STREQ(UpdateResultText(outcome.result), "Erase failed");
  EXPECT_EQ(eraseFails.names(), (Names{"open", "erase", "close"}));
}

TEST(FirmwareSections, CancelReachesTheProgrammerAndEndsBetweenSections) {
  FakeFirmwareFile file;
  file.add(0x20, 0x300000, 4);
  file.add(0x20, 0x310000, 4);
  FakeProgrammer programmer;
  UpdateControl control;
  programmer.onWrite = [&] { control.requestCancel(); };
  UpdateHooks hooks;
  hooks.control = &control;

  const UpdateOutcome outcome = ProgramFirmware(file, programmer, hooks);

  EXPECT_EQ(outcome.result, UpdateResult::Cancelled);
  EXPECT_EQ(programmer.aborts, 1);
  EXPECT_EQ(programmer.names(), (Names{"open", "erase", "write", "close"}));
}

TEST(FirmwareFileCheck, RefusesWhatIsNotFirmwareForTheDrive) {
  const fs::path text = fs::temp_directory_path() / "axtune_not_coff.out";
  std::ofstream(text) << "this is not a COFF file, just some text that is long enough for a header\n";
  EXPECT_EQ(OpenFirmwareFile(text.string()).problem, FirmwareFileProblem::NotCoff);
  fs::remove(text);
  const FirmwareFileCheck missing = OpenFirmwareFile("/nonexistent/firmware.out");
  EXPECT_EQ(missing.problem, FirmwareFileProblem::CannotOpen);
  EXPECT_NE(missing.message.find("No such file"), std::string::npos) << missing.message;

  if (!fs::exists(kCoffDir)) GTEST_SKIP() << "no COFF test files in " << kCoffDir;
  EXPECT_EQ(OpenFirmwareFile(kCoffDir + "/c55x_c5515_FIR.out").problem, FirmwareFileProblem::WrongTarget);
  EXPECT_EQ(OpenFirmwareFile(kCoffDir + "/c6000_c6713_pll_oldcgt.out").problem,
            FirmwareFileProblem::WrongTarget);
  EXPECT_EQ(OpenFirmwareFile(kCoffDir + "/c28x_TRUNCATED_118B_in_scnhdr1.out").problem,
            FirmwareFileProblem::NotCoff);
  const FirmwareFileCheck good = OpenFirmwareFile(kFirmware);
  ASSERT_EQ(good.problem, FirmwareFileProblem::None) << good.message;
  EXPECT_EQ(ProgrammedSections(*good.file).size(), 7u);
}

// Load addresses are checked before anything reaches the drive: a section must lie wholly inside one
// flash or RAM block of a C28x, and an address near 2^32 must not wrap round into one.
TEST(FirmwareFileCheck, RefusesSectionsOutsideTheProcessorsFlashAndRam) {
  struct Case {
    uint32_t address;
    uint32_t bytes;
    bool fits;
  };
  const Case cases[] = {
      {0x3E8000, 0x20000, true},  // all of an F280x flash
      {0x338000, 0x100, true},    // F2833x flash
      {0x008000, 0x10, true},     // L0 RAM
      {0x33FFFF, 4, false},       // one word past the end of F2833x flash
      {0x3F7FFF, 4, false},       // F280x flash's last word and the RAM behind it
      {0x100000, 2, false},       // nothing there
      {0xFFFFFFFF, 0x10, false},  // wraps round to 0 in 32 bits
      {0xFFFFFFF0, 0x40, false},  // ends past 2^32
  };
  for (const Case& c : cases) {
    auto file = std::make_unique<FakeFirmwareFile>();
    file->add(kSectionText, 0x3E8000, 0x10);
    file->add(kSectionData, c.address, c.bytes);
    const FirmwareFileCheck check = CheckFirmwareFile(std::move(file), "fw.out");
    if (c.fits) {
      EXPECT_EQ(check.problem, FirmwareFileProblem::None) << std::hex << c.address << ": " << check.message;
    } else {
      EXPECT_EQ(check.problem, FirmwareFileProblem::AddressOutOfRange) << std::hex << c.address;
      EXPECT_EQ(check.file, nullptr);
      EXPECT_NE(check.message.find("section s2 would be programmed at"), std::string::npos) << check.message;
    }
  }
}

class UpdateOnSimulatedDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimConfig config = sim::SimConfig::unitTest();
    config.flashGeometry = "F28335";
    drive_ = sim::registerSimulatedDrive(kDevice, config);
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    ASSERT_TRUE(OpenLink(kDevice));
  }
  void TearDown() override {
    CloseLink();
    sleeper_.reset();
    sim::unregisterSimulatedDrive(kDevice);
  }

  static constexpr const char* kDevice = "sim:update-test";
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
};

// A port on the simulated drive that logs DTR changes, the record and first word of every frame
// written, and the close, into one list with the pauses and the programmer's calls.
class LoggingPort : public ::axtune::testing::ForwardingSerialPort {
 public:
  LoggingPort(std::unique_ptr<SerialPort> inner, std::vector<std::string>& log)
      : ForwardingSerialPort(std::move(inner)), log_(log) {}
  bool close() override {
    if (inner().isOpen()) log_.push_back("close link");
    return inner().close();
  }
  size_t write(const uint8_t* data, size_t n) override {
    if (n >= 4)
      log_.push_back("record " + std::to_string(data[1]) + " " + std::to_string(data[2] | data[3] << 8));
    return inner().write(data, n);
  }
  bool setDtr(bool on) override {
    log_.push_back(on ? "dtr on" : "dtr off");
    return inner().setDtr(on);
  }

 private:
  std::vector<std::string>& log_;
};

TEST_F(UpdateOnSimulatedDrive, HandOverRaisesDtrPausesAsksForTheBootLoaderAndGivesTheProgrammerThePort) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  constexpr const char* kLogged = "sim:update-log";
  std::vector<std::string> log;
  registerInProcessPort(kLogged, [&](const std::string& device) {
    return std::make_unique<LoggingPort>(sim::createSimulatedPort(drive_, device), log);
  });
  CloseLink();
  ASSERT_TRUE(OpenLink(kLogged));
  SleepFunction simulated = drive_->sleeper();
  ScopedSleeper logPauses([&](int ms) {
    log.push_back("pause " + std::to_string(ms));
    simulated(ms);
  });

  for (const bool openOk : {true, false}) {
    SCOPED_TRACE(openOk ? "boot loader reached" : "boot loader not reached");
    log.clear();
    if (!IsLinkOpen()) {
      ASSERT_TRUE(OpenLink(kLogged));
    }
    FakeProgrammer programmer;
    programmer.openOk = openOk;
    // The programmer's calls go into the same log, with the port it was given and the link's state.
    programmer.onWrite = [&] { log.push_back("program"); };
    UpdateHooks hooks;
    hooks.beforeHandOver = [&] { log.push_back("hand over"); };
    hooks.progress = [&](const UpdateProgress& p) {
      // The phase change only, not the boot table's progress within it.
      if (p.phase == UpdatePhase::Connecting && p.bytesTotal == 0) {
        log.push_back(std::string("connect, link ") + (IsLinkOpen() ? "open" : "closed"));
      }
    };

    const UpdateOutcome outcome = RunFirmwareUpdate(kFirmware, programmer, hooks);

    EXPECT_TRUE(outcome.driveTouched);
    EXPECT_EQ(programmer.port, kLogged);  // the drive link's port, not a fixed COM1
    std::vector<std::string> expected = {"hand over",    "dtr on",     "pause 1000",
                                         "record 127 9",  // enter the boot loader
                                         "pause 1000",   "close link", "connect, link closed"};
    if (openOk) {
      EXPECT_EQ(outcome.result, UpdateResult::VerifyOk);
      for (int i = 0; i < 7; ++i) expected.push_back("program");
    } else {
      EXPECT_EQ(outcome.result, UpdateResult::ComOpenFailed);
      EXPECT_EQ(programmer.names(), (Names{"open", "close"}));
      // Nothing was erased: the processor is reset through DTR on the link's port and given the
      // firmware's start-up before it is asked who it is.
      EXPECT_TRUE(outcome.restartTried);
      for (const char* step : {"dtr on", "pause 100", "dtr off", "pause 3000"}) expected.push_back(step);
      ASSERT_GE(log.size(), expected.size());
      log.resize(expected.size());
    }
    if (openOk) expected.push_back("pause 1000");  // after the COFF file is closed
    EXPECT_EQ(log, expected);
  }
  CloseLink();
  unregisterInProcessPort(kLogged);
}

TEST_F(UpdateOnSimulatedDrive, DecliningTheSwitchOnPromptCancelsWithoutErasing) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  int prompts = 0;
  std::unique_ptr<FlashProgrammer> programmer =
      CreatePrgFlashProgrammer([&](const std::string& title, const std::string& text) {
        ++prompts;
        EXPECT_EQ(title, "QMX Download");
        EXPECT_EQ(text, "QMX einschalten!");
        return false;
      });
  ASSERT_TRUE(programmer);
  const UpdateOutcome outcome = RunFirmwareUpdate(kFirmware, *programmer, {});
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(outcome.result, UpdateResult::Cancelled);
  EXPECT_FALSE(outcome.flashTouched);
  EXPECT_STRNE(UpdateResultText(outcome.result), "Com open failed!");
}

TEST_F(UpdateOnSimulatedDrive, RefusedFileTellsTheDriveNothing) {
  const fs::path text = fs::temp_directory_path() / "axtune_refused.out";
  std::ofstream(text) << "not firmware";
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
  ASSERT_TRUE(programmer);
  bool handedOver = false;
  UpdateHooks hooks;
  hooks.beforeHandOver = [&] { handedOver = true; };

  const UpdateOutcome outcome = RunFirmwareUpdate(text.string(), *programmer, hooks);
  fs::remove(text);

  EXPECT_EQ(outcome.result, UpdateResult::FileRejected);
  EXPECT_FALSE(outcome.driveTouched);
  EXPECT_FALSE(handedOver);
  EXPECT_TRUE(IsLinkOpen());
  EXPECT_TRUE(drive_->snapshot().firmwareRunning);
  RecordWords id{};
  EXPECT_TRUE(ReadRecord(kIdentificationRecord, id));
}

TEST_F(UpdateOnSimulatedDrive, RealFirmwareEndsUpInFlashAndTheDriveAnswersAgain) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
  ASSERT_TRUE(programmer);

  std::vector<UpdateProgress> progress;
  UpdateHooks hooks;
  hooks.progress = [&](const UpdateProgress& p) { progress.push_back(p); };
  const UpdateOutcome outcome = RunFirmwareUpdate(kFirmware, *programmer, hooks);
  ASSERT_EQ(outcome.result, UpdateResult::VerifyOk) << outcome.message;
  // The kernel's boot load and the programming pass move in many small steps, not per section.
  size_t connecting = 0;
  size_t programming = 0;
  uint64_t bootTable = 0;
  for (const UpdateProgress& p : progress) {
    if (p.phase == UpdatePhase::Connecting && p.bytesTotal > 0) {
      ++connecting;
      bootTable = p.bytesDone;
      EXPECT_LE(p.bytesDone, p.bytesTotal);
    }
    if (p.phase == UpdatePhase::Programming) ++programming;
  }
  EXPECT_GT(connecting, 20u);
  EXPECT_EQ(bootTable, 22u + 4 * 6 + 2 * (3489 + 90 + 37 + 4) + 2);  // the whole stand-in kernel
  EXPECT_GT(programming, outcome.bytesProgrammed / 228);
  EXPECT_EQ(outcome.sectionsProgrammed, 7);
  EXPECT_FALSE(IsLinkOpen());

  // The flash holds exactly the loadable sections at their load addresses, and nothing outside them.
  const size_t compared = test::ExpectFlashHoldsFile(*drive_, kFirmware);
  drive_->withProcessor(
      [](sim::BootProcessor& processor) { EXPECT_EQ(processor.flashWord(0x300000), 0xFFFF); });
  EXPECT_EQ(compared, outcome.bytesProgrammed / 2);

  ASSERT_TRUE(OpenLink(kDevice));
  RecordWords id{};
  EXPECT_TRUE(ReadRecord(kIdentificationRecord, id) || ReadRecord(kIdentificationRecord, id));
  EXPECT_EQ(id[0], 1028);  // QMX10-ET: the type that carries the F28335

  // A second update in the same process (the GUI keeps running) finds the boot loader again.
  const UpdateOutcome again = RunFirmwareUpdate(kFirmware, *programmer, {});
  EXPECT_EQ(again.result, UpdateResult::VerifyOk) << again.message;
  ASSERT_TRUE(OpenLink(kDevice));
  EXPECT_TRUE(ReadRecord(kIdentificationRecord, id) || ReadRecord(kIdentificationRecord, id));
}

}  // namespace
}  // namespace axtune
