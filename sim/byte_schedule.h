// When the bytes of one direction of a serial line are due. A burst of bytes that starts on an idle
// line has its n-th byte due at start + n byte times (10 bits a byte at 8N1), each computed from the
// start of the burst, so rounding a byte time to whole microseconds never adds up and nothing
// depends on when anyone looked: a reader that comes late finds everything that was due by then.
// The schedule only hands out times; it never waits. Times are microseconds on any clock.
#pragma once

#include <cstdint>

namespace axtune::sim {

class ByteSchedule {
 public:
  // Unpaced: every byte is due at the earliest time it is handed over.
  void setRate(int baudRate, bool paced);
  int rate() const { return rate_; }

  // The time at which the line has finished carrying the next byte, which can start no earlier than
  // `earliestStartUs`; a byte handed over while the line is still busy follows the one before it.
  uint64_t next(uint64_t earliestStartUs);
  // What next() would return for the last of `count` more bytes handed over together, none of them
  // earlier than `earliestStartUs`, without scheduling them. Handing them over later, or with
  // pauses between them, only makes that later.
  uint64_t peekLast(uint64_t earliestStartUs, uint64_t count) const;
  // When the line is free again (the end of the last byte scheduled).
  uint64_t freeAtUs() const { return lastDueUs_; }
  // Forgets the current burst (a rate change, a cable pulled): the next byte starts a new one.
  void restart() { count_ = 0; }

  // The end of byte `n` (1-based) of a burst that starts at `startUs`, at `baudRate`.
  static uint64_t dueUs(uint64_t startUs, uint64_t n, int baudRate);

 private:
  int rate_ = 38400;
  bool paced_ = true;
  uint64_t startUs_ = 0;
  uint64_t count_ = 0;  // bytes of the current burst
  uint64_t lastDueUs_ = 0;
};

}  // namespace axtune::sim
