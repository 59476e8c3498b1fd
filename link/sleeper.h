// Every fixed pause of the product (100 ms after closing a port, 3000 ms for a drive whose carrier
// just came on, 2000 ms after storing, the 1000 ms steps of the firmware update, ...) goes through
// this one sleeper, so tests replace it and run at full speed while the product keeps real pauses.
#pragma once

#include <functional>

namespace axtune {

using SleepFunction = std::function<void(int milliseconds)>;

// Sleeps through the installed sleeper (the real clock unless a test installed another).
void SleepMs(int milliseconds);

// Installs a sleeper; an empty function restores the real one. Returns the previous sleeper.
SleepFunction SetSleeper(SleepFunction sleeper);

// Installs a sleeper for one scope (tests).
class ScopedSleeper {
 public:
  explicit ScopedSleeper(SleepFunction sleeper) : previous_(SetSleeper(std::move(sleeper))) {}
  ~ScopedSleeper() { SetSleeper(std::move(previous_)); }
  ScopedSleeper(const ScopedSleeper&) = delete;
  ScopedSleeper& operator=(const ScopedSleeper&) = delete;

 private:
  SleepFunction previous_;
};

}  // namespace axtune
