// The firmware update with the cable pulled in each of its phases, on the simulated drive with the
// real programmer: the update says where it stopped, and running it again (as a new process would,
// with the programmer's options reset, the cable back, the drive never switched off) finishes it, the
// flash then holding exactly the file's loadable sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "core/firmware_update.h"
#include "firmware/programmer/flash_programmer.h"
#include "link/drive_link.h"
#include "link/sleeper.h"
#include "link/testing/forwarding_serial_port.h"
#include "sim/boot/boot_processor.h"
#include "sim/simulated_drive.h"
#include "tests/support/flash_holds_file.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;

const std::string kFirmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
constexpr const char* kDevice = "sim:update-faults";

// A port on the simulated drive whose cable can be pulled in the middle of a kernel packet: once
// armed, the next packet reaches the drive up to its middle, and then the cable is out.
class CableCutPort : public testing::ForwardingSerialPort {
 public:
  CableCutPort(std::unique_ptr<SerialPort> inner, sim::SimulatedDrive& drive, std::atomic<bool>& armed)
      : ForwardingSerialPort(std::move(inner)), drive_(drive), armed_(armed) {}
  size_t write(const uint8_t* data, size_t n) override {
    const bool packet = n > 16 && data[0] == 0x01 && data[1] == 0x66 && data[2] == 0x99;
    if (!packet || !armed_.exchange(false)) return inner().write(data, n);
    const size_t half = n / 2;
    inner().write(data, half);
    drive_.advance(uint64_t{half + 1} * 10'000'000 / static_cast<uint64_t>(baudRate()));  // they arrive
    drive_.unplug();
    return n;  // the rest went out of the UART onto a cable that is no longer there
  }
  size_t readSome(uint8_t* buffer, size_t min, size_t max) override {
    return inner().readSome(buffer, min, max);
  }
  uint64_t clockUs() override { return inner().clockUs(); }

 private:
  sim::SimulatedDrive& drive_;
  std::atomic<bool>& armed_;
};

class UpdateFaultsBase : public ::testing::Test {
 protected:
  void start(bool factoryFirmware) {
    if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
    sim::SimConfig config = sim::SimConfig::unitTest();
    config.flashGeometry = "F28335";
    config.factoryFirmware = factoryFirmware;
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    registerInProcessPort(kDevice, [this](const std::string& device) {
      return std::make_unique<CableCutPort>(sim::createSimulatedPort(drive_, device), *drive_,
                                            cutNextPacket_);
    });
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    PRG_Handle handle = nullptr;
    ASSERT_EQ(PRG_Init(&handle), 0);
    programmer_ = CreatePrgFlashProgrammer();
    ASSERT_TRUE(programmer_);
  }
  void TearDown() override {
    CloseLink();
    programmer_.reset();
    sleeper_.reset();
    unregisterInProcessPort(kDevice);
  }

  // The flash holds exactly the file's programmed sections.
  void expectFlashEqualsFile() { EXPECT_GT(test::ExpectFlashHoldsFile(*drive_, kFirmware), 0u); }

  // The cable comes back; the drive was never switched off. The programmer starts as in a new
  // process: its options are reset, so it does not know what an earlier session left running.
  void replugAsANewProcess() {
    drive_->replug();
    PRG_Handle handle = nullptr;
    ASSERT_EQ(PRG_Init(&handle), 0);
  }

  static bool saw(const UpdateOutcome& outcome, const std::string& text) {
    const auto& m = outcome.programmerMessages;
    return std::any_of(m.begin(), m.end(), [&](const std::string& line) { return line.find(text) == 0; });
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  std::unique_ptr<FlashProgrammer> programmer_;
  std::atomic<bool> cutNextPacket_{false};
};

// Where the processor is once the cable is out.
enum class Left { BootRomMidTable, BootRomWaiting, Kernel };

struct PhaseFault {
  const char* phase;
  std::function<bool(const UpdateProgress&)> pullAt;  // true at the progress report where the cable goes
  bool midPacket;       // the cable goes in the middle of the next packet instead of at once
  Left left;            // where the processor stays
  UpdateResult result;  // the broken update's outcome
  const char* message;  // the start of its message ("" for none)
  bool retryResets;     // the retry finds no firmware answering and resets the processor
};

bool MidText(const UpdateProgress& p) {
  // .text is the second programmed section, 23,024 bytes after .cinit's 276.
  return p.phase == UpdatePhase::Programming && p.section == 2 && p.bytesDone > 276 + 10000;
}

const PhaseFault kFaults[] = {
    {"boot load",
     [](const UpdateProgress& p) { return p.phase == UpdatePhase::Connecting && p.bytesDone > 1000; }, false,
     Left::BootRomMidTable, UpdateResult::ComOpenFailed,
     "the drive stopped answering while its flash kernel was loaded (after 1", true},
    // Out before the programmer's first byte: neither the probe, nor the autobaud, nor the reset.
    {"ping and autobaud", [](const UpdateProgress& p) { return p.phase == UpdatePhase::Connecting; }, false,
     Left::BootRomWaiting, UpdateResult::ComOpenFailed,
     "the drive's boot loader did not answer, not even after a reset through DTR (this run erased nothing)",
     false},
    {"erase", [](const UpdateProgress& p) { return p.phase == UpdatePhase::Erasing; }, false, Left::Kernel,
     UpdateResult::EraseFailed, "the drive stopped answering while erasing", true},
    {"a chunk in the middle of a section", MidText, false, Left::Kernel, UpdateResult::VerifyFailed,
     "the drive stopped answering at 0x", true},
    {"the middle of a packet", MidText, true, Left::Kernel, UpdateResult::VerifyFailed,
     "the drive stopped answering at 0x", true},
    {"verify", [](const UpdateProgress& p) { return p.phase == UpdatePhase::Verifying && p.section == 2; },
     false, Left::Kernel, UpdateResult::VerifyFailed,
     "the drive stopped answering at 0x00338000 (section .text, while verifying)", true},
    // The verification passed; the processor's reset at the end did not reach it, so it stays in the
    // kernel instead of starting the new firmware.
    {"the closing reset", [](const UpdateProgress& p) { return p.phase == UpdatePhase::Closing; }, false,
     Left::Kernel, UpdateResult::VerifyOk, "", true},
};

class UpdateFaults : public UpdateFaultsBase, public ::testing::WithParamInterface<int> {};

TEST_P(UpdateFaults, TheUpdateSaysWhereItStoppedAndARetryFinishesIt) {
  const PhaseFault& fault = kFaults[GetParam()];
  SCOPED_TRACE(fault.phase);
  start(true);
  ASSERT_TRUE(OpenLink(kDevice));

  bool pulled = false;
  UpdateHooks hooks;
  hooks.progress = [&](const UpdateProgress& p) {
    if (pulled || !fault.pullAt(p)) return;
    pulled = true;
    if (fault.midPacket) {
      cutNextPacket_ = true;
    } else {
      drive_->unplug();
    }
  };
  const UpdateOutcome broken = RunFirmwareUpdate(kFirmware, *programmer_, hooks);
  ASSERT_TRUE(pulled);
  EXPECT_FALSE(drive_->plugged());
  EXPECT_EQ(broken.result, fault.result) << broken.message;
  EXPECT_EQ(broken.message.find(fault.message), 0u) << broken.message;
  EXPECT_EQ(broken.driveStoppedAnswering, broken.result != UpdateResult::VerifyOk);
  if (broken.result == UpdateResult::VerifyFailed) {
    // It stopped at the first unanswered packet instead of trying every section.
    EXPECT_EQ(broken.failedWrites.size() + broken.failedVerifies.size(), 1u);
  }
  drive_->withProcessor([&](sim::BootProcessor& processor) {
    EXPECT_TRUE(processor.active()) << "the drive's firmware does not run";
    EXPECT_EQ(processor.kernelRunning(), fault.left == Left::Kernel);
  });

  replugAsANewProcess();
  ASSERT_TRUE(OpenLink(kDevice));
  const UpdateOutcome retry = RunFirmwareUpdate(kFirmware, *programmer_, {});
  EXPECT_EQ(retry.result, UpdateResult::VerifyOk) << retry.message;
  EXPECT_EQ(retry.processorReset, fault.retryResets);
  expectFlashEqualsFile();

  // The drive starts its new firmware and answers frames again.
  ASSERT_TRUE(OpenLink(kDevice));
  RecordWords id{};
  EXPECT_TRUE(ReadRecord(kIdentificationRecord, id) || ReadRecord(kIdentificationRecord, id));
}

INSTANTIATE_TEST_SUITE_P(EachPhase, UpdateFaults, ::testing::Range(0, static_cast<int>(std::size(kFaults))));

// A front end that drives the programmer alone (no drive link, so nothing at another rate reaches
// the processor between the two runs) finds what the broken run left on the line: a kernel in the
// middle of a packet is flushed and used again; a boot ROM in the middle of a table echoes the probe
// and is reset through DTR before the kernel is loaded again.
class ProgrammerAloneRetry : public UpdateFaultsBase {
 protected:
  UpdateOutcome run(const std::function<void(const UpdateProgress&)>& progress = {}) {
    FirmwareFileCheck check = OpenFirmwareFile(kFirmware);
    EXPECT_EQ(check.problem, FirmwareFileProblem::None) << check.message;
    if (!check.file) return {};
    programmer_->setPortName(kDevice);
    UpdateHooks hooks;
    hooks.progress = progress;
    // One rate for the boot ROM and the kernel: these retry paths are about what a broken run left
    // on the line, not about a change of rate between the two (the rate tests cover that).
    hooks.kernelBaud = hooks.bootBaud;
    return ProgramFirmware(*check.file, *programmer_, hooks);
  }
};

TEST_F(ProgrammerAloneRetry, AKernelLeftInTheMiddleOfAPacketIsFlushedAndUsedAgain) {
  start(false);  // erased flash: the processor waits in its boot ROM
  const UpdateOutcome broken = run([&](const UpdateProgress& p) {
    if (MidText(p)) cutNextPacket_ = true;
  });
  EXPECT_EQ(broken.result, UpdateResult::VerifyFailed);
  EXPECT_TRUE(broken.driveStoppedAnswering);

  replugAsANewProcess();
  const UpdateOutcome retry = run();
  EXPECT_EQ(retry.result, UpdateResult::VerifyOk) << retry.message;
  EXPECT_TRUE(saw(retry, "A flash kernel still runs"));
  EXPECT_FALSE(saw(retry, "Resetting the drive's processor"));
  EXPECT_FALSE(saw(retry, "Loading "));
  expectFlashEqualsFile();
}

TEST_F(ProgrammerAloneRetry, ABootRomLeftInTheMiddleOfATableIsResetAndLoadedAgain) {
  start(false);
  const UpdateOutcome broken = run([&](const UpdateProgress& p) {
    if (p.phase == UpdatePhase::Connecting && p.bytesDone > 1000) drive_->unplug();
  });
  EXPECT_EQ(broken.result, UpdateResult::ComOpenFailed);
  EXPECT_TRUE(broken.driveStoppedAnswering);

  replugAsANewProcess();
  const UpdateOutcome retry = run();
  EXPECT_EQ(retry.result, UpdateResult::VerifyOk) << retry.message;
  EXPECT_TRUE(saw(retry, "A boot loader echoes the packets"));
  EXPECT_TRUE(saw(retry, "Resetting the drive's processor (DTR)"));
  expectFlashEqualsFile();
}

// The cable out right after the boot table's end mark: the kernel starts and waits for its own
// autobaud, which never came. The next run's autobaud locks it, but it echoes no boot table.
TEST_F(ProgrammerAloneRetry, AKernelStillWaitingForItsAutobaudIsResetAndLoadedAgain) {
  start(false);
  const UpdateOutcome broken = run([&](const UpdateProgress& p) {
    if (p.phase == UpdatePhase::Connecting && p.bytesTotal > 0 && p.bytesDone == p.bytesTotal)
      drive_->unplug();
  });
  EXPECT_EQ(broken.result, UpdateResult::ComOpenFailed);
  EXPECT_TRUE(saw(broken, "Autobaud failed after loading application"));
  drive_->withProcessor([](sim::BootProcessor& processor) { EXPECT_TRUE(processor.kernelRunning()); });

  replugAsANewProcess();
  const UpdateOutcome retry = run();
  EXPECT_EQ(retry.result, UpdateResult::VerifyOk) << retry.message;
  EXPECT_TRUE(saw(retry, "Error writing boot header"));
  EXPECT_TRUE(saw(retry, "Resetting the drive's processor (DTR)"));
  expectFlashEqualsFile();
}

// A drive whose firmware is valid but whose kernel took bytes at another rate: the programmer alone
// cannot tell the firmware to enter its boot loader, so after the reset it says what runs.
TEST_F(ProgrammerAloneRetry, AfterAResetIntoValidFirmwareTheProgrammerSaysWhatRuns) {
  start(true);
  ASSERT_TRUE(OpenLink(kDevice));
  bool pulled = false;
  UpdateHooks hooks;
  hooks.progress = [&](const UpdateProgress& p) {
    if (!pulled && p.phase == UpdatePhase::Closing) drive_->unplug(), pulled = true;
  };
  EXPECT_EQ(RunFirmwareUpdate(kFirmware, *programmer_, hooks).result, UpdateResult::VerifyOk);
  replugAsANewProcess();
  // The drive link at 38400 asks who is there: the kernel, locked at 19200, takes it as garbage.
  ASSERT_TRUE(OpenLink(kDevice));
  RecordWords id{};
  EXPECT_FALSE(ReadRecord(kIdentificationRecord, id));
  CloseLink();

  const UpdateOutcome retry = run();
  EXPECT_EQ(retry.result, UpdateResult::ComOpenFailed);
  EXPECT_TRUE(saw(retry, "Resetting the drive's processor (DTR)"));
  EXPECT_TRUE(saw(retry, "No boot loader answered after the reset"));
  EXPECT_TRUE(drive_->snapshot().firmwareRunning) << "the reset started the valid firmware";
}

// A line that flips bit 15 of the first data word in each of the first `flips` flash-write packets
// (both in the first section): two such errors cancel in the kernel's 16-bit sum.
class BitFlipPort : public testing::ForwardingSerialPort {
 public:
  BitFlipPort(std::unique_ptr<SerialPort> inner, int& flipsLeft)
      : ForwardingSerialPort(std::move(inner)), flipsLeft_(flipsLeft) {}
  size_t write(const uint8_t* data, size_t n) override {
    // Header (8 bytes), command block (code 0x000B first, 20 bytes), then the words, high byte first.
    constexpr size_t kFirstWord = 8 + 20;
    const bool flashWrite = n > kFirstWord && data[0] == 0x01 && data[1] == 0x66 && data[2] == 0x99 &&
                            data[8] == 0x00 && data[9] == 0x0B;
    if (!flashWrite || flipsLeft_ <= 0) return inner().write(data, n);
    --flipsLeft_;
    std::vector<uint8_t> flipped(data, data + n);
    flipped[kFirstWord] ^= 0x80;
    return inner().write(flipped.data(), n);
  }
  uint64_t clockUs() override { return inner().clockUs(); }

 private:
  int& flipsLeft_;
};

struct CancellingErrorsCase {
  const char* what;
  int flips;
  bool readBack;
  UpdateResult result;
  bool flashHoldsFile;
};

class CancellingErrors : public ::testing::TestWithParam<CancellingErrorsCase> {
 protected:
  void TearDown() override {
    CloseLink();
    unregisterInProcessPort(kDevice);
  }
};

TEST_P(CancellingErrors, OnlyTheWordByWordComparisonSeesTwoErrorsThatCancelInTheSum) {
  const CancellingErrorsCase& c = GetParam();
  SCOPED_TRACE(c.what);
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.flashGeometry = "F28335";
  auto drive = std::make_shared<sim::SimulatedDrive>(config);
  int flipsLeft = c.flips;
  registerInProcessPort(kDevice, [&](const std::string& device) {
    return std::make_unique<BitFlipPort>(sim::createSimulatedPort(drive, device), flipsLeft);
  });
  ScopedSleeper sleeper(drive->sleeper());
  PRG_Handle handle = nullptr;
  ASSERT_EQ(PRG_Init(&handle), 0);
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
  ASSERT_TRUE(programmer);
  ASSERT_TRUE(OpenLink(kDevice));

  UpdateHooks hooks;
  bool asked = false;
  hooks.readBack = [&] { return asked = true, c.readBack; };
  const UpdateOutcome outcome = RunFirmwareUpdate(kFirmware, *programmer, hooks);
  EXPECT_EQ(flipsLeft, 0);
  EXPECT_EQ(asked, c.flips != 1) << "asked only once the sum check has passed";
  EXPECT_EQ(outcome.result, c.result) << outcome.message;
  EXPECT_EQ(outcome.readBackCompared, c.readBack && c.flashHoldsFile);
  EXPECT_EQ(outcome.readBackMismatch, c.readBack && !c.flashHoldsFile);
  if (outcome.readBackMismatch) {
    // The first flipped word: the first word of the first programmed section.
    const FirmwareFileCheck check = OpenFirmwareFile(kFirmware);
    ASSERT_TRUE(check.file);
    const uint32_t first = ProgrammedSections(*check.file).front().loadAddress;
    EXPECT_EQ(outcome.firstDifference, first);
    char address[16];
    std::snprintf(address, sizeof address, "0x%08X", first);
    EXPECT_EQ(outcome.message.find(std::string("the flash differs from the file at ") + address), 0u)
        << outcome.message;
  }
  size_t differing = 0;
  {
    const FirmwareFileCheck check = OpenFirmwareFile(kFirmware);
    ASSERT_TRUE(check.file);
    drive->withProcessor([&](sim::BootProcessor& processor) {
      for (const FirmwareSectionInfo& s : ProgrammedSections(*check.file)) {
        std::vector<uint16_t> words((s.sizeBytes + 1) / 2);
        check.file->readSection(s.number, reinterpret_cast<uint8_t*>(words.data()), s.sizeBytes);
        for (size_t i = 0; i < words.size(); ++i)
          differing += processor.flashWord(s.loadAddress + static_cast<uint32_t>(i)) != words[i];
      }
    });
  }
  EXPECT_EQ(differing, c.flashHoldsFile ? 0u : static_cast<size_t>(c.flips));
}

INSTANTIATE_TEST_SUITE_P(
    SumAndReadBack, CancellingErrors,
    ::testing::Values(
        // The kernel's sum cannot see them: the default update reports success with a wrong flash.
        CancellingErrorsCase{"sum check only", 2, false, UpdateResult::VerifyOk, false},
        CancellingErrorsCase{"read back", 2, true, UpdateResult::VerifyFailed, false},
        CancellingErrorsCase{"read back, a clean line", 0, true, UpdateResult::VerifyOk, true},
        // A single error never passes the sum.
        CancellingErrorsCase{"one error, sum check only", 1, false, UpdateResult::VerifyFailed, false}));

}  // namespace
}  // namespace axtune
