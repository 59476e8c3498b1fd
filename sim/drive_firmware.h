// The QMX10 drive firmware: answers the frame protocol byte for byte, keeps the parameter records
// and the identification, computes the live status records, serves the object dictionary through
// record 127, and runs the CiA 402 state machine and the motion of the simulated axis.
// Layouts, objects and error codes: sim/record_layout.h.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sim/byte_device.h"
#include "sim/frame_parser.h"
#include "sim/motion.h"
#include "sim/sim_config.h"
#include "sim/state_machine.h"

namespace axtune::sim {

using Words15 = std::array<uint16_t, 15>;

// CiA 301 abort codes the object channel answers with.
enum AbortCode : uint32_t {
  kAbortCommand = 0x05040001,     // command byte not valid
  kAbortReadOnly = 0x06010002,    // write to a read-only object
  kAbortWriteOnly = 0x06010001,   // read of a write-only object
  kAbortNoObject = 0x06020000,    // object does not exist
  kAbortNoSubindex = 0x06090011,  // subindex does not exist
  kAbortRangeHigh = 0x06090031,   // value too high
  kAbortRange = 0x06090030,       // value out of range
  kAbortState = 0x08000022,       // not possible in the present device state
};

// One entry of the object dictionary and where its value lives.
struct ObjectEntry {
  enum class Home : uint8_t {
    Record,           // words of a parameter record
    SelectedProfile,  // words of the profile record that 0x2022/5 selects
    Controlword,
    Statusword,
    Mode,
    ModeDisplay,
    Position,
    Velocity,
    ProfileSelector,
  };
  uint16_t index;
  uint8_t subindex;
  uint8_t size;  // bytes: 1, 2 or 4
  bool isSigned;
  bool writable;
  Home home;
  uint8_t record;    // Home::Record
  uint8_t word;      // Record and SelectedProfile: the first (low) word
  uint32_t maximum;  // unsigned writes above it are refused (0: the type's range)
};

// The object dictionary; null when the drive has no such object.
const ObjectEntry* FindObject(uint16_t index, uint8_t subindex);

class DriveFirmware : public ByteDevice {
 public:
  explicit DriveFirmware(const SimConfig& config);

  // ---- ByteDevice: the serial line and the passing of time ----
  void onByte(uint8_t byte, std::vector<uint8_t>& out) override;
  void advance(uint64_t microseconds) override;

  // Power-on or reset: parameters from the persistent image, state machine and motion restart; the
  // firmware stays silent for the configured boot time.
  void restart();
  // Called after the reply to sub-command 9 has been queued: the boot ROM takes the line.
  std::function<void()> onEnterBootLoader;

  // ---- Frames and the object channel (also driven directly by tests and the fuzz target) ----
  void handleRequest(const Request& request, std::vector<uint8_t>& out);
  // The record as a read would deliver it now; false when the drive has no such record.
  bool readRecord(int number, Words15& words);
  Words15 objectChannel(const Words15& request);
  // Object access without the channel: true on success, else `abort` holds the abort code.
  bool readObject(uint16_t index, uint8_t subindex, uint32_t& value, uint32_t& abort);
  bool writeObject(uint16_t index, uint8_t subindex, uint32_t value, uint32_t& abort);

  // ---- Environment and faults ----
  void raiseFault(uint16_t errorNumber);
  void setSupplyVolts(double volts) { supplyVolts_ = volts; }
  void setAmbientCelsius(double celsius) { ambientCelsius_ = celsius; }
  void setStopSwitch(bool active) { motion_.setStopSwitch(active); }
  void forceSwitch(uint16_t function, std::optional<bool> active) { motion_.forceSwitch(function, active); }

  // ---- Inspection ----
  const Motion& motion() const { return motion_; }
  const StateMachine& stateMachine() const { return stateMachine_; }
  uint16_t statusword() const;
  uint16_t errorNumber() const { return errorNumber_; }
  int8_t modeDisplay() const { return mode_; }
  double temperatureCelsius() const { return temperature_; }
  bool booting() const { return bootRemainingUs_ > 0; }
  // The firmware's clock and its request assembler as they stand, so that the line can look ahead
  // at the bytes still on their way and tell which of them completes a request (the first byte the
  // firmware can answer) without feeding them.
  uint64_t nowUs() const { return nowUs_; }
  FrameParser requestParser() const { return parser_; }
  int recordCount() const { return recordCount_; }
  RecordTable& records() { return records_; }
  const RecordTable& storedImage() const { return stored_; }
  uint16_t selectedProfile() const { return selectedProfile_; }
  // Where the last store went wrong (empty when it worked).
  const std::string& storeError() const { return storeError_; }
  // Why the parameter image file could not be used at start (empty when it was, or did not exist).
  const std::string& imageWarning() const { return imageWarning_; }

 private:
  uint16_t* objectWords(const ObjectEntry& entry);
  void applyControlword(uint16_t controlword);
  void checkSupervision();
  bool faultCausePersists(uint16_t errorNumber) const;
  Words15 identification() const;
  Words15 status129();
  Words15 status131() const;
  uint16_t motorCurrentRaw() const;
  void store();
  void appendReply(uint8_t record, const Words15& words, std::vector<uint8_t>& out) const;
  static void appendError(uint8_t record, uint8_t code, std::vector<uint8_t>& out);

  SimConfig config_;
  int recordCount_;
  FrameParser parser_;
  RecordTable records_{};
  RecordTable stored_{};  // the persistent image (flash parameter sector)
  Words15 channelReply_{};
  StateMachine stateMachine_;
  Motion motion_;
  uint64_t nowUs_ = 0;
  uint64_t bootRemainingUs_ = 0;
  uint16_t controlword_ = 0;
  int8_t mode_ = -1;
  uint16_t selectedProfile_ = 0;
  uint16_t errorNumber_ = 0;
  bool setPointAcknowledged_ = false;
  double supplyVolts_;
  double ambientCelsius_;
  double temperature_;
  std::mt19937 noise_;
  std::string storeError_;
  std::string imageWarning_;
};

// Fills the parameter records with the drive's factory defaults.
void FillDefaultRecords(RecordTable& records);

// The persistent parameter image in a file: a small header and the 127 parameter records.
bool LoadParameterImage(const std::string& path, RecordTable& records, std::string* error);
bool SaveParameterImage(const std::string& path, const RecordTable& records, std::string* error);

}  // namespace axtune::sim
