// Decoding of the drive's live status (records 129 and 131 and the statusword 0x6041) into what the
// eight panes of the drive status bar show: texts, colours, bitmaps and enabled states. No Qt, so the
// command-line tool's status output and the GUI's status bar share every rule.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/drive_link.h"
#include "res/strings.h"

namespace axtune {

// An RGB colour as the panes use it.
struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The eight panes of the drive status bar, left to right.
enum DriveStatusPane : int {
  kPaneDeviceState = 0,
  kPaneVoltage = 1,
  kPaneProfile = 2,
  kPanePosition = 3,
  kPaneStopSwitch = 4,
  kPaneLimitSwitches = 5,
  kPaneReference = 6,
  kPaneTemperature = 7,
  kDriveStatusPaneCount = 8,
};

// Bitmap names (matched without regard to case by the bitmap loader).
inline constexpr const char* kBitmapStopLight = "Stophell";
inline constexpr const char* kBitmapStopDark = "Stopdunkel";
inline constexpr const char* kBitmapGood = "Gut";
inline constexpr const char* kBitmapReferenceOn = "Ron";
inline constexpr const char* kBitmapReferenceOff = "R";
inline constexpr const char* kBitmapUpperLimit = "EndschalterOben";
inline constexpr const char* kBitmapLowerLimit = "EndschalterUnten";
inline constexpr const char* kBitmapWarning = "Achtung";

// String ids of the status texts (res/strings_status.inc).
inline constexpr int kStrDeviceErrorBase = 10000;  // 10000 + error number 0..9
inline constexpr int kStrNotReadyToSwitchOn = 32810;
inline constexpr int kStrReady = 32811;
inline constexpr int kStrOperation = 32813;
inline constexpr int kStrProfileNotStarted = 32814;
inline constexpr int kStrProfileStarted = 32815;
inline constexpr int kStrProfileFinished = 32816;
inline constexpr int kStrProfileCanceled = 32817;
inline constexpr int kStrLimitSwitchReached = 32818;
inline constexpr int kStrReferenceInvalid = 32819;

// Record 129 words and bits.
inline constexpr int kWordTemperature = 1;
inline constexpr int kWordVoltage = 2;
inline constexpr int kWordPositionLow = 4;
inline constexpr int kWordPositionHigh = 5;
inline constexpr int kWordSwitches = 8;
inline constexpr int kWordReferenced = 10;
inline constexpr int kWordErrorNumber = 13;
inline constexpr int kWordDeviceState = 14;
inline constexpr uint16_t kBitLowerLimitNotReached = 0x0200;
inline constexpr uint16_t kBitUpperLimitNotReached = 0x0400;
inline constexpr uint16_t kBitReferenceSwitch = 0x0800;
inline constexpr uint16_t kBitStopSwitch = 0x1000;
// Record 131 words.
inline constexpr int kWordProfileState = 0;
inline constexpr int kWordProfileNumber = 1;
// Statusword bit that tells "operation enabled" from "quick stop" in the operational states.
inline constexpr uint16_t kStatuswordOperationEnabled = 0x0020;

// The last displayed raw temperature and voltage. The displayed values follow the raw ones only
// once they moved by a whole step (64 raw units of temperature, 100 of voltage), so the panes do
// not flicker between two neighbouring values.
struct DriveStatusMemory {
  int16_t lastTemperature = 0;
  int16_t lastVoltage = 0;
};

// The process-wide memory the GUI's status bar uses; it lives for the whole run and is never reset,
// also not when another drive is connected. (GUI thread only.)
DriveStatusMemory& ProcessDriveStatusMemory();

// What the panes show after one successful poll.
struct DriveStatusView {
  // Pane 0: device state. deviceStateKnown is false only for an operational state (word 14 above
  // 3) whose statusword could not be read in the same poll; the bar then leaves pane 0 as it was,
  // and the text here is "ungültig" / "Invalid" for front ends that print every poll.
  bool deviceStateKnown = true;
  std::string deviceStateText;
  Rgb deviceStateColor;

  // Pane 1: DC-link voltage, e.g. "48V".
  std::string voltageText;

  // Pane 2: motion profile state. profileColor is empty when the referenced state (0 or 1) leaves
  // the pane's background as it was.
  std::string profileText;
  std::optional<Rgb> profileColor;

  // Pane 3: motor position with a trailing blank, e.g. "-1200 ".
  std::string positionText;

  // Pane 4: stop switch (enabled look when the switch bit is set).
  bool stopSwitchEnabled = false;
  // Pane 5: limit switches; one of kBitmapUpperLimit, kBitmapLowerLimit, kBitmapGood, kBitmapWarning.
  const char* limitSwitchBitmap = kBitmapGood;
  // Pane 6: reference switch (enabled look when the switch bit is set).
  bool referenceSwitchEnabled = false;

  // Pane 7: power-stage temperature, e.g. "35°", on a background that turns from cyan-white to red.
  std::string temperatureText;
  Rgb temperatureColor;

  // The decoded values, for front ends that print rather than paint.
  int deviceState = 0;      // record 129 word 14
  int errorNumber = 0;      // record 129 word 13, signed
  int profileState = 0;     // record 131 word 0, signed
  int profileNumber = 0;    // record 131 word 1, signed
  int32_t position = 0;     // record 129 words 4 (low) and 5 (high)
  int referencedState = 0;  // record 129 word 10, signed
  bool upperLimitReached = false;
  bool lowerLimitReached = false;
  bool referenceSwitch = false;
  bool stopSwitch = false;
  std::optional<uint16_t> statusword;
  double displayedTemperature = 0;  // degrees, as the pane shows it (after the hysteresis)
  double displayedVoltage = 0;      // volts, as the pane shows it (after the hysteresis)
};

// The motion state as the status bar words it ("Fahrauftrag gestartet 3", "Quick stop", "Error 9").
std::string ProfileText(int state, int number, Language language);

// Decodes one poll. `memory` carries the temperature and voltage hysteresis from poll to poll and
// is updated here. `statusword` is empty when its read failed (that does not end the poll).
DriveStatusView DecodeDriveStatus(const RecordWords& r129, const RecordWords& r131,
                                  std::optional<uint16_t> statusword, DriveStatusMemory& memory,
                                  Language language);
// The same in the current language.
DriveStatusView DecodeDriveStatus(const RecordWords& r129, const RecordWords& r131,
                                  std::optional<uint16_t> statusword, DriveStatusMemory& memory);

// One poll's raw inputs.
struct DriveStatusReading {
  RecordWords record129{};
  RecordWords record131{};
  std::optional<uint16_t> statusword;
};

// Reads record 129, record 131 and the statusword over the open drive link, in this order. False
// when either record read fails (LinkError says why; nothing after the failed read is sent); a
// failed statusword read only leaves `statusword` empty.
bool ReadDriveStatus(DriveStatusReading& reading);

// ---- The expert status panel ---------------------------------------------------------------------
// The panel shows the same records in more detail: lamps (shared icons 152 to 155), value texts,
// two bars and the state of four controlword buttons.

// Record 129 word 3 (the level) and record 131 words of the panel.
inline constexpr int kWordLevel = 3;
inline constexpr int kWordMotorCurrent = 2;
inline constexpr int kWordStepResolution = 3;
inline constexpr int kWordEncoderLow = 4;
inline constexpr int kWordEncoderHigh = 5;
inline constexpr int kWordReducedCurrent = 7;
inline constexpr int kWordReductionDelay = 8;

// The lamp icons.
enum StatusLamp : int {
  kLampGrey = 152,
  kLampGreen = 153,
  kLampGreyRing = 154,  // the second grey drawing
  kLampRed = 155,
};

// The panel's memory from tick to tick; it persists while the panel is hidden.
struct StatusPanelMemory {
  DriveStatusMemory held;  // the dead bands of temperature and voltage
  bool blink = false;      // flips every tick
  // The temperature's dead band shared with the status bar (ProcessDriveStatusMemory), so that the
  // two never show different degrees at one moment; null: the panel's own (held).
  int16_t* sharedTemperature = nullptr;
};

// Whole degrees of a held raw temperature (1/128 degree), as the status bar, the panel and the
// trend's readout all show it: half a degree added, then rounded.
long long TemperatureDegrees(int16_t held);

// A push-like button: whether it can be clicked and whether it shows pressed in.
struct PanelButton {
  bool enabled = false;
  bool pressed = false;
};

struct StatusPanelView {
  // Device state (lamp and text). Known is false only for an operational state whose statusword
  // could not be read in the same tick: the panel then leaves lamp and text as they were.
  bool deviceStateKnown = true;
  int deviceStateLamp = kLampGrey;
  std::string deviceStateText;
  // Motion profile state.
  int profileLamp = kLampGrey;
  std::string profileText;

  int32_t motorPosition = 0;
  std::string motorPositionText;
  int motorPositionBar = 0;  // -100..100, the share of the 32-bit range
  int32_t encoderPosition = 0;
  std::string encoderPositionText;
  std::string temperatureText;       // "24 °C"
  std::string voltageText;           // "48 V"
  std::string currentText;           // "1.41 Aeff"
  std::string stepResolutionText;    // "1/16  (3200)"
  std::string currentReductionText;  // "500 ms auf 50 %"
  int levelBar = 0;                  // 0..100 (and beyond for an unsigned word above 32767)
  std::string levelText;             // "12.5 %"

  int upperLimitLamp = kLampGreyRing;
  int lowerLimitLamp = kLampGreyRing;
  int referenceSwitchLamp = kLampGrey;
  int stopSwitchLamp = kLampGreyRing;
  int referencedLamp = kLampGreyRing;

  // Buttons. A rule that needs the statusword leaves the button as it was (statuswordKnown false)
  // when the statusword could not be read.
  bool statuswordKnown = true;
  PanelButton faultReset;  // "Fehler löschen" (pressed is never set)
  PanelButton switchOn;    // "Switch On"
  PanelButton operation;   // "Operation"
  PanelButton quickstop;   // "Quickstop"
};

// Decodes one tick of the panel; flips the blink flag and moves the dead bands in `memory`.
StatusPanelView DecodeStatusPanel(const RecordWords& r129, const RecordWords& r131,
                                  std::optional<uint16_t> statusword, StatusPanelMemory& memory,
                                  Language language);

// The mode-of-operation text for object 0x6061 (8-bit, delivered zero- or sign-extended): "Lage"
// for the profile mode (255), "Referenzfahrt" for homing (249), "unbekannt" otherwise.
std::string ModeOfOperationText(int32_t mode);
// The same in the window's language ("Position", "Homing", "unknown" in English).
std::string ModeOfOperationText(int32_t mode, Language language);

// The panel's buttons and the controlword each writes after its click.
enum class PanelCommand { Operation, SwitchOn, Quickstop, FaultReset };
// The controlword for a button that is pressed in (true) or released (false) by the click.
uint16_t PanelControlword(PanelCommand command, bool pressedAfterClick);

}  // namespace axtune
