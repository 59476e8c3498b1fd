// The direction step's short move: a quarter turn relative at a quarter turn per second, run as the
// drive's last motion profile, which is put back as it was afterwards (with the profile selector),
// so the move leaves no trace in the parameters. No Qt.
#pragma once

#include <cstdint>

#include "link/drive_link.h"

namespace axtune {

class TestMove {
 public:
  static constexpr int kProfile = 49;

  struct Plan {
    int32_t distance = 0;  // steps, positive: the drive's positive direction
    int32_t velocity = 0;  // steps/s
  };
  // A quarter turn at a quarter turn per second (at least 50 steps, 50 steps/s).
  static Plan PlanFor(int stepsPerRevolution);

  // Writes the profile, selects and starts it; false when the drive did not take a part of it (what
  // was changed is put back then).
  bool Start(const Plan& plan, int32_t startPosition);
  bool Running() const { return running_; }
  // One poll while the move runs: true once it is over (finished, cancelled or stopped); the
  // profile is put back then.
  bool Observe(const RecordWords& record131, int32_t position);
  // Puts the profile and the selector back (also when the move is abandoned).
  void Restore();
  int32_t Travelled() const { return lastPosition_ - startPosition_; }

 private:
  RecordWords saved_{};
  int32_t selector_ = -1;
  bool haveSaved_ = false;
  bool running_ = false;
  bool seenRunning_ = false;
  int quietPolls_ = 0;
  int32_t startPosition_ = 0;
  int32_t lastPosition_ = 0;
};

}  // namespace axtune
