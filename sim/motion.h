// The simulated axis: a stepper motor that runs the drive's motion profiles (trapezoidal velocity,
// absolute or relative, chained with or without stop, with waiting times) and its homing methods,
// against limit switches, a reference cam, a stop switch and mechanical stops. The firmware sees a
// switch only through a DE input whose function (record 3) is that switch's.
//
// Positions are kept twice: the physical position on the mechanics (where the switches are) and
// the position the drive reports, which homing shifts by an offset.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "sim/record_layout.h"
#include "sim/sim_config.h"

namespace axtune::sim {

using RecordTable = std::array<std::array<uint16_t, 15>, 128>;

class Motion {
 public:
  Motion(const AxisConfig& axis, const RecordTable& records);

  // Power-on: the mechanics stay where they are; the drive forgets its reference and its moves.
  void powerOn();
  // Start profile n (0..49) or the homing run configured in record 64.
  void startProfile(int n);
  void startHoming();
  void halt();                               // decelerate with the running move's deceleration
  void quickStop();                          // decelerate with the quick-stop deceleration
  void powerStageOff(uint16_t resultState);  // de-energised: the motor stops where it is
  void setStopSwitch(bool active) { stopSwitch_ = active; }
  // Holds the switch of input function 1..4 (lower limit, upper limit, reference, stop) in a state,
  // as a technician pressing it on the machine does; none gives it back to the mechanics. The
  // firmware still sees it only through an input set to its function.
  void forceSwitch(uint16_t function, std::optional<bool> active);
  void step(uint64_t microseconds);

  int32_t position() const;  // reported position, steps (wraps like the drive's 32-bit counter)
  double physicalPosition() const { return physical_; }
  double velocity() const { return velocity_; }
  int32_t targetPosition() const;
  bool busy() const { return phase_ != Phase::Idle; }
  bool homing() const { return homing_; }
  bool homingAttained() const { return referenced_ == kRefDone && !busy(); }
  uint16_t motionState() const { return motionState_; }
  uint16_t runningProfile() const { return runningProfile_; }
  uint16_t referenced() const { return referenced_; }
  uint16_t switchBits() const;
  uint64_t standstillUs() const { return standstillUs_; }
  // A fault the mechanics caused (running into a mechanical stop), taken once.
  std::optional<uint16_t> takeFault();

 private:
  enum class Phase { Idle, Moving, Waiting, Stopping, HomingSearch };
  struct Move {
    double target = 0, velocity = 0, accel = 0, decel = 0, endVelocity = 0;
  };

  bool planProfile(int n, double basePhysical, double entryVelocity);
  double profileTargetPhysical(int n, double basePhysical) const;
  void finishMove();
  void stepMove(double dt);
  void stepSearch(double dt);
  void stepStopping(double dt);
  void beginStop(double decel, uint16_t resultState, uint16_t referencedAfter);
  void completeHoming(double edgePhysical);
  bool clampToMechanics();
  // The switches as the firmware sees them: only through a DE input set to their function (record 3).
  bool wired(uint16_t function) const;
  bool lowerActive() const;
  bool upperActive() const;
  bool referenceActive() const;
  bool stopActive() const;
  bool edgeVisible() const;  // the homing run's edge is on a switch the firmware can see
  double quickStopDecel() const;
  uint32_t recordLong(int record, int word) const;

  const AxisConfig axis_;
  const RecordTable& records_;
  Phase phase_ = Phase::Idle;
  double physical_ = 0;
  double offset_ = 0;  // reported = physical + offset
  double velocity_ = 0;
  Move move_;
  int runningProfile_ = 0;
  uint16_t motionState_ = kMotionIdle;
  uint16_t referenced_ = kRefNone;
  bool stopSwitch_ = false;
  std::array<std::optional<bool>, 5> forced_{};  // by input function 1..4
  uint64_t waitUs_ = 0;
  uint64_t standstillUs_ = 0;
  uint64_t carryUs_ = 0;
  // Stopping.
  double stopDecel_ = 0;
  uint16_t stopResult_ = kMotionIdle;
  uint16_t stopReferenced_ = kRefNone;
  // Homing.
  bool homing_ = false;
  bool homingReturn_ = false;
  int method_ = 0;
  int searchDirection_ = 1;
  bool reversed_ = false;
  double edge_ = 0;
  double homingStart_ = 0;
  std::optional<uint16_t> fault_;
};

}  // namespace axtune::sim
