// The pace of status --watch: polls start every interval, counted from the start of one poll to the
// start of the next, so a poll that takes 20 ms of a 100 ms interval still gives ten rows a second.
// A poll that overran a whole interval is followed at once by the next, which starts a new count
// (no burst of polls to catch up).
#pragma once

#include <algorithm>
#include <cstdint>

namespace axtune::cli {

class WatchPacer {
 public:
  explicit WatchPacer(int64_t intervalMs) : intervalMs_(std::max<int64_t>(intervalMs, 0)) {}

  // A poll starts at `nowMs` (any steady clock).
  void pollStarted(int64_t nowMs) {
    // The first poll, or one a whole interval late: the count starts from it. A poll a little late
    // (the sleep woke late) keeps the count, so the lateness does not add up.
    if (!started_ || nowMs >= nextMs_ + intervalMs_) {
      nextMs_ = nowMs + intervalMs_;
    } else {
      nextMs_ += intervalMs_;
    }
    started_ = true;
  }

  // Milliseconds from `nowMs` until the next poll is due (0: at once).
  int64_t waitMs(int64_t nowMs) const { return started_ ? std::max<int64_t>(nextMs_ - nowMs, 0) : 0; }

 private:
  int64_t intervalMs_;
  int64_t nextMs_ = 0;
  bool started_ = false;
};

}  // namespace axtune::cli
