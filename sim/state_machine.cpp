#include "sim/state_machine.h"

namespace axtune::sim {

bool StateMachine::apply(uint16_t controlword) {
  const bool faultReset = (controlword & 0x80) && !(lastControlword_ & 0x80);
  lastControlword_ = controlword;
  using S = DriveState;
  if (state_ == S::Fault || state_ == S::NotReadyToSwitchOn) return state_ == S::Fault && faultReset;

  const bool quickStop = !(controlword & 0x04);
  const bool switchOn = controlword & 0x01;
  const bool enableOperation = controlword & 0x08;
  if (quickStop) {
    if (state_ == S::OperationEnabled)
      state_ = S::QuickStopActive;
    else if (state_ == S::ReadyToSwitchOn || state_ == S::SwitchedOn)
      state_ = S::SwitchOnDisabled;
    return false;
  }
  if (!switchOn) {  // shutdown
    if (state_ == S::QuickStopActive)
      state_ = S::SwitchOnDisabled;
    else
      state_ = S::ReadyToSwitchOn;
    return false;
  }
  switch (state_) {
    case S::SwitchOnDisabled:
      state_ = S::ReadyToSwitchOn;
      break;
    case S::ReadyToSwitchOn:
      state_ = S::SwitchedOn;
      break;
    case S::SwitchedOn:
      if (enableOperation) state_ = S::OperationEnabled;
      break;
    case S::OperationEnabled:
      if (!enableOperation) state_ = S::SwitchedOn;  // disable operation
      break;
    case S::QuickStopActive:
      if (enableOperation) state_ = S::OperationEnabled;
      break;
    default:
      break;
  }
  return false;
}

uint16_t StateMachine::deviceStateCode() const {
  switch (state_) {
    case DriveState::Fault:
      return 0;
    case DriveState::NotReadyToSwitchOn:
    case DriveState::SwitchOnDisabled:
      return 1;
    case DriveState::ReadyToSwitchOn:
      return 2;
    case DriveState::SwitchedOn:
      return 3;
    case DriveState::OperationEnabled:
      return 4;
    case DriveState::QuickStopActive:
      return 5;
  }
  return 1;
}

uint16_t StateMachine::statusBits() const {
  switch (state_) {
    case DriveState::NotReadyToSwitchOn:
      return 0x0000;
    case DriveState::SwitchOnDisabled:
      return 0x0040;
    case DriveState::ReadyToSwitchOn:
      return 0x0021;
    case DriveState::SwitchedOn:
      return 0x0023;
    case DriveState::OperationEnabled:
      return 0x0027;
    case DriveState::QuickStopActive:
      return 0x0007;
    case DriveState::Fault:
      return 0x0008;
  }
  return 0;
}

}  // namespace axtune::sim
