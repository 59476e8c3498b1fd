// The update on the simulated drive where it can hurt: an image that does not fit the drive's
// processor (another processor's, overlapping sections, code linked to RAM) is refused before the
// drive hears anything, and a cancel at each step before the erase ends with the drive reset through
// DTR, running its firmware and identified again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/firmware_fit.h"
#include "core/firmware_update.h"
#include "link/drive_link.h"
#include "link/sleeper.h"
#include "link/testing/forwarding_serial_port.h"
#include "sim/simulated_drive.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;

const std::string kSample = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
constexpr const char* kDevice = "sim:update-safety";

// Counts the enter-boot-loader requests the link sends (record 127, sub-command 9).
class RequestCountingPort : public ::axtune::testing::ForwardingSerialPort {
 public:
  RequestCountingPort(std::unique_ptr<SerialPort> inner, int& count)
      : ForwardingSerialPort(std::move(inner)), count_(count) {}
  size_t write(const uint8_t* data, size_t n) override {
    if (n == 34 && data[1] == kObjectRecord && (data[2] | data[3] << 8) == 9) ++count_;
    return inner().write(data, n);
  }

 private:
  int& count_;
};

class UpdateSafety : public ::testing::Test {
 protected:
  void Start(const std::string& geometry) {
    geometry_ = geometry;
    sim::SimConfig config = sim::SimConfig::unitTest();
    config.flashGeometry = geometry;
    drive_ = std::make_shared<sim::SimulatedDrive>(config);
    registerInProcessPort(kDevice, [this](const std::string& name) -> std::unique_ptr<SerialPort> {
      return std::make_unique<RequestCountingPort>(sim::createSimulatedPort(drive_, name), bootRequests_);
    });
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    ASSERT_TRUE(OpenLink(kDevice));
  }
  void TearDown() override {
    CloseLink();
    unregisterInProcessPort(kDevice);
    sleeper_.reset();
    for (const fs::path& p : temporary_) fs::remove(p);
  }
  // The processor as the front ends take it: the drive's type gives the F2808, and a simulated
  // F28335 is named, as a user names it.
  const ProcessorFlash* DriveProcessor() {
    RecordWords id{};
    EXPECT_TRUE(ReadRecord(kIdentificationRecord, id));
    return geometry_ == "F28335" ? FindProcessor("F28335") : ProcessorForDriveType(id[0]);
  }
  // The sample with one section header's load address moved (sections counted from 0).
  std::string Patched(int section, uint32_t loadAddress) {
    std::ifstream in(kSample, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = 22 + 28 + 48 * static_cast<size_t>(section) + 12;
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>(loadAddress >> (8 * i));
    const fs::path path = fs::temp_directory_path() / ("axtune_safety_" + std::to_string(section) + ".out");
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    temporary_.push_back(path);
    return path.string();
  }
  bool Identified() {
    if (!IsLinkOpen() && !OpenLink(kDevice)) return false;
    RecordWords id{};
    return ReadRecord(kIdentificationRecord, id);
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::string geometry_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  int bootRequests_ = 0;
  std::vector<fs::path> temporary_;
};

struct MisfitCase {
  const char* name;
  const char* geometry;
  int section;  // -1: the sample as it is
  uint32_t loadAddress;
  const char* said;
};

class UpdateMisfits : public UpdateSafety, public ::testing::WithParamInterface<MisfitCase> {};

TEST_P(UpdateMisfits, AreRefusedBeforeTheDriveHearsAnything) {
  if (!fs::exists(kSample)) GTEST_SKIP() << "no C28x test file at " << kSample;
  const MisfitCase& c = GetParam();
  Start(c.geometry);
  const std::string file = c.section < 0 ? kSample : Patched(c.section, c.loadAddress);
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
  ASSERT_TRUE(programmer);
  bool handedOver = false;
  UpdateHooks hooks;
  hooks.beforeHandOver = [&] { handedOver = true; };
  hooks.processor = DriveProcessor();
  ASSERT_NE(hooks.processor, nullptr);

  const UpdateOutcome outcome = RunFirmwareUpdate(file, *programmer, hooks);

  EXPECT_EQ(outcome.result, UpdateResult::FileRejected);
  EXPECT_NE(outcome.message.find(c.said), std::string::npos) << outcome.message;
  EXPECT_FALSE(outcome.driveTouched);
  EXPECT_FALSE(handedOver);
  EXPECT_EQ(bootRequests_, 0);
  EXPECT_TRUE(drive_->snapshot().firmwareRunning);
  EXPECT_TRUE(Identified());
}

INSTANTIATE_TEST_SUITE_P(
    Images, UpdateMisfits,
    ::testing::Values(
        // The F28335 sample on an F2808 drive: the first section in file order is named with the
        // range it needs.
        MisfitCase{"OtherProcessor", "F2808", -1, 0, "section .cinit (0x33AF90..0x33B019)"},
        MisfitCase{"OverlappingSections", "F28335", 11, 0x338000, "section .text (0x338000..0x33ACF7) and"},
        MisfitCase{"CodeLinkedToRam", "F28335", 3, 0x00A000,
                   "section .text (0x00A000..0x00CCF7) reaches into RAM"},
        MisfitCase{"BelowTheFlash", "F28335", 3, 0x2F0000, "outside the flash and RAM"}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the cancel comes: during the hand-over after the boot-loader request, at the switch-on
// prompt, while the flash kernel is loaded, and when the erase is about to start.
enum class CancelAt { HandOver, Prompt, KernelLoad, BeforeErase };

class UpdateCancels : public UpdateSafety, public ::testing::WithParamInterface<CancelAt> {};

TEST_P(UpdateCancels, BeforeTheEraseLeaveTheDriveRunningItsFirmware) {
  if (!fs::exists(kSample)) GTEST_SKIP() << "no C28x test file at " << kSample;
  const CancelAt at = GetParam();
  Start("F28335");
  UpdateControl control;
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer(
      [&](const std::string&, const std::string&) { return at != CancelAt::Prompt; });
  ASSERT_TRUE(programmer);
  UpdateHooks hooks;
  hooks.control = &control;
  hooks.processor = DriveProcessor();
  hooks.progress = [&](const UpdateProgress& p) {
    const bool kernelHalfway =
        p.phase == UpdatePhase::Connecting && p.bytesTotal > 0 && p.bytesDone > p.bytesTotal / 2;
    if ((at == CancelAt::KernelLoad && kernelHalfway) ||
        (at == CancelAt::BeforeErase && p.phase == UpdatePhase::Erasing))
      control.requestCancel();
  };
  // The hand-over's pause after the boot-loader request is the second pause of the update.
  SleepFunction simulated = drive_->sleeper();
  int pauses = 0;
  ScopedSleeper counting([&](int ms) {
    if (at == CancelAt::HandOver && ++pauses == 2) control.requestCancel();
    simulated(ms);
  });

  const UpdateOutcome outcome = RunFirmwareUpdate(kSample, *programmer, hooks);

  EXPECT_EQ(outcome.result, UpdateResult::Cancelled);
  EXPECT_TRUE(outcome.driveTouched);
  EXPECT_EQ(bootRequests_, 1);
  EXPECT_FALSE(outcome.flashTouched);
  EXPECT_TRUE(outcome.restartTried);
  EXPECT_TRUE(outcome.firmwareRestarted);
  EXPECT_EQ(outcome.message, "cancelled; nothing was erased; the drive runs its firmware again");
  EXPECT_TRUE(drive_->snapshot().firmwareRunning);
  EXPECT_TRUE(Identified());
}

INSTANTIATE_TEST_SUITE_P(Steps, UpdateCancels,
                         ::testing::Values(CancelAt::HandOver, CancelAt::Prompt, CancelAt::KernelLoad,
                                           CancelAt::BeforeErase));

}  // namespace
}  // namespace axtune
