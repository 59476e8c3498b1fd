#include "app/carrier_watcher.h"

#include <chrono>
#include <utility>

namespace axtune {

CarrierWatcher::CarrierWatcher(CarrierProbe probe, Notify notify, int pollMs)
    : probe_(std::move(probe)), notify_(std::move(notify)), pollMs_(pollMs) {}

CarrierWatcher::~CarrierWatcher() {
  Stop();
}

void CarrierWatcher::Start(bool carrierAtIdentification) {
  Stop();
  std::lock_guard<std::mutex> lock(mutex_);
  stopRequested_ = false;
  running_ = true;
  const uint64_t generation = ++generation_;
  thread_ = std::thread(&CarrierWatcher::Run, this, generation, carrierAtIdentification);
}

void CarrierWatcher::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopRequested_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool CarrierWatcher::Running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

bool CarrierWatcher::Accept(uint64_t generation) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (generation != generation_ || stopRequested_) return false;
  }
  // The watcher ends right after notifying, so this join is short.
  if (thread_.joinable()) thread_.join();
  return true;
}

void CarrierWatcher::Run(uint64_t generation, bool carrierAtIdentification) {
  bool changed = false;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopRequested_) {
    lock.unlock();
    changed = probe_() != carrierAtIdentification || (gone_ && gone_());
    lock.lock();
    if (changed || stopRequested_) break;
    wake_.wait_for(lock, std::chrono::milliseconds(pollMs_), [this] { return stopRequested_; });
  }
  const bool notify = changed && !stopRequested_;
  running_ = false;
  lock.unlock();
  if (notify) notify_(generation);
}

}  // namespace axtune
