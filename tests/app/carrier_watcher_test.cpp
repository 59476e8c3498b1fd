#include "app/carrier_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace axtune {
namespace {

using Clock = std::chrono::steady_clock;

// The carrier line and the watcher's notifications, observed from the test thread.
struct Line {
  std::atomic<bool> carrier{false};
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<uint64_t> notified;
  std::vector<Clock::time_point> polls;

  bool probe() {
    std::lock_guard<std::mutex> lock(mutex);
    polls.push_back(Clock::now());
    changed.notify_all();
    return carrier;
  }
  void notify(uint64_t generation) {
    std::lock_guard<std::mutex> lock(mutex);
    notified.push_back(generation);
    changed.notify_all();
  }
  template <typename Pred>
  bool waitFor(Pred pred) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), pred);
  }
};

class CarrierWatcherTest : public ::testing::Test {
 protected:
  Line line_;
  CarrierWatcher watcher_{[this] { return line_.probe(); }, [this](uint64_t g) { line_.notify(g); }};
};

TEST_F(CarrierWatcherTest, ReportsOneChangeAndEnds) {
  watcher_.Start(false);
  EXPECT_TRUE(watcher_.Running());
  line_.carrier = true;
  ASSERT_TRUE(line_.waitFor([&] { return !line_.notified.empty(); }));
  EXPECT_TRUE(watcher_.Accept(line_.notified[0]));
  EXPECT_FALSE(watcher_.Running());
  EXPECT_EQ(line_.notified.size(), 1u);
}

// A terminal without modem lines never changes its carrier: a pulled adapter ends the watch all the
// same, through the gone probe.
TEST_F(CarrierWatcherTest, AGoneDeviceEndsTheWatchWithASteadyCarrier) {
  std::atomic<bool> gone{false};
  watcher_.SetGoneProbe([&gone] { return gone.load(); });
  watcher_.Start(false);
  ASSERT_TRUE(line_.waitFor([&] { return line_.polls.size() >= 2; }));
  EXPECT_TRUE(line_.notified.empty());
  gone = true;
  ASSERT_TRUE(line_.waitFor([&] { return !line_.notified.empty(); }));
  EXPECT_TRUE(watcher_.Accept(line_.notified[0]));
  EXPECT_FALSE(watcher_.Running());
}

TEST_F(CarrierWatcherTest, StopEndsWithoutNotifying) {
  watcher_.Start(false);
  ASSERT_TRUE(line_.waitFor([&] { return line_.polls.size() >= 2; }));
  watcher_.Stop();
  EXPECT_FALSE(watcher_.Running());
  line_.carrier = true;
  EXPECT_TRUE(line_.notified.empty());
}

TEST_F(CarrierWatcherTest, StaleNotificationsAreDropped) {
  watcher_.Start(true);
  line_.carrier = false;
  ASSERT_TRUE(line_.waitFor([&] { return !line_.notified.empty(); }));
  const uint64_t first = line_.notified[0];
  // The notification is still on its way when somebody stops the watcher (a port change, shutdown).
  watcher_.Stop();
  EXPECT_FALSE(watcher_.Accept(first));
  // A new watcher does not make the old notification count either.
  watcher_.Start(false);
  EXPECT_FALSE(watcher_.Accept(first));
  watcher_.Stop();
}

TEST_F(CarrierWatcherTest, WaitsBetweenPolls) {
  // A watcher that spins would poll thousands of times in these few polls' time.
  watcher_.Start(false);
  ASSERT_TRUE(line_.waitFor([&] { return line_.polls.size() >= 6; }));
  watcher_.Stop();
  std::lock_guard<std::mutex> lock(line_.mutex);
  for (size_t i = 1; i < 6; ++i) {
    EXPECT_GE(line_.polls[i] - line_.polls[i - 1], std::chrono::milliseconds(10)) << "poll " << i;
  }
}

TEST_F(CarrierWatcherTest, DestructionStopsARunningWatcher) {
  auto watcher = std::make_unique<CarrierWatcher>([this] { return line_.probe(); },
                                                  [this](uint64_t g) { line_.notify(g); });
  watcher->Start(false);
  watcher.reset();
  line_.carrier = true;
  EXPECT_TRUE(line_.notified.empty());
}

}  // namespace
}  // namespace axtune
