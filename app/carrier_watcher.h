// Watches the carrier (DCD) line of the open port on its own thread and reports one change.
//
// Each Start() runs one watcher: it polls the carrier, waiting at most `pollMs` between polls so that
// an idle connection costs next to no processor time, until the carrier differs from the state seen
// at identification or a stop is requested. On a change it calls `notify` with its generation and
// ends. `notify` must only post the news to the GUI thread; the GUI handles it by identifying the
// drive again, which starts the next watcher.
//
// Stop() sets the request, wakes the watcher and joins it. The watcher never waits for the GUI, so
// stopping can never wait on its own notification; a notification that arrives after a stop (or
// from an earlier watcher) is stale, and Accept() tells the GUI to drop it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace axtune {

class CarrierWatcher {
 public:
  using CarrierProbe = std::function<bool()>;
  using Notify = std::function<void(uint64_t generation)>;

  CarrierWatcher(CarrierProbe probe, Notify notify, int pollMs = 20);
  ~CarrierWatcher();
  CarrierWatcher(const CarrierWatcher&) = delete;
  CarrierWatcher& operator=(const CarrierWatcher&) = delete;

  // Also ends (and notifies) once this says the port's device went away (a USB adapter pulled out,
  // which a port without modem lines would never show on its carrier). Set before Start().
  void SetGoneProbe(std::function<bool()> gone) { gone_ = std::move(gone); }

  // Stops a running watcher, then starts a new one that compares against `carrierAtIdentification`.
  void Start(bool carrierAtIdentification);
  // Requests the watcher to end without notifying and waits until it has ended.
  void Stop();
  // True while the current watcher polls.
  bool Running() const;
  // True when a notification with this generation comes from the current watcher and no stop was
  // requested since; it also reaps the watcher's finished thread.
  bool Accept(uint64_t generation);

 private:
  void Run(uint64_t generation, bool carrierAtIdentification);

  CarrierProbe probe_;
  std::function<bool()> gone_;
  Notify notify_;
  int pollMs_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  uint64_t generation_ = 0;
  bool stopRequested_ = false;
  bool running_ = false;
};

}  // namespace axtune
