#include "core/drive_status.h"

#include <cmath>
#include <cstdio>

#include "link/object_access.h"

namespace axtune {
namespace {

constexpr int kStrInvalid = 32787;          // "ungültig" / "Invalid"
constexpr int kStrSwitchedOnPanel = 32812;  // "Eingeschaltet" / "Switched on"

// Hysteresis steps and scales of the two measured values.
constexpr int kTemperatureStep = 64;  // raw units of 1/128 degree
constexpr int kVoltageStep = 100;     // raw ADC units
constexpr double kTemperatureScale = 128.0;
// ADC full scale 32767 is 3.0 V at the divider's tap; the divider is 102.7 : 2.7.
constexpr double kVoltageScale = 3.0 * 102.7 / 2.7 / 32767.0;

constexpr Rgb kFaultColor{255, 0, 0};
constexpr Rgb kNotReadyColor{0, 50, 0};
constexpr Rgb kReadyColor{0, 100, 0};
constexpr Rgb kStandbyColor{0, 150, 0};
constexpr Rgb kOperationColor{0, 200, 0};
constexpr Rgb kReferencedColor{0, 100, 0};
constexpr Rgb kReferenceFaultColor{150, 0, 0};

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n < 0) return {};
  return std::string(buffer,
                     static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

// Whole units, halves rounded away from zero. printf's "%.0f" rounds halves to even on some C
// libraries and away from zero on others, and every whole degree lands on a half here (see the
// +64 below), so the rounding is spelt out to show the same value on every platform.
long long WholeUnits(double value) {
  return std::llround(value);
}

}  // namespace

long long TemperatureDegrees(int16_t held) {
  return WholeUnits((held + 64) / kTemperatureScale);
}

namespace {

// Device state 3: the status bar's "Standby" and the panel's "Eingeschaltet" / "Switched on" name
// the same state; both show both words, so the two windows never seem to disagree.
std::string SwitchedOnText(Language language) {
  return std::string(Text(kStrSwitchedOnPanel, language)) + " (Standby)";
}

int16_t Signed(uint16_t word) {
  return static_cast<int16_t>(word);
}

// The remembered value follows the new one only when it moved by at least one whole step
// (integer division truncates towards zero, as in the drive's own arithmetic).
void FollowInSteps(int16_t& remembered, int16_t current, int step) {
  if ((static_cast<int>(current) - static_cast<int>(remembered)) / step != 0) remembered = current;
}

void DecodeDeviceState(const RecordWords& r129, std::optional<uint16_t> statusword, Language language,
                       DriveStatusView& view) {
  const uint16_t errorWord = r129[kWordErrorNumber];
  switch (view.deviceState) {
    case 0:
      view.deviceStateColor = kFaultColor;
      view.deviceStateText = errorWord < 10 ? std::string(Text(kStrDeviceErrorBase + errorWord, language))
                                            : Format("Error %d", static_cast<int>(Signed(errorWord)));
      return;
    case 1:
      view.deviceStateColor = kNotReadyColor;
      view.deviceStateText = Text(kStrNotReadyToSwitchOn, language);
      return;
    case 2:
      view.deviceStateColor = kReadyColor;
      view.deviceStateText = Text(kStrReady, language);
      return;
    case 3:
      view.deviceStateColor = kStandbyColor;
      view.deviceStateText = SwitchedOnText(language);
      return;
    default:
      break;
  }
  if (!statusword) {
    // Without the statusword "operation" and "quick stop" cannot be told apart; the bar keeps what
    // it showed rather than guess.
    view.deviceStateKnown = false;
    view.deviceStateColor = kStandbyColor;
    view.deviceStateText = Text(kStrInvalid, language);
  } else if (*statusword & kStatuswordOperationEnabled) {
    view.deviceStateColor = kOperationColor;
    view.deviceStateText = Text(kStrOperation, language);
  } else {
    view.deviceStateColor = kStandbyColor;
    view.deviceStateText = "Quick stop";
  }
}

const char* LimitSwitchBitmap(uint16_t switches) {
  switch (switches & (kBitLowerLimitNotReached | kBitUpperLimitNotReached)) {
    case kBitLowerLimitNotReached:
      return kBitmapUpperLimit;  // only the lower one is clear: the upper one is reached
    case kBitUpperLimitNotReached:
      return kBitmapLowerLimit;
    case kBitLowerLimitNotReached | kBitUpperLimitNotReached:
      return kBitmapGood;
    default:
      return kBitmapWarning;  // both reached (or a broken switch wire)
  }
}

}  // namespace

std::string ProfileText(int state, int number, Language language) {
  switch (state) {
    case 0:
      return Text(kStrProfileNotStarted, language);
    case 1:
      return Format("%s %d", Text(kStrProfileStarted, language), number);
    case 2:
      return Text(kStrProfileFinished, language);
    case 3:
      return Text(kStrProfileCanceled, language);
    case 6:
      return "Quick stop";
    case 7:
      return Text(kStrLimitSwitchReached, language);
    case 8:
      return Text(kStrReferenceInvalid, language);
    default:
      return Format("Error %d", state);
  }
}

DriveStatusMemory& ProcessDriveStatusMemory() {
  static DriveStatusMemory memory;
  return memory;
}

DriveStatusView DecodeDriveStatus(const RecordWords& r129, const RecordWords& r131,
                                  std::optional<uint16_t> statusword, DriveStatusMemory& memory,
                                  Language language) {
  DriveStatusView view;
  view.statusword = statusword;
  view.deviceState = Signed(r129[kWordDeviceState]);
  view.errorNumber = Signed(r129[kWordErrorNumber]);
  view.profileState = Signed(r131[kWordProfileState]);
  view.profileNumber = Signed(r131[kWordProfileNumber]);
  view.referencedState = Signed(r129[kWordReferenced]);

  DecodeDeviceState(r129, statusword, language, view);
  view.profileText = ProfileText(view.profileState, view.profileNumber, language);

  const uint32_t positionBits =
      static_cast<uint32_t>(r129[kWordPositionLow]) | (static_cast<uint32_t>(r129[kWordPositionHigh]) << 16);
  view.position = static_cast<int32_t>(positionBits);
  view.positionText = Format("%d ", static_cast<int>(view.position));

  FollowInSteps(memory.lastTemperature, Signed(r129[kWordTemperature]), kTemperatureStep);
  // The display adds half a degree (64 raw units) before it rounds to whole degrees.
  view.displayedTemperature = (memory.lastTemperature + 64) / kTemperatureScale;
  view.temperatureText = Format("%lld\xC2\xB0", TemperatureDegrees(memory.lastTemperature));
  const int k = memory.lastTemperature / kTemperatureStep;
  const auto red = static_cast<uint8_t>((k + 80) & 0xFF);
  const auto cyan = static_cast<uint8_t>((250 - k) & 0xFF);
  view.temperatureColor = Rgb{red, cyan, cyan};

  FollowInSteps(memory.lastVoltage, Signed(r129[kWordVoltage]), kVoltageStep);
  view.displayedVoltage = memory.lastVoltage * kVoltageScale;
  view.voltageText = Format("%lldV", WholeUnits(view.displayedVoltage));

  const uint16_t switches = r129[kWordSwitches];
  view.limitSwitchBitmap = LimitSwitchBitmap(switches);
  view.upperLimitReached = (switches & kBitUpperLimitNotReached) == 0;
  view.lowerLimitReached = (switches & kBitLowerLimitNotReached) == 0;
  view.referenceSwitch = (switches & kBitReferenceSwitch) != 0;
  view.stopSwitch = (switches & kBitStopSwitch) != 0;
  view.referenceSwitchEnabled = view.referenceSwitch;
  view.stopSwitchEnabled = view.stopSwitch;

  switch (view.referencedState) {
    case 0:
    case 1:
      break;  // the profile pane keeps its background
    case 2:
      view.profileColor = kReferencedColor;
      break;
    default:
      view.profileColor = kReferenceFaultColor;
      break;
  }
  return view;
}

DriveStatusView DecodeDriveStatus(const RecordWords& r129, const RecordWords& r131,
                                  std::optional<uint16_t> statusword, DriveStatusMemory& memory) {
  return DecodeDriveStatus(r129, r131, statusword, memory, CurrentLanguage());
}

bool ReadDriveStatus(DriveStatusReading& reading) {
  if (!ReadRecord(kStatusRecordA, reading.record129)) return false;
  if (!ReadRecord(kStatusRecordB, reading.record131)) return false;
  int32_t value = 0;
  if (ReadObject(0x6041, 0, &value)) {
    reading.statusword = static_cast<uint16_t>(value & 0xFFFF);
  } else {
    reading.statusword.reset();
  }
  return true;
}

// ---- The expert status panel ---------------------------------------------------------------------

namespace {

// Motor current: 16383 is the peak of 20.4545... A; the panel shows the effective value.
constexpr double kCurrentFullScale = 20.454545454545453;
constexpr double kCurrentRaw = 16383.0;
constexpr double kSqrt2 = 1.4142;
constexpr double kPercentRaw = 163.83;  // 16383 = 100 %
constexpr int kFullStepsPerRevolution = 200;

int32_t Long(const RecordWords& r, int low, int high) {
  return static_cast<int32_t>(static_cast<uint32_t>(r[low]) | (static_cast<uint32_t>(r[high]) << 16));
}

void DecodePanelDeviceState(const RecordWords& r129, std::optional<uint16_t> statusword, Language language,
                            StatusPanelView& view) {
  const uint16_t errorWord = r129[kWordErrorNumber];
  switch (Signed(r129[kWordDeviceState])) {
    case 0:
      view.deviceStateLamp = kLampRed;
      view.deviceStateText = errorWord < 10 ? std::string(Text(kStrDeviceErrorBase + errorWord, language))
                                            : Format("Error %d", static_cast<int>(Signed(errorWord)));
      return;
    case 1:
      view.deviceStateLamp = kLampGrey;
      view.deviceStateText = Text(kStrNotReadyToSwitchOn, language);
      return;
    case 2:
      view.deviceStateLamp = kLampGrey;
      view.deviceStateText = Text(kStrReady, language);
      return;
    case 3:
      view.deviceStateLamp = kLampGreen;
      view.deviceStateText = SwitchedOnText(language);
      return;
    default:
      break;
  }
  view.deviceStateLamp = kLampGreen;
  if (!statusword) {
    view.deviceStateKnown = false;
    view.deviceStateText = Text(kStrInvalid, language);
  } else {
    view.deviceStateText = (*statusword & kStatuswordOperationEnabled)
                               ? std::string(Text(kStrOperation, language))
                               : "Quick stop";
  }
}

int PanelProfileLamp(int state, bool blink) {
  switch (state) {
    case 0:
      return kLampGrey;
    case 1:
      return blink ? kLampGrey : kLampGreen;
    case 2:
      return kLampGreen;
    default:
      return kLampRed;
  }
}

std::string StepResolutionText(int steps, Language language) {
  const bool german = language == Language::German;
  if (steps == kFullStepsPerRevolution)
    return Format(german ? "Vollschritt  (%d)" : "Full step  (%d)", steps);
  if (steps == 2 * kFullStepsPerRevolution)
    return Format(german ? "Halbschritt  (%d)" : "Half step  (%d)", steps);
  return Format("1/%g  (%d)", steps / static_cast<double>(kFullStepsPerRevolution), steps);
}

}  // namespace

StatusPanelView DecodeStatusPanel(const RecordWords& r129, const RecordWords& r131,
                                  std::optional<uint16_t> statusword, StatusPanelMemory& memory,
                                  Language language) {
  memory.blink = !memory.blink;
  StatusPanelView view;
  const int deviceState = Signed(r129[kWordDeviceState]);
  DecodePanelDeviceState(r129, statusword, language, view);

  const int profileState = Signed(r131[kWordProfileState]);
  view.profileLamp = PanelProfileLamp(profileState, memory.blink);
  view.profileText = ProfileText(profileState, Signed(r131[kWordProfileNumber]), language);

  view.motorPosition = Long(r129, kWordPositionLow, kWordPositionHigh);
  view.motorPositionText = Format("%d", static_cast<int>(view.motorPosition));
  // Truncated toward zero: 2^30 is 50, -2^31 is -100.
  view.motorPositionBar = static_cast<int>(view.motorPosition / 2147483648.0 * 100.0);
  view.encoderPosition = Long(r131, kWordEncoderLow, kWordEncoderHigh);
  view.encoderPositionText = Format("%d", static_cast<int>(view.encoderPosition));

  // Whole degrees and volts are rounded as in the status bar, so both show the same value.
  int16_t& temperature =
      memory.sharedTemperature != nullptr ? *memory.sharedTemperature : memory.held.lastTemperature;
  FollowInSteps(temperature, Signed(r129[kWordTemperature]), kTemperatureStep);
  view.temperatureText = Format(
      "%lld \xC2\xB0"
      "C",
      TemperatureDegrees(temperature));
  FollowInSteps(memory.held.lastVoltage, Signed(r129[kWordVoltage]), kVoltageStep);
  view.voltageText = Format("%lld V", WholeUnits(memory.held.lastVoltage * kVoltageScale));

  // Current, step resolution, delay and reduced level are counts and levels: unsigned, so a
  // resolution of 51200 steps (1/256) is not shown as a negative number.
  view.currentText = Format("%.2f Aeff", r131[kWordMotorCurrent] / kSqrt2 * kCurrentFullScale / kCurrentRaw);
  view.stepResolutionText = StepResolutionText(r131[kWordStepResolution], language);
  view.currentReductionText =
      Format(language == Language::German ? "%d ms auf %.0f %%" : "%d ms to %.0f %%",
             static_cast<int>(r131[kWordReductionDelay]), r131[kWordReducedCurrent] / kPercentRaw);

  const unsigned level = r129[kWordLevel];
  view.levelBar = static_cast<int>(level * 100 / 32767);
  view.levelText = Format("%.1f %%", level / 32767.0 * 100.0);

  const uint16_t switches = r129[kWordSwitches];
  view.upperLimitLamp = (switches & kBitUpperLimitNotReached) ? kLampGreyRing : kLampRed;
  view.lowerLimitLamp = (switches & kBitLowerLimitNotReached) ? kLampGreyRing : kLampRed;
  view.referenceSwitchLamp = (switches & kBitReferenceSwitch) ? kLampGreen : kLampGrey;
  view.stopSwitchLamp = (switches & kBitStopSwitch) ? kLampRed : kLampGreyRing;
  switch (Signed(r129[kWordReferenced])) {
    case 0:
      view.referencedLamp = kLampGreyRing;
      break;
    case 1:
      view.referencedLamp = kLampGrey;
      break;
    case 2:
      view.referencedLamp = kLampGreen;
      break;
    default:
      view.referencedLamp = kLampRed;
      break;
  }

  view.faultReset.enabled = r129[kWordErrorNumber] != 0;
  view.statuswordKnown = statusword.has_value();
  const bool operationEnabled = statusword && (*statusword & kStatuswordOperationEnabled) != 0;
  view.switchOn.enabled = statusword && *statusword != 0x27;
  view.switchOn.pressed = deviceState > 2;
  view.operation.enabled = deviceState > 2 && operationEnabled;
  view.operation.pressed = deviceState > 3;
  view.quickstop.enabled = deviceState > 3;
  view.quickstop.pressed = !operationEnabled;
  return view;
}

std::string ModeOfOperationText(int32_t mode, Language language) {
  const bool german = language == Language::German;
  switch (mode & 0xFF) {
    case 255:
      return german ? "Lage" : "Position";
    case 249:
      return german ? "Referenzfahrt" : "Homing";
    default:
      return german ? "unbekannt" : "unknown";
  }
}

std::string ModeOfOperationText(int32_t mode) {
  return ModeOfOperationText(mode, Language::German);
}

uint16_t PanelControlword(PanelCommand command, bool pressedAfterClick) {
  switch (command) {
    case PanelCommand::Operation:
      return pressedAfterClick ? 0x0D : 0x05;
    case PanelCommand::SwitchOn:
      return pressedAfterClick ? 0x05 : 0x04;
    case PanelCommand::Quickstop:
      return pressedAfterClick ? 0x09 : 0x0D;
    case PanelCommand::FaultReset:
      break;
  }
  return 0x80;
}

}  // namespace axtune
