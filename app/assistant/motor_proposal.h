// The motor step's proposal: from the rated current on the motor's data sheet, the motor current,
// the idle-current reduction and its delay, each within what the drive takes. No Qt; the limits come
// from the parameter dictionary, so a drive type with other limits only changes the dictionary.
#pragma once

namespace axtune {

// What the drive takes, in the units the pages show.
struct MotorLimits {
  double maxCurrentMa = 0;    // motor current, mA rms
  double maxIdlePercent = 0;  // idle current, % of the motor current
  double maxIdleDelayMs = 0;  // delay before the reduction, ms
};

// The limits of the motor-current, idle-current-level and idle-current-delay entries.
MotorLimits DriveMotorLimits();

struct MotorProposal {
  bool ok = false;         // false: the rated current is no positive number
  int currentMa = 0;       // never above the rated current nor the drive's limit
  double idlePercent = 0;  // of the motor current
  int idleDelayMs = 0;
  bool currentCapped = false;  // the drive cannot give the rated current: it gives its maximum
};

// The rule: the motor runs at its rated current (rounded down to a whole mA) unless the drive gives
// less; at standstill the current drops to half after half a second, which keeps the holding torque
// well above what a stopped axis needs and halves the heat. Each value is clamped to its limit.
MotorProposal ProposeMotorSettings(double ratedCurrentMa, const MotorLimits& limits);

}  // namespace axtune
