// The one reader of the drive's live status (records 129 and 131 and the statusword). The status
// bar, the status panel and the trend window are its clients: each says how often it wants a
// reading and whether it wants one now, and the poller reads the drive once for all of them at the
// shortest interval asked for. So opening the trend at a faster rate speeds up the bar and the panel
// instead of adding a second poll on the same line.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>

#include "core/drive_status.h"

namespace axtune {

// One poll as every client receives it.
struct DriveStatusPoll {
  bool ok = false;  // both records were read; false leaves `reading` empty (LinkError says why)
  DriveStatusReading reading;
  // When record 129's reply arrived (or the read gave up), on the monotonic clock and on the wall
  // clock, and how much later record 131's reply did (a moving motor went on meanwhile).
  std::chrono::steady_clock::time_point arrived;
  int64_t utcMs = 0;
  double encoderLagSeconds = 0;
};

class DriveStatusPoller : public QObject {
  Q_OBJECT

 public:
  using Listener = std::function<void(const DriveStatusPoll&)>;

  // The process's poller (GUI thread only). It lives until the program ends.
  static DriveStatusPoller& Instance();

  // A client receives a poll when it is active and its interval has passed since the last one it
  // received. `needsStatusword`: the statusword is read only for polls that go to such a client,
  // which leaves the line to the two records at the fastest rate.
  int addClient(Listener listener, int intervalMs, bool needsStatusword);
  void removeClient(int id);
  void setClientActive(int id, bool active);
  bool clientActive(int id) const;
  void setClientInterval(int id, int intervalMs);

  // True while the timer runs (some client is active); its period is the shortest active interval.
  bool isPolling() const { return timer_.isActive(); }
  int intervalMs() const { return timer_.interval(); }

  // Reads the drive now and hands the poll to `requester` (whatever its interval) and to every
  // other active client that is due. False when the records could not be read, or when a poll is
  // already under way (a nested event loop below a read): transfers never overlap.
  bool pollOnce(int requester = -1);

  // The clock that decides which clients are due and stamps the replies (tests run their own).
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  void setClock(Clock clock);

 private:
  DriveStatusPoller();
  void updateTimer();

  struct Client {
    Listener listener;
    int intervalMs = 100;
    bool needsStatusword = true;
    bool active = false;
    std::chrono::steady_clock::time_point last{};
  };
  bool due(const Client& client, std::chrono::steady_clock::time_point now) const;

  QTimer timer_;
  Clock clock_;
  std::map<int, Client> clients_;
  int nextId_ = 1;
  bool reading_ = false;
};

}  // namespace axtune
