// The live side of the drive firmware: power stage (temperature, DC link, motor current),
// supervision and faults, and the status records 129 and 131 computed word by word.
#include <algorithm>
#include <cmath>

#include "sim/drive_firmware.h"
#include "sim/record_layout.h"

namespace axtune::sim {

namespace {

constexpr double kDcLinkFullScale = 3.0 * 102.7 / 2.7;        // volts at raw 32767
constexpr double kPeakCurrentFullScale = 20.454545454545453;  // amperes at raw 16383
constexpr double kUnderVolts = 18.0;
constexpr double kOverVolts = 100.0;
constexpr double kOverTemperature = 80.0;
constexpr double kTemperatureResettable = 75.0;
constexpr double kWarningTemperature = 70.0;
constexpr double kThermalTimeConstantS = 60.0;

uint16_t low(int32_t v) {
  return static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFF);
}
uint16_t high(int32_t v) {
  return static_cast<uint16_t>(static_cast<uint32_t>(v) >> 16);
}

}  // namespace

void DriveFirmware::advance(uint64_t microseconds) {
  nowUs_ += microseconds;
  if (bootRemainingUs_ > 0) {
    if (microseconds < bootRemainingUs_) {
      bootRemainingUs_ -= microseconds;
      return;
    }
    microseconds -= bootRemainingUs_;
    bootRemainingUs_ = 0;
    stateMachine_.boot();
  }
  motion_.step(microseconds);
  if (auto fault = motion_.takeFault()) raiseFault(*fault);

  // The power stage warms with the square of the motor current towards its steady temperature.
  const double amps = motorCurrentRaw() * kPeakCurrentFullScale / 16383.0 / std::sqrt(2.0);
  // The cabinet itself wanders by a few tenths of a degree over ten minutes.
  const double wander =
      0.3 * std::sin(2 * 3.141592653589793 * static_cast<double>(nowUs_ % 600000000) / 600e6);
  const double steady = ambientCelsius_ + wander + 30.0 * (amps / 7.0) * (amps / 7.0);
  const double seconds = microseconds / 1e6;
  temperature_ = steady + (temperature_ - steady) * std::exp(-seconds / kThermalTimeConstantS);
  checkSupervision();
}

bool DriveFirmware::faultCausePersists(uint16_t errorNumber) const {
  switch (errorNumber) {
    case static_cast<uint16_t>(1):
      return supplyVolts_ < kUnderVolts;
    case static_cast<uint16_t>(2):
      return supplyVolts_ > kOverVolts;
    case static_cast<uint16_t>(4):
      return temperature_ > kTemperatureResettable;
    default:
      return false;
  }
}

void DriveFirmware::checkSupervision() {
  if (bootRemainingUs_ > 0 || stateMachine_.state() == DriveState::Fault) return;
  if (supplyVolts_ < kUnderVolts)
    raiseFault(1);
  else if (supplyVolts_ > kOverVolts)
    raiseFault(2);
  else if (temperature_ >= kOverTemperature)
    raiseFault(4);
}

void DriveFirmware::raiseFault(uint16_t errorNumber) {
  errorNumber_ = errorNumber;
  stateMachine_.enterFault();
  motion_.powerStageOff(kMotionFault);
  setPointAcknowledged_ = false;
}

uint16_t DriveFirmware::statusword() const {
  uint16_t word = stateMachine_.statusBits();
  if (supplyVolts_ >= kUnderVolts) word |= 0x0010;  // voltage enabled
  if (temperature_ >= kWarningTemperature) word |= 0x0080;
  word |= 0x0200;                       // remote: the drive follows the controlword
  if (!motion_.busy()) word |= 0x0400;  // target reached
  const uint16_t switches = motion_.switchBits();
  if (!(switches & kSwLowerNotReached) || !(switches & kSwUpperNotReached)) word |= 0x0800;
  if (mode_ == -7) {
    if (motion_.homingAttained()) word |= 0x1000;
    if (motion_.referenced() == kRefFailed) word |= 0x2000;
  } else {
    if (setPointAcknowledged_) word |= 0x1000;
    if (errorNumber_ == 6) word |= 0x2000;
  }
  return word;
}

uint16_t DriveFirmware::motorCurrentRaw() const {
  const DriveState state = stateMachine_.state();
  if (state != DriveState::OperationEnabled && state != DriveState::QuickStopActive) return 0;
  const auto& settings = records_[kSettingsRecord];
  const double rmsAmps =
      std::min<uint32_t>(settings[kSetMotorCurrent] | (uint32_t{settings[kSetMotorCurrent + 1]} << 16),
                         7000) /
      1000.0;
  double level = 1.0;
  if (motion_.homing()) {
    level = records_[kHomingRecord][kHomCurrent] / 16383.0;
  } else if (!motion_.busy() && motion_.standstillUs() >= uint64_t{settings[kSetIdleDelay]} * 1000) {
    level = settings[kSetIdleLevel] / 16383.0;
  }
  const double raw = rmsAmps * std::sqrt(2.0) * std::min(level, 1.0) / kPeakCurrentFullScale * 16383.0;
  return static_cast<uint16_t>(std::clamp(std::floor(raw + 0.5), 0.0, 16383.0));
}

Words15 DriveFirmware::status129() {
  Words15 w{};
  std::uniform_int_distribution<int> temperatureNoise(-20, 20);
  std::uniform_int_distribution<int> voltageNoise(-25, 25);
  const double temperatureRaw = std::floor(temperature_ * 128.0 + 0.5) + temperatureNoise(noise_);
  const double voltageRaw =
      std::floor(supplyVolts_ / kDcLinkFullScale * 32767.0 + 0.5) + voltageNoise(noise_);
  const int32_t position = motion_.position();
  const auto velocity = static_cast<int32_t>(motion_.velocity());
  const uint16_t switches = motion_.switchBits();

  // Input levels follow the functions the inputs are set to in record 3.
  uint16_t inputs = 0;
  for (int i = 0; i < 10; ++i) {
    const uint16_t function = records_[kInputsRecord][i];
    const bool level = (function == 1 && !(switches & kSwLowerNotReached)) ||
                       (function == 2 && !(switches & kSwUpperNotReached)) ||
                       (function == 3 && (switches & kSwReference)) ||
                       (function == 4 && (switches & kSwStop));
    if (level) inputs |= static_cast<uint16_t>(1u << i);
  }
  uint16_t outputs = 0;
  const DriveState state = stateMachine_.state();
  for (int i = 0; i < 4; ++i) {
    const uint16_t function = records_[kOutputsRecord][i];
    const bool on = (function == 1 && state != DriveState::Fault && state >= DriveState::ReadyToSwitchOn) ||
                    (function == 2 && state == DriveState::OperationEnabled) ||
                    (function == 3 && !motion_.busy()) || (function == 4 && state == DriveState::Fault);
    if (on) outputs |= static_cast<uint16_t>(1u << i);
  }

  w[0] = statusword();
  w[1] = static_cast<uint16_t>(std::clamp(temperatureRaw, 0.0, 32767.0));
  w[2] = static_cast<uint16_t>(std::clamp(voltageRaw, 0.0, 32767.0));
  w[3] = static_cast<uint16_t>(std::min(32767u, motorCurrentRaw() * 32767u / 16383u));
  w[4] = low(position);
  w[5] = high(position);
  w[6] = low(velocity);
  w[7] = high(velocity);
  w[8] = switches;
  w[9] = inputs;
  w[10] = motion_.referenced();
  w[11] = outputs;
  w[12] = controlword_;
  w[13] = errorNumber_;
  w[14] = stateMachine_.deviceStateCode();
  return w;
}

Words15 DriveFirmware::status131() const {
  Words15 w{};
  const auto& settings = records_[kSettingsRecord];
  int32_t encoder = 0;
  if (settings[kSetEncoderCounts] != 0 && settings[kSetStepsPerRev] != 0) {
    const double counts =
        static_cast<double>(motion_.position()) * settings[kSetEncoderCounts] / settings[kSetStepsPerRev];
    encoder = static_cast<int32_t>(static_cast<int64_t>(std::floor(counts + 0.5)));
  }
  const int32_t target = motion_.targetPosition();
  w[0] = motion_.motionState();
  w[1] = motion_.runningProfile();
  w[2] = motorCurrentRaw();
  w[3] = settings[kSetStepsPerRev];
  w[4] = low(encoder);
  w[5] = high(encoder);
  w[6] = static_cast<uint8_t>(mode_);
  w[7] = settings[kSetIdleLevel];
  w[8] = settings[kSetIdleDelay];
  w[9] = low(target);
  w[10] = high(target);
  return w;
}

}  // namespace axtune::sim
