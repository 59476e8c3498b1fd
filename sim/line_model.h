// The serial cable between the host and the drive: bytes in flight in both directions with the
// times they arrive, pacing at the baud rate (a schedule of absolute deadlines per direction, see
// byte_schedule.h), the drive firmware's turnaround, and fault injection.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <vector>

#include "sim/byte_schedule.h"
#include "sim/sim_config.h"

namespace axtune::sim {

// What the drive's side of the line holds, as its UART and the firmware's buffers would: at most
// this many bytes on their way to the drive (written by the host and not yet taken by the drive),
// and at most this many reply bytes not yet sent (plus the reply being queued). A byte written
// while the first is full is lost, as on a line whose receiver overruns; a firmware reply that
// finds the second full is not sent. So no flood makes the drive hold more, or keeps it busy for
// longer than this many bytes' line time once the line is quiet. 512: the longest burst a host
// sends on purpose is a flash kernel packet (256 bytes) right behind its acknowledgement of the
// kernel's last answer (8 bytes).
inline constexpr size_t kLineBufferBytes = 512;

struct TimedByte {
  uint64_t at = 0;  // arrival time, simulated microseconds
  uint8_t byte = 0;
};

class LineModel {
 public:
  explicit LineModel(const SimConfig& config);

  void setFaults(const FaultConfig& faults);
  void setBaudRate(int rate);
  int baudRate() const { return baudRate_; }

  // Host to drive: the bytes leave the host's UART one after another.
  void sendToDrive(const uint8_t* data, size_t n, uint64_t nowUs);
  // Drive to host: one answer the drive produced at `nowUs`. A firmware reply (`isFrameReply`) starts
  // after the firmware's turnaround and is subject to the reply faults (stale frame, delay, split,
  // silence); the processor's boot ROM and flash kernel answer at once, within a byte time.
  // `staleFrame` makes a read reply for another record.
  void sendToHost(const std::vector<uint8_t>& bytes, uint64_t nowUs, bool isFrameReply,
                  const std::function<std::vector<uint8_t>(uint8_t exceptRecord)>& staleFrame);

  // The next byte that reaches the drive by `untilUs`, if any.
  bool popForDrive(uint64_t untilUs, TimedByte& byte);
  uint64_t nextForDriveUs() const;
  size_t queuedForDrive() const { return toDrive_.size(); }
  // The arrival of the first byte on its way to the drive for which `pick` holds (bytes in order of
  // arrival, each offered once); UINT64_MAX when none does.
  uint64_t firstForDriveUs(const std::function<bool(const TimedByte&)>& pick) const;
  // Bytes that have reached the host by `nowUs`.
  size_t availableToHost(uint64_t nowUs) const;
  size_t takeForHost(uint8_t* buffer, size_t n, uint64_t nowUs);
  uint64_t nextForHostUs() const;
  size_t queuedForHost() const { return toHost_.size(); }
  // The earliest that `count` more bytes for the host, the first starting no sooner than `startUs`,
  // can all have arrived: they follow what the line still carries, one byte time each.
  uint64_t earliestForHostUs(uint64_t startUs, size_t count) const;
  uint64_t nthForHostUs(
      size_t n) const;  // arrival of the n-th queued byte (1-based); UINT64_MAX if not queued

  // Bytes lost so far because the drive's side of the line was full (SimConfig::lineBufferBytes).
  uint64_t overrunBytes() const { return overrunBytes_; }

  void clear();  // cable pulled or power lost: everything in flight is gone
  void clearToHost() { toHost_.clear(); }
  void clearToDrive() { toDrive_.clear(); }

 private:
  bool chance(double probability);
  bool rateTooHigh() const;
  uint8_t corrupt(uint8_t byte);

  const SimConfig config_;
  FaultConfig faults_;
  std::mt19937 random_;
  int baudRate_;
  std::deque<TimedByte> toDrive_;
  std::deque<TimedByte> toHost_;
  uint64_t overrunBytes_ = 0;
  ByteSchedule toDriveSchedule_;  // the host's transmitter
  ByteSchedule toHostSchedule_;   // the drive's transmitter
};

}  // namespace axtune::sim
