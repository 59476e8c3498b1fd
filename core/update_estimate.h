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

 private:
  UpdatePhase phase_ = UpdatePhase::CheckingFile;
  bool started_ = false;
  int64_t startMs_ = 0;
  uint64_t startBytes_ = 0;
  int64_t lastMs_ = 0;
  uint64_t lastBytes_ = 0;
  uint64_t total_ = 0;
};

// "m:ss", or "h:mm:ss" from an hour on.
std::string DurationText(int64_t ms);

// The figures of a phase that moves bytes, in the current language: "12,345 of 387,598 bytes at
// 115200 baud, about 0:32 left" ("12.345 von 387.598 Bytes mit 115200 Baud, noch etwa 0:32"); the
// time only once the estimate knows it (remainingMs >= 0). Empty for phases without bytes.
std::string UpdateProgressDetail(const UpdateProgress& progress, int64_t remainingMs);

}  // namespace axtune
