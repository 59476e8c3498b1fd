// The drive's object dictionary and the controlword handling behind it.
#include <algorithm>
#include <iterator>

#include "sim/drive_firmware.h"
#include "sim/record_layout.h"

namespace axtune::sim {

namespace {

using H = ObjectEntry::Home;

constexpr ObjectEntry kObjects[] = {
    {0x6040, 0, 2, false, true, H::Controlword, 0, 0, 0},
    {0x6041, 0, 2, false, false, H::Statusword, 0, 0, 0},
    {0x6060, 0, 1, true, true, H::Mode, 0, 0, 0},
    {0x6061, 0, 1, true, false, H::ModeDisplay, 0, 0, 0},
    {0x6064, 0, 4, true, false, H::Position, 0, 0, 0},
    {0x606C, 0, 4, true, false, H::Velocity, 0, 0, 0},
    {0x6075, 0, 4, false, true, H::Record, kSettingsRecord, kSetMotorCurrent, 7000},
    {0x2061, 0, 2, false, true, H::Record, kSettingsRecord, kSetIdleLevel, 0x3FFF},
    {0x6510, 1, 2, false, true, H::Record, kSettingsRecord, kSetStepsPerRev, 0},
    {0x6085, 0, 4, false, true, H::Record, kSettingsRecord, kSetQuickStopDecel, 0},
    {0x6058, 1, 4, false, true, H::Record, kSettingsRecord, kSetStartStopVelocity, 0},
    {0x2022, 1, 4, true, true, H::SelectedProfile, 0, kProTarget, 0},
    {0x2022, 2, 4, false, true, H::SelectedProfile, 0, kProVelocity, 0},
    {0x2022, 3, 2, false, true, H::SelectedProfile, 0, kProFlags, 0},
    {0x2022, 5, 2, false, true, H::ProfileSelector, 0, 0, kProfileCount - 1},
    {0x2022, 10, 2, false, true, H::SelectedProfile, 0, kProNext, kProfileCount - 1},
    {0x2022, 11, 2, false, true, H::SelectedProfile, 0, kProWait, 0},
    {0x6083, 0, 4, false, true, H::SelectedProfile, 0, kProAccel, 0},
    {0x6084, 0, 4, false, true, H::SelectedProfile, 0, kProDecel, 0},
    {0x6098, 0, 1, false, true, H::Record, kHomingRecord, kHomMethod, 0},
    {0x2024, 3, 4, false, true, H::Record, kHomingRecord, kHomVelocity, 0},
    {0x2024, 6, 4, true, true, H::Record, kHomingRecord, kHomPosition, 0},
    {0x2024, 7, 2, false, true, H::Record, kHomingRecord, kHomCurrent, 0x3FFF},
    {0x2024, 8, 4, false, true, H::Record, kHomingRecord, kHomMaxDistance, 0},
};

constexpr uint8_t kHomingMethods[] = {17, 18, 24, 25, 28, 29, 35, 250, 251};

uint32_t sizeMask(int size) {
  return size >= 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
}

}  // namespace

const ObjectEntry* FindObject(uint16_t index, uint8_t subindex) {
  for (const auto& entry : kObjects) {
    if (entry.index == index && entry.subindex == subindex) return &entry;
  }
  return nullptr;
}

uint16_t* DriveFirmware::objectWords(const ObjectEntry& entry) {
  if (entry.home == H::Record) return &records_[entry.record][entry.word];
  if (entry.home == H::SelectedProfile) return &records_[kFirstProfileRecord + selectedProfile_][entry.word];
  return nullptr;
}

namespace {

uint32_t abortForMissing(uint16_t index) {
  for (const auto& entry : kObjects) {
    if (entry.index == index) return kAbortNoSubindex;
  }
  return kAbortNoObject;
}

}  // namespace

bool DriveFirmware::readObject(uint16_t index, uint8_t subindex, uint32_t& value, uint32_t& abort) {
  const ObjectEntry* entry = FindObject(index, subindex);
  if (!entry) {
    abort = abortForMissing(index);
    return false;
  }
  uint32_t raw = 0;
  switch (entry->home) {
    case H::Record:
    case H::SelectedProfile: {
      const uint16_t* words = objectWords(*entry);
      raw = entry->size == 4 ? words[0] | (uint32_t{words[1]} << 16) : words[0];
      break;
    }
    case H::Controlword:
      raw = controlword_;
      break;
    case H::Statusword:
      raw = statusword();
      break;
    case H::Mode:
    case H::ModeDisplay:
      raw = static_cast<uint8_t>(mode_);
      break;
    case H::Position:
      raw = static_cast<uint32_t>(motion_.position());
      break;
    case H::Velocity:
      raw = static_cast<uint32_t>(static_cast<int32_t>(motion_.velocity()));
      break;
    case H::ProfileSelector:
      raw = selectedProfile_;
      break;
  }
  // Objects shorter than 4 bytes travel zero-extended, as the SDO upload carries them.
  value = raw & sizeMask(entry->size);
  return true;
}

bool DriveFirmware::writeObject(uint16_t index, uint8_t subindex, uint32_t value, uint32_t& abort) {
  const ObjectEntry* entry = FindObject(index, subindex);
  if (!entry) {
    abort = abortForMissing(index);
    return false;
  }
  if (!entry->writable) {
    abort = kAbortReadOnly;
    return false;
  }
  // The value is taken at the object's own size, whatever size the request announced.
  value &= sizeMask(entry->size);
  if (!entry->isSigned && entry->maximum != 0 && value > entry->maximum) {
    abort = kAbortRangeHigh;
    return false;
  }
  if (index == 0x6098 &&
      std::find(std::begin(kHomingMethods), std::end(kHomingMethods), value) == std::end(kHomingMethods)) {
    abort = kAbortRange;
    return false;
  }
  switch (entry->home) {
    case H::Record:
    case H::SelectedProfile: {
      uint16_t* words = objectWords(*entry);
      words[0] = static_cast<uint16_t>(value & 0xFFFF);
      if (entry->size == 4) words[1] = static_cast<uint16_t>(value >> 16);
      return true;
    }
    case H::Controlword:
      applyControlword(static_cast<uint16_t>(value));
      return true;
    case H::Mode:
      mode_ = static_cast<int8_t>(static_cast<uint8_t>(value));
      return true;
    case H::ProfileSelector:
      selectedProfile_ = static_cast<uint16_t>(value);
      return true;
    default:
      abort = kAbortReadOnly;
      return false;
  }
}

void DriveFirmware::applyControlword(uint16_t controlword) {
  const uint16_t previous = controlword_;
  controlword_ = controlword;
  const DriveState before = stateMachine_.state();
  if (stateMachine_.apply(controlword)) {
    // Fault reset: only when the cause is gone does the drive leave the fault state.
    checkSupervision();
    if (stateMachine_.state() == DriveState::Fault && errorNumber_ != 0 &&
        !faultCausePersists(errorNumber_)) {
      stateMachine_.clearFault();
      errorNumber_ = 0;
    }
    return;
  }
  const DriveState after = stateMachine_.state();
  if (before == DriveState::OperationEnabled && after == DriveState::QuickStopActive) motion_.quickStop();
  if (before == DriveState::OperationEnabled && after != DriveState::OperationEnabled &&
      after != DriveState::QuickStopActive) {
    motion_.powerStageOff(kMotionHalted);
  }
  if (after != DriveState::OperationEnabled) {
    setPointAcknowledged_ = false;
    return;
  }
  const bool haltBit = controlword & 0x0100;
  if (haltBit) motion_.halt();
  const bool newSetPoint = (controlword & 0x0010) && !(previous & 0x0010);
  if (newSetPoint && !haltBit) {
    if (mode_ == -1) {
      motion_.startProfile(selectedProfile_);
      setPointAcknowledged_ = true;
    } else if (mode_ == -7) {
      motion_.startHoming();
      setPointAcknowledged_ = true;
    }
  }
  if (!(controlword & 0x0010)) setPointAcknowledged_ = false;
}

}  // namespace axtune::sim
