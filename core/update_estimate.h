// How long the update's current phase still takes, from the rate measured in that phase: the boot
// load, the programming pass and the verify pass each run at their own pace (echoed boot-table bytes,
// acknowledged write packets, one checksum exchange per section), so a rate taken over the whole
// update would be wrong in every phase but the longest.
#pragma once

#include <cstdint>
#include <string>

#include "core/firmware_update.h"

namespace axtune {

class PhaseEstimate {
 public:
  // Takes one progress report at `nowMs` (any steady clock). A new phase starts a new measurement.
  void add(const UpdateProgress& progress, int64_t nowMs);
  // Milliseconds left in the current phase; -1 while nothing is measured yet (the phase's first
  // reports, the erase, which reports no bytes).
  int64_t remainingMs() const;
  // Bytes a second measured in the current phase; 0 while unknown.
  double bytesPerSecond() const;
  UpdatePhase phase() const { return phase_; }
  int64_t lastMs() const { return lastMs_; }

 private:
  UpdatePhase phase_ = UpdatePhase::CheckingFile;
  bool started_ = false;
  int64_t startMs_ = 0;
  uint64_t startBytes_ = 0;
  int64_t lastMs_ = 0;
  uint64_t lastBytes_ = 0;
  uint64_t total_ = 0;
};

// What an update will move, known once the file is checked: the image's bytes and sections, the
// rates in force and whether the flash is read back.
struct UpdatePlan {
  uint64_t imageBytes = 0;
  int sections = 0;
  int bootBaud = kDefaultBootBaud;
  int kernelBaud = kDefaultKernelBaud;
  bool readBack = false;
  uint64_t kernelBytes = 0;  // the flash kernel's boot table; 0: the size of the built-in kernel's
};

// The time left of the whole update, from the first second on: each step still to come (loading
// the flash kernel, erasing, programming, verifying, reading back, restarting, the pause in which
// the drive's firmware starts) is predicted from the
// plan's bytes and rates; the step under way is corrected by its measured rate, and the steps that
// run on the same line later by the ratio of measured to predicted time.
class UpdateEstimate {
 public:
  explicit UpdateEstimate(const UpdatePlan& plan = {}) : plan_(plan) {}
  void setPlan(const UpdatePlan& plan) { plan_ = plan; }
  // The read-back choice may change while the update runs.
  void setReadBack(bool on) { plan_.readBack = on; }
  // One progress report at `nowMs` (any steady clock).
  void add(const UpdateProgress& progress, int64_t nowMs);
  // Milliseconds the update still takes, as seen at `nowMs`.
  int64_t remainingMs(int64_t nowMs) const;
  // Bytes a second of the programming pass so far (0 before it).
  double programmingBytesPerSecond() const { return programRate_.bytesPerSecond(); }

 private:
  enum class Step { Before, Kernel, Erase, Program, Verify, ReadBack, Restart, Done };
  static Step StepOf(const UpdateProgress& progress);
  double predictedMs(Step step) const;
  double leftInStepMs(int64_t nowMs) const;

  UpdatePlan plan_;
  Step step_ = Step::Before;
  int64_t stepStartMs_ = 0;
  PhaseEstimate rate_;         // the step under way, when it moves bytes
  PhaseEstimate programRate_;  // the programming pass, kept for the read-back after it
  uint64_t done_ = 0;
  uint64_t total_ = 0;
  double lineFactor_ = 1.0;  // measured / predicted time of the kernel's line (programming)
};

// "m:ss", or "h:mm:ss" from an hour on.
std::string DurationText(int64_t ms);

// The figures of a phase that moves bytes, in the current language: "12,345 of 387,598 bytes at
// 115200 baud, about 0:32 left" ("12.345 von 387.598 Bytes mit 115200 Baud, noch etwa 0:32"); the
// time only once the estimate knows it (remainingMs >= 0). Empty for phases without bytes.
std::string UpdateProgressDetail(const UpdateProgress& progress, int64_t remainingMs);

}  // namespace axtune
