#include "link/sleeper.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace axtune {
namespace {

std::mutex& sleeperMutex() {
  static std::mutex mutex;
  return mutex;
}

SleepFunction& installedSleeper() {
  static SleepFunction sleeper;
  return sleeper;
}

}  // namespace

void SleepMs(int milliseconds) {
  SleepFunction sleeper;
  {
    std::lock_guard<std::mutex> lock(sleeperMutex());
    sleeper = installedSleeper();
  }
  if (sleeper) {
    sleeper(milliseconds);
  } else if (milliseconds > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

SleepFunction SetSleeper(SleepFunction sleeper) {
  std::lock_guard<std::mutex> lock(sleeperMutex());
  SleepFunction previous = std::move(installedSleeper());
  installedSleeper() = std::move(sleeper);
  return previous;
}

}  // namespace axtune
