#include "sim/motion.h"

#include <algorithm>
#include <cmath>

namespace axtune::sim {

namespace {

constexpr uint64_t kStepUs = 1000;  // the mechanics are integrated in 1 ms steps
constexpr double kStepSeconds = kStepUs / 1e6;

int sign(double v) {
  return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

// Moves `velocity` towards `wanted` with `accel` when speeding up and `decel` when slowing down.
double approach(double velocity, double wanted, double accel, double decel, double dt) {
  if (velocity == wanted) return velocity;
  const bool speedingUp =
      (sign(velocity) == sign(wanted) || velocity == 0) && std::fabs(wanted) > std::fabs(velocity);
  if (speedingUp) {
    const double next = velocity + sign(wanted) * accel * dt;
    return std::fabs(next) > std::fabs(wanted) ? wanted : next;
  }
  const double next = velocity - sign(velocity) * decel * dt;
  if (sign(next) != sign(velocity)) return sign(wanted) == sign(velocity) ? wanted : 0;
  if (sign(wanted) == sign(velocity) && std::fabs(next) < std::fabs(wanted)) return wanted;
  return next;
}

}  // namespace

Motion::Motion(const AxisConfig& axis, const RecordTable& records)
    : axis_(axis), records_(records), physical_(axis.startPosition) {}

void Motion::powerOn() {
  phase_ = Phase::Idle;
  velocity_ = 0;
  offset_ = 0;
  motionState_ = kMotionIdle;
  runningProfile_ = 0;
  referenced_ = kRefNone;
  homing_ = false;
  standstillUs_ = 0;
  fault_.reset();
}

uint32_t Motion::recordLong(int record, int word) const {
  return records_[record][word] | (uint32_t{records_[record][word + 1]} << 16);
}

double Motion::quickStopDecel() const {
  const double d = recordLong(kSettingsRecord, kSetQuickStopDecel) / kAccelerationScale;
  return d > 0 ? d : 1e6;
}

int32_t Motion::position() const {
  const double reported = std::floor(physical_ + offset_ + 0.5);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(reported)));
}

int32_t Motion::targetPosition() const {
  const double reported = std::floor(move_.target + offset_ + 0.5);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(reported)));
}

bool Motion::wired(uint16_t function) const {
  const auto& inputs = records_[kInputsRecord];
  return std::find(inputs.begin(), inputs.begin() + 10, function) != inputs.begin() + 10;
}

void Motion::forceSwitch(uint16_t function, std::optional<bool> active) {
  if (function >= 1 && function < forced_.size()) forced_[function] = active;
}

bool Motion::lowerActive() const {
  return wired(1) && forced_[1].value_or(physical_ <= axis_.lowerLimitSwitch);
}
bool Motion::upperActive() const {
  return wired(2) && forced_[2].value_or(physical_ >= axis_.upperLimitSwitch);
}
bool Motion::referenceActive() const {
  return wired(3) &&
         forced_[3].value_or(physical_ >= axis_.referenceCamLow && physical_ <= axis_.referenceCamHigh);
}
bool Motion::stopActive() const {
  return wired(4) && forced_[4].value_or(stopSwitch_);
}

bool Motion::edgeVisible() const {
  if (method_ == 17) return wired(1);
  if (method_ == 18) return wired(2);
  return wired(3);
}

uint16_t Motion::switchBits() const {
  uint16_t bits = 0;
  if (!lowerActive()) bits |= kSwLowerNotReached;
  if (!upperActive()) bits |= kSwUpperNotReached;
  if (referenceActive()) bits |= kSwReference;
  if (stopActive()) bits |= kSwStop;
  return bits;
}

std::optional<uint16_t> Motion::takeFault() {
  auto fault = fault_;
  fault_.reset();
  return fault;
}

double Motion::profileTargetPhysical(int n, double basePhysical) const {
  const auto& r = records_[kFirstProfileRecord + n];
  const auto target = static_cast<int32_t>(r[kProTarget] | (uint32_t{r[kProTarget + 1]} << 16));
  if (r[kProFlags] & kFlagRelative) return basePhysical + target;
  return target - offset_;
}

bool Motion::planProfile(int n, double basePhysical, double entryVelocity) {
  if (n < 0 || n >= kProfileCount) return false;
  runningProfile_ = n;
  const int record = kFirstProfileRecord + n;
  const auto& r = records_[record];
  move_.target = profileTargetPhysical(n, basePhysical);
  move_.velocity = recordLong(record, kProVelocity) / kVelocityScale;
  move_.accel = recordLong(record, kProAccel) / kAccelerationScale;
  move_.decel = recordLong(record, kProDecel) / kAccelerationScale;
  move_.endVelocity = 0;
  if (move_.velocity <= 0 || move_.accel <= 0 || move_.decel <= 0) return false;
  const uint16_t flags = r[kProFlags];
  const int next = r[kProNext];
  if ((flags & kFlagNext) && (flags & kFlagWithoutStop) && next < kProfileCount) {
    const int nextRecord = kFirstProfileRecord + next;
    const double nextTarget = profileTargetPhysical(next, move_.target);
    // Running on into the next profile only makes sense when it continues the same way.
    if (sign(nextTarget - move_.target) == sign(move_.target - basePhysical)) {
      move_.endVelocity = (flags & kFlagNextVelocity) ? recordLong(nextRecord, kProVelocity) / kVelocityScale
                                                      : move_.velocity;
    }
  }
  velocity_ = entryVelocity;
  phase_ = Phase::Moving;
  motionState_ = kMotionRunning;
  return true;
}

void Motion::startProfile(int n) {
  if (n < 0 || n >= kProfileCount) {
    motionState_ = kMotionInvalid;
    return;
  }
  const bool blending = phase_ == Phase::Moving && !homing_;
  if (homing_) referenced_ = kRefNone;  // a profile started over a homing run ends it unreferenced
  homing_ = false;
  if (stopActive()) {
    motionState_ = kMotionHalted;
    return;
  }
  // A new set point during a move blends into it: a relative distance counts from the old target.
  const double base = blending ? move_.target : physical_;
  const double entry = velocity_;
  if (!planProfile(n, base, entry)) {
    phase_ = velocity_ != 0 ? Phase::Stopping : Phase::Idle;
    motionState_ = kMotionInvalid;
    return;
  }
  // A move further into an active limit switch is refused.
  const int dir = sign(move_.target - physical_);
  if ((dir < 0 && lowerActive()) || (dir > 0 && upperActive())) {
    phase_ = Phase::Idle;
    velocity_ = 0;
    motionState_ = kMotionLimitSwitch;
  }
}

void Motion::startHoming() {
  const auto& r = records_[kHomingRecord];
  method_ = r[kHomMethod];
  move_.velocity = recordLong(kHomingRecord, kHomVelocity) / kVelocityScale;
  move_.accel = recordLong(kHomingRecord, kHomAccel) / kAccelerationScale;
  move_.decel = recordLong(kHomingRecord, kHomDecel) / kAccelerationScale;
  move_.endVelocity = 0;
  homing_ = true;
  homingReturn_ = false;
  reversed_ = false;
  homingStart_ = physical_;
  referenced_ = kRefHoming;
  if (method_ == 35) {
    completeHoming(physical_);
    return;
  }
  const bool valid = move_.velocity > 0 && move_.accel > 0 && move_.decel > 0;
  switch (method_) {
    case 17:
      edge_ = axis_.lowerLimitSwitch;
      searchDirection_ = physical_ > edge_ ? -1 : 1;
      break;
    case 18:
      edge_ = axis_.upperLimitSwitch;
      searchDirection_ = physical_ < edge_ ? 1 : -1;
      break;
    case 24:
      edge_ = axis_.referenceCamLow;
      searchDirection_ = 1;
      break;
    case 25:
      edge_ = axis_.referenceCamHigh;
      searchDirection_ = 1;
      break;
    case 28:
      edge_ = axis_.referenceCamHigh;
      searchDirection_ = -1;
      break;
    case 29:
      edge_ = axis_.referenceCamLow;
      searchDirection_ = -1;
      break;
    case 250:
      edge_ = axis_.mechanicalStopLow;
      searchDirection_ = -1;
      break;
    case 251:
      edge_ = axis_.mechanicalStopHigh;
      searchDirection_ = 1;
      break;
    default:
      edge_ = 0;
      searchDirection_ = 0;
      break;
  }
  if (!valid || searchDirection_ == 0) {
    homing_ = false;
    referenced_ = kRefFailed;
    motionState_ = kMotionInvalid;
    return;
  }
  if (physical_ == edge_ && method_ < 250) {
    completeHoming(edge_);
    return;
  }
  phase_ = Phase::HomingSearch;
}

void Motion::completeHoming(double edgePhysical) {
  offset_ = static_cast<int32_t>(recordLong(kHomingRecord, kHomPosition)) - edgePhysical;
  referenced_ = kRefDone;
  motionState_ = kMotionFinished;
  phase_ = Phase::Idle;
  velocity_ = 0;
  homing_ = false;
}

void Motion::halt() {
  if (phase_ == Phase::Idle || phase_ == Phase::Stopping) return;  // a stop under way keeps its reason
  if (phase_ == Phase::Waiting) {
    phase_ = Phase::Idle;
    motionState_ = kMotionHalted;
    return;
  }
  beginStop(move_.decel > 0 ? move_.decel : quickStopDecel(), kMotionHalted,
            homing_ ? uint16_t{kRefNone} : referenced_);
}

void Motion::quickStop() {
  if (phase_ == Phase::Idle) return;
  beginStop(quickStopDecel(), kMotionQuickStop, homing_ ? uint16_t{kRefNone} : referenced_);
}

void Motion::powerStageOff(uint16_t resultState) {
  if (phase_ == Phase::Idle) return;
  phase_ = Phase::Idle;
  velocity_ = 0;
  motionState_ = resultState;
  if (homing_) referenced_ = kRefNone;
  homing_ = false;
}

void Motion::beginStop(double decel, uint16_t resultState, uint16_t referencedAfter) {
  stopDecel_ = decel;
  stopResult_ = resultState;
  stopReferenced_ = referencedAfter;
  phase_ = Phase::Stopping;
  homing_ = false;
  if (velocity_ == 0) stepStopping(0);
}

void Motion::step(uint64_t microseconds) {
  if (phase_ == Phase::Idle) {
    standstillUs_ += microseconds;
    return;
  }
  carryUs_ += microseconds;
  while (carryUs_ >= kStepUs && phase_ != Phase::Idle) {
    carryUs_ -= kStepUs;
    switch (phase_) {
      case Phase::Moving:
        stepMove(kStepSeconds);
        break;
      case Phase::HomingSearch:
        stepSearch(kStepSeconds);
        break;
      case Phase::Stopping:
        stepStopping(kStepSeconds);
        break;
      case Phase::Waiting:
        if (waitUs_ <= kStepUs) {
          waitUs_ = 0;
          const int next = records_[kFirstProfileRecord + runningProfile_][kProNext];
          if (!planProfile(next, move_.target, 0)) {
            phase_ = Phase::Idle;
            motionState_ = kMotionInvalid;
          }
        } else {
          waitUs_ -= kStepUs;
        }
        break;
      case Phase::Idle:
        break;
    }
    standstillUs_ = velocity_ == 0 ? standstillUs_ + kStepUs : 0;
  }
  if (phase_ == Phase::Idle) carryUs_ = 0;
}

bool Motion::clampToMechanics() {
  if (physical_ < axis_.mechanicalStopLow) {
    physical_ = axis_.mechanicalStopLow;
    return true;
  }
  if (physical_ > axis_.mechanicalStopHigh) {
    physical_ = axis_.mechanicalStopHigh;
    return true;
  }
  return false;
}

void Motion::stepMove(double dt) {
  const double remaining = move_.target - physical_;
  const int dir = sign(remaining);
  if (dir == 0) {
    finishMove();
    return;
  }
  double along = velocity_ * dir;
  if (along < 0) {
    along = std::min(0.0, along + move_.decel * dt);
  } else {
    const double allowed =
        std::sqrt(move_.endVelocity * move_.endVelocity + 2 * move_.decel * std::fabs(remaining));
    double v = along < move_.velocity ? std::min(move_.velocity, along + move_.accel * dt)
                                      : std::max(move_.velocity, along - move_.decel * dt);
    along = std::min(v, allowed);
  }
  velocity_ = along * dir;
  const double next = physical_ + velocity_ * dt;
  if (along >= 0 && (move_.target - next) * dir <= 0) {
    physical_ = move_.target;
  } else {
    physical_ = next;
  }
  if (clampToMechanics()) {
    // The motor stalls against the stop and the encoder falls behind: following error.
    velocity_ = 0;
    phase_ = Phase::Idle;
    motionState_ = kMotionFault;
    fault_ = 6;
    return;
  }
  if (stopActive()) {
    beginStop(quickStopDecel(), kMotionHalted, referenced_);
    return;
  }
  const bool intoLimit = (velocity_ < 0 && lowerActive()) || (velocity_ > 0 && upperActive());
  if (intoLimit && !homing_) {  // the way back to a homing edge may lie on a limit switch
    beginStop(quickStopDecel(), kMotionLimitSwitch, referenced_);
    return;
  }
  if (physical_ == move_.target) finishMove();
}

void Motion::finishMove() {
  if (homing_ && homingReturn_) {
    completeHoming(edge_);
    return;
  }
  const auto& r = records_[kFirstProfileRecord + runningProfile_];
  const uint16_t flags = r[kProFlags];
  const int next = r[kProNext];
  if (!(flags & kFlagNext)) {
    velocity_ = 0;
    phase_ = Phase::Idle;
    motionState_ = kMotionFinished;
    return;
  }
  if (next >= kProfileCount) {
    velocity_ = 0;
    phase_ = Phase::Idle;
    motionState_ = kMotionInvalid;
    return;
  }
  if (flags & kFlagWithoutStop) {
    if (!planProfile(next, move_.target, velocity_)) {
      phase_ = Phase::Stopping;
      stopDecel_ = move_.decel > 0 ? move_.decel : quickStopDecel();
      stopResult_ = kMotionInvalid;
      stopReferenced_ = referenced_;
    }
    return;
  }
  velocity_ = 0;
  if (flags & kFlagWait) {
    waitUs_ = uint64_t{r[kProWait]} * 1000;
    phase_ = Phase::Waiting;
    return;
  }
  if (!planProfile(next, move_.target, 0)) {
    phase_ = Phase::Idle;
    motionState_ = kMotionInvalid;
  }
}

void Motion::stepSearch(double dt) {
  const double before = physical_;
  velocity_ = approach(velocity_, searchDirection_ * move_.velocity, move_.accel, move_.decel, dt);
  physical_ += velocity_ * dt;
  const bool mechanical = method_ == 250 || method_ == 251;
  if (mechanical) {
    if (std::fabs(physical_ - homingStart_) >
        static_cast<double>(recordLong(kHomingRecord, kHomMaxDistance))) {
      beginStop(move_.decel, kMotionReferenceInvalid, kRefFailed);
      return;
    }
    if (clampToMechanics()) completeHoming(physical_);
    return;
  }
  if (edgeVisible() && (before - edge_) * (physical_ - edge_) <= 0 && before != physical_) {
    // Edge found: come back to it and take the reference there.
    homingReturn_ = true;
    move_.target = edge_;
    phase_ = Phase::Moving;
    return;
  }
  if (clampToMechanics()) {
    velocity_ = 0;
    phase_ = Phase::Idle;
    homing_ = false;
    referenced_ = kRefFailed;
    motionState_ = kMotionFault;
    fault_ = 6;
    return;
  }
  const bool atLimit = (velocity_ < 0 && lowerActive()) || (velocity_ > 0 && upperActive());
  if (atLimit) {
    if (!reversed_ && method_ >= 24) {
      reversed_ = true;
      searchDirection_ = -searchDirection_;
    } else if (sign(velocity_) == searchDirection_) {
      beginStop(quickStopDecel(), kMotionLimitSwitch, kRefFailed);
    }
  }
}

void Motion::stepStopping(double dt) {
  const double next = approach(velocity_, 0, stopDecel_, stopDecel_, dt);
  physical_ += (velocity_ + next) / 2 * dt;
  velocity_ = next;
  clampToMechanics();
  if (velocity_ == 0) {
    phase_ = Phase::Idle;
    motionState_ = stopResult_;
    referenced_ = stopReferenced_;
    homing_ = false;
  }
}

}  // namespace axtune::sim
