#include "app/drive_status_poller.h"

#include <QDateTime>
#include <algorithm>
#include <vector>

#include "link/drive_link.h"
#include "link/object_access.h"

namespace axtune {

DriveStatusPoller& DriveStatusPoller::Instance() {
  // Made on first use and never destroyed: clients come and go with their windows, and a timer
  // torn down after the application object would warn at exit.
  static auto* poller = new DriveStatusPoller;
  return *poller;
}

void DriveStatusPoller::setClock(Clock clock) {
  clock_ = clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); });
}

DriveStatusPoller::DriveStatusPoller() {
  setClock({});
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { pollOnce(); });
}

int DriveStatusPoller::addClient(Listener listener, int intervalMs, bool needsStatusword) {
  const int id = nextId_++;
  Client& client = clients_[id];
  client.listener = std::move(listener);
  client.intervalMs = std::max(1, intervalMs);
  client.needsStatusword = needsStatusword;
  return id;
}

void DriveStatusPoller::removeClient(int id) {
  clients_.erase(id);
  updateTimer();
}

void DriveStatusPoller::setClientActive(int id, bool active) {
  auto it = clients_.find(id);
  if (it == clients_.end() || it->second.active == active) return;
  it->second.active = active;
  updateTimer();
}

bool DriveStatusPoller::clientActive(int id) const {
  auto it = clients_.find(id);
  return it != clients_.end() && it->second.active;
}

void DriveStatusPoller::setClientInterval(int id, int intervalMs) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  it->second.intervalMs = std::max(1, intervalMs);
  updateTimer();
}

void DriveStatusPoller::updateTimer() {
  int shortest = 0;
  for (const auto& [id, client] : clients_) {
    if (client.active && (shortest == 0 || client.intervalMs < shortest)) shortest = client.intervalMs;
  }
  if (shortest == 0) {
    timer_.stop();
    return;
  }
  if (timer_.interval() != shortest || !timer_.isActive()) timer_.start(shortest);
}

bool DriveStatusPoller::due(const Client& client, std::chrono::steady_clock::time_point now) const {
  // Half a poll period of slack: a client at 100 ms on a 25 ms poll takes every fourth one, not
  // every fifth because one reply came a millisecond early.
  const auto slack = std::chrono::milliseconds(timer_.isActive() ? timer_.interval() / 2 : 0);
  return client.active && now - client.last + slack >= std::chrono::milliseconds(client.intervalMs);
}

bool DriveStatusPoller::pollOnce(int requester) {
  if (reading_) return false;
  const auto start = clock_();
  std::vector<int> recipients;
  bool statusword = false;
  for (const auto& [id, client] : clients_) {
    if (id == requester || due(client, start)) {
      recipients.push_back(id);
      statusword = statusword || client.needsStatusword;
    }
  }
  if (recipients.empty()) return false;

  DriveStatusPoll poll;
  reading_ = true;
  poll.ok = ReadRecord(kStatusRecordA, poll.reading.record129);
  // The time of the reply, not of the request: a slow answer puts its sample where it belongs.
  poll.arrived = clock_();
  poll.utcMs = QDateTime::currentMSecsSinceEpoch();
  if (poll.ok) {
    poll.ok = ReadRecord(kStatusRecordB, poll.reading.record131);
    poll.encoderLagSeconds = std::chrono::duration<double>(clock_() - poll.arrived).count();
  }
  if (poll.ok && statusword) {
    int32_t value = 0;
    if (ReadObject(0x6041, 0, &value)) poll.reading.statusword = static_cast<uint16_t>(value & 0xFFFF);
  }
  reading_ = false;

  for (int id : recipients) {
    // A listener may close its window and remove itself or another client.
    auto it = clients_.find(id);
    if (it == clients_.end()) continue;
    it->second.last = start;
    Listener listener = it->second.listener;
    listener(poll);
  }
  return poll.ok;
}

}  // namespace axtune
