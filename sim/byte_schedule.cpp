#include "sim/byte_schedule.h"

namespace axtune::sim {

namespace {
constexpr uint64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
}

void ByteSchedule::setRate(int baudRate, bool paced) {
  if (baudRate > 0 && baudRate != rate_) {
    rate_ = baudRate;
    restart();
  }
  if (paced != paced_) {
    paced_ = paced;
    restart();
  }
}

uint64_t ByteSchedule::dueUs(uint64_t startUs, uint64_t n, int baudRate) {
  if (baudRate <= 0) return startUs;
  const auto rate = static_cast<uint64_t>(baudRate);
  // Rounded up: a byte is never due before its last bit is on the wire.
  return startUs + (n * kBitsPerByte * 1'000'000 + rate - 1) / rate;
}

uint64_t ByteSchedule::next(uint64_t earliestStartUs) {
  if (!paced_) {
    lastDueUs_ = earliestStartUs > lastDueUs_ ? earliestStartUs : lastDueUs_;
    return lastDueUs_;
  }
  // An idle line (or a pause the sender makes) starts a new burst.
  if (count_ == 0 || earliestStartUs > lastDueUs_) {
    startUs_ = count_ == 0 && earliestStartUs < lastDueUs_ ? lastDueUs_ : earliestStartUs;
    count_ = 0;
  }
  ++count_;
  lastDueUs_ = dueUs(startUs_, count_, rate_);
  return lastDueUs_;
}

uint64_t ByteSchedule::peekLast(uint64_t earliestStartUs, uint64_t count) const {
  if (count == 0) return earliestStartUs;
  if (!paced_) return earliestStartUs > lastDueUs_ ? earliestStartUs : lastDueUs_;
  if (count_ == 0 || earliestStartUs > lastDueUs_) {
    const uint64_t start = count_ == 0 && earliestStartUs < lastDueUs_ ? lastDueUs_ : earliestStartUs;
    return dueUs(start, count, rate_);
  }
  return dueUs(startUs_, count_ + count, rate_);
}

}  // namespace axtune::sim
