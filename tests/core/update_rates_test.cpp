// The update's two rates: the boot ROM and the kernel load at the low rate, the kernel's session at
// the high one; the fall back to 19200 wherever the high rate fails (on the simulated drive's long
// cable, its slow autobaud, a line without DTR, and through a programmer that reports the failure);
// and the time left of the programming pass, checked against the simulated drive's clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <utility>

#include "core/firmware_update.h"
#include "core/update_estimate.h"
#include "firmware/programmer/flash_programmer.h"
#include "link/drive_link.h"
#include "link/sleeper.h"
#include "link/testing/forwarding_serial_port.h"
#include "sim/simulated_drive.h"
#include "tests/support/flash_holds_file.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;
const std::string kFirmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
const std::string kFellBack = "the drive did not answer at 115200 baud; continuing at 19200";

// The programmer's port on the simulated drive: notes the rate of every packet header and "A" it
// writes, whether an erase command went out at a rate, and can be a line without DTR.
class RatePort : public ::axtune::testing::ForwardingSerialPort {
 public:
  struct Log {
    std::vector<std::pair<char, int>> wire;  // 'A' autobaud, 'P' packet, 'E' erase packet; repeats merged
    bool dtr = true;
  };
  RatePort(std::unique_ptr<SerialPort> inner, Log& log) : ForwardingSerialPort(std::move(inner)), log_(log) {}
  bool open(const SerialSettings& settings) override {
    rate_ = settings.baudRate;
    return ForwardingSerialPort::open(settings);
  }
  bool setBaudRate(int rate) override {
    rate_ = rate;
    return inner().setBaudRate(rate);
  }
  bool setDtr(bool on) override { return log_.dtr && inner().setDtr(on); }
  size_t write(const uint8_t* data, size_t n) override {
    char what = 0;
    if (n == 1 && data[0] == 'A') what = 'A';
    if (n >= 8 && data[0] == 0x01 && data[1] == 0x66 && data[2] == 0x99) what = 'P';
    if (n >= 10 && what == 'P' && data[8] == 0x00 && data[9] == 0x0A) what = 'E';
    if (what != 0 && (log_.wire.empty() || log_.wire.back() != std::make_pair(what, rate_)))
      log_.wire.emplace_back(what, rate_);
    return inner().write(data, n);
  }

 private:
  Log& log_;
  int rate_ = 0;
};

struct LineCase {
  const char* name;
  int maxLineBaud;
  int maxAutobaud;
  bool dtr;
  int finalBaud;
};

class UpdateRatesOnTheSimulatedDrive : public ::testing::TestWithParam<LineCase> {};

TEST_P(UpdateRatesOnTheSimulatedDrive, EndsVerifiedAtTheRateTheLineCarries) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  const LineCase& c = GetParam();
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.flashGeometry = "F28335";
  config.maxLineBaud = c.maxLineBaud;
  config.maxAutobaud = c.maxAutobaud;
  constexpr const char* kDevice = "sim:update-rates";
  auto drive = sim::registerSimulatedDrive(kDevice, config);
  ScopedSleeper sleeper(drive->sleeper());
  RatePort::Log log;
  log.dtr = c.dtr;
  constexpr const char* kPort = "sim:update-rates-port";
  registerInProcessPort(kPort, [&](const std::string& device) {
    return std::make_unique<RatePort>(sim::createSimulatedPort(drive, device), log);
  });
  ASSERT_TRUE(OpenLink(kPort));
  PRG_SetOptions(nullptr, "PrgSkipBootLoad=NO");  // a fresh process loads the kernel
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
  std::vector<std::string> lines;
  UpdateHooks hooks;  // the defaults: boot ROM at 19200, kernel at 115200
  hooks.log = [&](const std::string& line) { lines.push_back(line); };

  const UpdateOutcome outcome = RunFirmwareUpdate(kFirmware, *programmer, hooks);

  EXPECT_EQ(outcome.result, UpdateResult::VerifyOk) << outcome.message;
  EXPECT_EQ(outcome.kernelBaud, c.finalBaud);
  const bool fellBack = c.finalBaud != 115200;
  EXPECT_EQ(outcome.rateFellBack, fellBack);
  EXPECT_EQ(lines, fellBack ? std::vector<std::string>{kFellBack} : std::vector<std::string>{});
  test::ExpectFlashHoldsFile(*drive, kFirmware);
  // From the first autobaud on: the boot ROM at 19200, then the kernel at 115200; after a fall back
  // the whole connection again at 19200. The erase goes out only at the rate the kernel answered.
  std::vector<std::pair<char, int>> wire = log.wire;
  wire.erase(wire.begin(), std::find(wire.begin(), wire.end(), std::make_pair('A', 19200)));
  std::string seen;
  for (const auto& [what, rate] : wire) seen += std::string(1, what) + std::to_string(rate) + " ";
  SCOPED_TRACE(seen);
  ASSERT_GE(wire.size(), 2u);
  EXPECT_EQ(wire[0], std::make_pair('A', 19200));
  EXPECT_EQ(wire[1], std::make_pair('A', 115200));
  const auto erase = std::find_if(wire.begin(), wire.end(), [](auto& w) { return w.first == 'E'; });
  ASSERT_NE(erase, wire.end());
  EXPECT_EQ(erase->second, c.finalBaud);
  for (auto it = erase; it != wire.end(); ++it) EXPECT_EQ(it->second, c.finalBaud) << it->first;
  if (fellBack) {
    EXPECT_NE(std::find(wire.begin() + 2, erase, std::make_pair('A', 19200)), erase)
        << "the kernel is autobauded again at 19200";
  }
  CloseLink();
  unregisterInProcessPort(kPort);
  sim::unregisterSimulatedDrive(kDevice);
}

INSTANTIATE_TEST_SUITE_P(Lines, UpdateRatesOnTheSimulatedDrive,
                         ::testing::Values(LineCase{"GoodCable", 0, 0, true, 115200},
                                           LineCase{"CableTooLongFor115200", 38400, 0, true, 19200},
                                           LineCase{"AutobaudFailsAbove38400", 0, 38400, true, 19200},
                                           LineCase{"CableTooLongAndNoDtr", 38400, 0, false, 19200}),
                         [](const auto& info) { return std::string(info.param.name); });

// A file of one section and a programmer whose opens go as the case says.
class OneSection : public FirmwareFile {
 public:
  uint16_t targetId() const override { return kC28xTargetId; }
  uint32_t entryPoint() const override { return 0x300000; }
  bool executable() const override { return true; }
  int sectionCount() const override { return 1; }
  FirmwareSectionInfo section(int) const override {
    FirmwareSectionInfo s;
    s.number = 1;
    s.name = ".text";
    s.loadAddress = 0x300000;
    s.flags = kSectionText;
    s.sizeBytes = 8;
    s.loadable = true;
    return s;
  }
  uint32_t readSection(int, uint8_t* buffer, uint32_t bytes) override {
    std::fill(buffer, buffer + bytes, uint8_t{0x5A});
    return bytes;
  }
};

class ScriptedOpens : public FlashProgrammer {
 public:
  void setPortName(const std::string&) override {}
  void setBaudRates(int boot, int kernel) override { rates = {boot, kernel}; }
  bool open() override {
    calls.push_back("open " + std::to_string(rates.first) + "/" + std::to_string(rates.second));
    const bool ok = opens < static_cast<int>(results.size()) && results[static_cast<size_t>(opens)];
    ++opens;
    rateFailed = !ok && !declined && rates.first != rates.second;
    return ok;
  }
  bool kernelRateFailed() const override { return rateFailed; }
  bool promptCancelled() const override { return declined; }
  bool erase() override { return calls.push_back("erase"), true; }
  bool write(uint32_t, uint16_t, uint32_t, const uint16_t*) override {
    return calls.push_back("write"), true;
  }
  bool verify(uint32_t, uint16_t, uint32_t, const uint16_t*) override {
    return calls.push_back("verify"), true;
  }
  void close() override { calls.push_back("close"); }
  void abort() override {}

  std::vector<bool> results;
  bool declined = false;
  std::pair<int, int> rates;
  bool rateFailed = false;
  int opens = 0;
  std::vector<std::string> calls;
};

struct OpenCase {
  const char* name;
  int kernelBaud;
  std::vector<bool> results;
  bool declined;
  UpdateResult result;
  int finalBaud;
  std::vector<std::string> calls;
  const char* message;  // part of the outcome's message
};

class RateFallBack : public ::testing::TestWithParam<OpenCase> {};

TEST_P(RateFallBack, ResetsAndConnectsAgainAtTheSafeRateBeforeAnythingIsErased) {
  const OpenCase& c = GetParam();
  OneSection file;
  ScriptedOpens programmer;
  programmer.results = c.results;
  programmer.declined = c.declined;
  std::vector<std::string> lines;
  std::vector<int> connectingRates;
  UpdateHooks hooks;
  hooks.kernelBaud = c.kernelBaud;
  hooks.log = [&](const std::string& line) { lines.push_back(line); };
  hooks.progress = [&](const UpdateProgress& p) {
    if (p.phase == UpdatePhase::Connecting) connectingRates.push_back(p.baud);
  };

  const UpdateOutcome outcome = ProgramFirmware(file, programmer, hooks);

  EXPECT_EQ(outcome.result, c.result) << outcome.message;
  EXPECT_EQ(outcome.kernelBaud, c.finalBaud);
  EXPECT_EQ(programmer.calls, c.calls);
  const bool retried = programmer.opens == 2;
  EXPECT_EQ(lines, retried
                       ? std::vector<std::string>{"the drive did not answer at " +
                                                  std::to_string(c.kernelBaud) + " baud; continuing at 19200"}
                       : std::vector<std::string>{});
  ASSERT_FALSE(connectingRates.empty());
  EXPECT_EQ(connectingRates.back(), 19200) << "connecting shows the boot ROM's rate";
  EXPECT_NE(outcome.message.find(c.message), std::string::npos) << outcome.message;
  EXPECT_FALSE(outcome.flashTouched && outcome.result == UpdateResult::ComOpenFailed);
}

INSTANTIATE_TEST_SUITE_P(Opens, RateFallBack,
                         ::testing::Values(OpenCase{"KernelFailsTheHighRate",
                                                    115200,
                                                    {false, true},
                                                    false,
                                                    UpdateResult::VerifyOk,
                                                    19200,
                                                    {"open 19200/115200", "close", "open 19200/19200",
                                                     "erase", "write", "verify", "close"},
                                                    ""},
                                           OpenCase{"ChosenRateFailsToo",
                                                    57600,
                                                    {false, true},
                                                    false,
                                                    UpdateResult::VerifyOk,
                                                    19200,
                                                    {"open 19200/57600", "close", "open 19200/19200", "erase",
                                                     "write", "verify", "close"},
                                                    ""},
                                           OpenCase{
                                               "NoResetReachesTheKernel",
                                               115200,
                                               {false, false},
                                               false,
                                               UpdateResult::ComOpenFailed,
                                               0,
                                               {"open 19200/115200", "close", "open 19200/19200", "close"},
                                               "switch the drive off and on"},
                                           OpenCase{"OneRateHasNothingToFallBackTo",
                                                    19200,
                                                    {false},
                                                    false,
                                                    UpdateResult::ComOpenFailed,
                                                    0,
                                                    {"open 19200/19200", "close"},
                                                    ""},
                                           OpenCase{"DeclinedPromptIsNoRateFailure",
                                                    115200,
                                                    {false},
                                                    true,
                                                    UpdateResult::Cancelled,
                                                    0,
                                                    {"open 19200/115200", "close"},
                                                    "cancelled at the switch-on prompt"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The time left while programming, from the rate measured in the pass, against the time the pass
// really took on the simulated drive's clock: within 20 % once a tenth of the pass is done.
TEST(ProgrammingTimeLeft, IsWithinTwentyPercentAfterTheFirstTenthOnTheDrivesClock) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.flashGeometry = "F28335";
  constexpr const char* kDevice = "sim:update-estimate";
  auto drive = sim::registerSimulatedDrive(kDevice, config);
  ScopedSleeper sleeper(drive->sleeper());
  ASSERT_TRUE(OpenLink(kDevice));
  PRG_SetOptions(nullptr, "PrgSkipBootLoad=NO");
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
  PhaseEstimate estimate;
  struct Sample {
    int64_t atMs;
    double fraction;
    int64_t remainingMs;
  };
  std::vector<Sample> samples;
  int64_t programmingEndMs = -1;
  UpdateHooks hooks;
  hooks.progress = [&](const UpdateProgress& p) {
    const auto nowMs = static_cast<int64_t>(drive->nowUs() / 1000);
    estimate.add(p, nowMs);
    if (p.phase == UpdatePhase::Programming && p.bytesTotal > 0) {
      samples.push_back({nowMs, static_cast<double>(p.bytesDone) / static_cast<double>(p.bytesTotal),
                         estimate.remainingMs()});
    }
    if (p.phase == UpdatePhase::Verifying && programmingEndMs < 0) programmingEndMs = nowMs;
  };

  ASSERT_EQ(RunFirmwareUpdate(kFirmware, *programmer, hooks).result, UpdateResult::VerifyOk);
  ASSERT_GT(programmingEndMs, 0);
  int checked = 0;
  for (const Sample& s : samples) {
    if (s.fraction < 0.1 || s.fraction >= 1.0) continue;
    const double truth = static_cast<double>(programmingEndMs - s.atMs);
    ASSERT_GE(s.remainingMs, 0) << "known from a tenth of the pass on; at " << s.fraction << " after "
                                << s.atMs - samples.front().atMs << " ms of "
                                << programmingEndMs - samples.front().atMs;
    EXPECT_LE(std::abs(static_cast<double>(s.remainingMs) - truth), 0.2 * truth + 50)
        << "at " << s.fraction * 100 << " %: " << s.remainingMs << " ms estimated, " << truth << " ms true";
    ++checked;
  }
  EXPECT_GT(checked, 20);
  CloseLink();
  sim::unregisterSimulatedDrive(kDevice);
}

// The time left of the whole update, from the plan of the file's bytes and the line's rates, against
// the time the update really took on the simulated drive's clock: known from the first report on,
// and within 20 % once a tenth of the image's bytes is programmed, through every step to the end.
class WholeUpdateTimeLeft : public ::testing::TestWithParam<bool> {};

TEST_P(WholeUpdateTimeLeft, IsWithinTwentyPercentFromTheFirstTenthOfTheBytes) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  const bool readBack = GetParam();
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.flashGeometry = "F28335";
  const std::string device = std::string("sim:whole-estimate-") + (readBack ? "rb" : "sum");
  auto drive = sim::registerSimulatedDrive(device, config);
  ScopedSleeper sleeper(drive->sleeper());
  ASSERT_TRUE(OpenLink(device));
  PRG_SetOptions(nullptr, "PrgSkipBootLoad=NO");
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
  const FirmwareFileCheck check = OpenFirmwareFile(kFirmware);
  ASSERT_EQ(check.problem, FirmwareFileProblem::None);
  UpdatePlan plan;
  for (const FirmwareSectionInfo& section : ProgrammedSections(*check.file)) {
    plan.imageBytes += section.sizeBytes;
    ++plan.sections;
  }
  plan.readBack = readBack;
  UpdateEstimate estimate(plan);
  struct Sample {
    int64_t atMs;
    UpdatePhase phase;
    bool counted;  // a tenth of the image is programmed
    int64_t remainingMs;
  };
  std::vector<Sample> samples;
  bool tenth = false;
  UpdateHooks hooks;
  hooks.readBack = [readBack] { return readBack; };
  hooks.progress = [&](const UpdateProgress& p) {
    const auto nowMs = static_cast<int64_t>(drive->nowUs() / 1000);
    estimate.add(p, nowMs);
    if (p.phase == UpdatePhase::Programming && p.bytesDone * 10 >= plan.imageBytes) tenth = true;
    if (p.phase >= UpdatePhase::Connecting)
      samples.push_back({nowMs, p.phase, tenth, estimate.remainingMs(nowMs)});
  };
  ASSERT_EQ(RunFirmwareUpdate(kFirmware, *programmer, hooks).result, UpdateResult::VerifyOk);
  ASSERT_FALSE(samples.empty());
  // The update ends when it returns: after the pause in which the drive's firmware starts.
  const auto endMs = static_cast<int64_t>(drive->nowUs() / 1000);
  const int64_t startMs = samples.front().atMs;
  int checked = 0;
  for (const Sample& s : samples) {
    const double truth = static_cast<double>(endMs - s.atMs);
    const std::string where = "at " + std::to_string(s.atMs - startMs) + " ms of " +
                              std::to_string(endMs - startMs) + " (" + UpdatePhaseName(s.phase) + ")";
    ASSERT_GE(s.remainingMs, 0) << where;
    // Before the tenth the figure rests on the plan alone; it is still not far off.
    if (!s.counted) {
      EXPECT_LE(std::abs(static_cast<double>(s.remainingMs) - truth), 0.35 * truth + 50) << where;
      continue;
    }
    EXPECT_LE(std::abs(static_cast<double>(s.remainingMs) - truth), 0.2 * truth + 50)
        << where << ": " << s.remainingMs << " ms estimated, " << truth << " ms true";
    ++checked;
  }
  EXPECT_GT(checked, 20);
  CloseLink();
  sim::unregisterSimulatedDrive(device);
}

INSTANTIATE_TEST_SUITE_P(ReadBack, WholeUpdateTimeLeft, ::testing::Bool());

}  // namespace
}  // namespace axtune
