// Configuration of the simulated QMX10 drive: identity, line, time, fault injection, axis and files.
//
// Two presets cover the usual cases:
//   SimConfig::realTime()  - the GUI demo and qmx-sim: wall-clock time, bytes paced at the baud rate.
//   SimConfig::unitTest()  - tests: virtual time (a read that would time out returns at once and the
//                            simulated clock jumps by the timeout), still paced, so transfers and
//                            motion take their simulated time without costing wall time.
#pragma once

#include <cstdint>
#include <string>

namespace axtune::sim {

enum class TimeMode {
  Real,     // the simulated clock is the steady clock; reads block for real
  Virtual,  // the simulated clock moves only when a read waits, or on advance()/the sleeper
};

// Faults the line injects, decided from a pseudo-random sequence seeded with `seed`, so a run is
// reproducible. Probabilities are 0..1. Byte faults hit both directions; reply faults hit each
// answer the drive firmware gives.
struct FaultConfig {
  uint32_t seed = 1;
  double corruptByte = 0.0;  // a byte has some of its bits flipped
  double dropByte = 0.0;     // a byte is lost
  double staleFrame = 0.0;   // a whole read reply for another record is sent before the answer
  double delayReply = 0.0;   // the answer starts `delayMs` late
  uint32_t delayMs = 200;
  double splitReply = 0.0;  // the answer arrives byte by byte with `splitGapUs` between bytes
  uint32_t splitGapUs = 2000;
  double silence = 0.0;  // the answer is not sent at all

  bool any() const {
    return corruptByte > 0 || dropByte > 0 || staleFrame > 0 || delayReply > 0 || splitReply > 0 ||
           silence > 0;
  }
};

// The simulated mechanics. Positions in steps. Limit switches are active beyond their positions
// (at or below the lower, at or above the upper); the reference switch is a cam between its two
// positions; the mechanical stops lie beyond the limit switches.
struct AxisConfig {
  int32_t startPosition = 0;
  int32_t lowerLimitSwitch = -20000;
  int32_t upperLimitSwitch = 20000;
  int32_t referenceCamLow = 2000;
  int32_t referenceCamHigh = 3000;
  int32_t mechanicalStopLow = -21000;
  int32_t mechanicalStopHigh = 21000;
  bool stopSwitchActive = false;  // the stop switch input; an active stop switch halts motion
};

// How the firmware answers writes where the protocol leaves the reply open. Real drives of the
// family differ here, so every write path is tested against each style.
enum class WordReplyStyle {
  Confirm,  // word index, record, value, checksum
  Echo,     // the request repeated: 0x80 | word index, record, value, checksum
};
enum class RecordReplyStyle {
  Stored,  // the record as the drive now holds it, after its limits
  Echo,    // the words as sent, whatever the drive made of them
};

struct SimConfig {
  // Identification (record 128).
  // 1025 QMX10-BA, 1026 QMX10-PB, 1027 QMX10-CB, 1028 QMX10-ET; 0: the type that carries the
  // processor of flashGeometry (1025 for the F2808, 1028 for the F28335), as a real drive would.
  uint16_t deviceType = 0;
  uint16_t reportedDeviceType() const {
    if (deviceType != 0) return deviceType;
    return flashGeometry == "F28335" ? 1028 : 1025;
  }
  uint8_t firmwareMajor = 4;
  uint8_t firmwareMinor = 1;
  uint16_t firmwareBuild = 7;
  bool testFirmware = false;
  int recordCount = 65;  // parameter records 0..recordCount-1 exist on the line (clamped to 0..127)

  // Line.
  int baudRate = 38400;          // the firmware's rate; the boot ROM autobauds on its own
  bool paced = true;             // bytes take 10 bit times each at the host's baud rate
  uint32_t turnaroundUs = 1000;  // from the last request byte to the first reply byte
  uint32_t frameGapUs = 50000;   // a pause this long inside a request makes the drive start over
  uint32_t bootTimeUs = 200000;  // after power-on or reset the firmware is silent this long
  // A cable too long for fast rates: above this rate (0: none) no byte gets through either way.
  int maxLineBaud = 0;
  // The processor's SCI autobaud (boot ROM and flash kernel alike) does not lock above this rate (0:
  // none): the transceiver's slew rate blurs the edges it measures.
  int maxAutobaud = 0;

  WordReplyStyle wordReply = WordReplyStyle::Confirm;
  RecordReplyStyle recordReply = RecordReplyStyle::Stored;

  TimeMode timeMode = TimeMode::Real;
  FaultConfig faults;
  AxisConfig axis;

  // Environment.
  double supplyVolts = 48.0;
  double ambientCelsius = 25.0;
  uint32_t noiseSeed = 7;  // temperature and voltage noise

  // Processor and files.
  std::string flashGeometry = "F2808";  // "F2808" or "F28335"
  bool factoryFirmware = true;          // the flash holds valid firmware at power-on
  std::string persistentImagePath;      // parameter store kept in this file (empty: memory only)
  std::string flashExportPath;          // writeFlashExport() target
  enum class FlashFormat { ByName, IntelHex, Binary };
  FlashFormat flashExportFormat = FlashFormat::ByName;  // ByName: ".hex" Intel hex, else binary

  static SimConfig realTime() { return SimConfig{}; }
  static SimConfig unitTest() {
    SimConfig config;
    config.timeMode = TimeMode::Virtual;
    return config;
  }
};

// Reply styles by name ("confirm"/"echo", "stored"/"echo"); false for any other name.
bool ParseWordReplyStyle(const std::string& name, WordReplyStyle& style);
bool ParseRecordReplyStyle(const std::string& name, RecordReplyStyle& style);
// Takes the styles from AXTUNE_SIM_WORD_REPLY and AXTUNE_SIM_RECORD_REPLY where they are set, for the
// drives that the GUI and the command-line tool build in; unknown names leave the setting alone.
void ApplyReplyStylesFromEnvironment(SimConfig& config);

}  // namespace axtune::sim
