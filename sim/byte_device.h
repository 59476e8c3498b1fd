// Something on the drive's side of the serial line that consumes the bytes the host sends and
// produces reply bytes: the drive firmware, the processor's boot ROM, the flash kernel.
#pragma once

#include <cstdint>
#include <vector>

namespace axtune::sim {

class ByteDevice {
 public:
  virtual ~ByteDevice() = default;
  // One byte from the host; reply bytes are appended to `out` (the line model paces them).
  virtual void onByte(uint8_t byte, std::vector<uint8_t>& out) = 0;
  // The host changed its baud rate; devices that autobaud lock on the next "A".
  virtual void onHostBaudRate(int /*rate*/) {}
  // Simulated time moves on (motion, temperature drift, erase and program durations).
  virtual void advance(uint64_t /*microseconds*/) {}
};

}  // namespace axtune::sim
