// The CiA 402 device state machine of the drive, driven by the controlword.
//
// This drive has no switchable DC link, so controlword bit 1 (enable voltage) is not evaluated.
// Each controlword write takes at most one transition towards the state it commands; that is why
// the host's start sequence 0x000D, 0x000D, 0x001D brings a drive from "switch on disabled" through
// "ready" and "switched on" to "operation enabled" and starts the set point with the third write.
#pragma once

#include <cstdint>

namespace axtune::sim {

enum class DriveState : uint8_t {
  NotReadyToSwitchOn,
  SwitchOnDisabled,
  ReadyToSwitchOn,
  SwitchedOn,
  OperationEnabled,
  QuickStopActive,
  Fault,
};

class StateMachine {
 public:
  DriveState state() const { return state_; }
  // The firmware finished starting.
  void boot() { state_ = DriveState::SwitchOnDisabled; }
  void restart() {
    state_ = DriveState::NotReadyToSwitchOn;
    lastControlword_ = 0;
  }
  // Applies one controlword write. A fault reset (rising bit 7) in the fault state returns true so
  // the firmware can check that the cause is gone; it then calls clearFault().
  bool apply(uint16_t controlword);
  void enterFault() { state_ = DriveState::Fault; }
  void clearFault() {
    if (state_ == DriveState::Fault) state_ = DriveState::SwitchOnDisabled;
  }

  // The device state as record 129 word 14 carries it: 0 fault, 1 not ready to switch on,
  // 2 ready, 3 switched on, 4 operation enabled, 5 quick stop active.
  uint16_t deviceStateCode() const;
  // The state bits 0..6 of the statusword (the firmware adds bits 4, 7 and 9 to 13).
  uint16_t statusBits() const;

 private:
  DriveState state_ = DriveState::NotReadyToSwitchOn;
  uint16_t lastControlword_ = 0;
};

}  // namespace axtune::sim
