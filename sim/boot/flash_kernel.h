// The kernel side of the flash kernel's packet protocol, as the stand-in kernel runs it in the
// simulated processor's RAM.
//
// Host packet: 0x01 0x66 0x99, sequence, total length (big-endian, 8 + data), checksum 0x0000, data.
// Every complete host packet is acknowledged with 8 bytes: 0x06 (accepted) or 0x15 (rejected), its
// bytes 1..3, 0x00 0x08, its bytes 6..7. A packet whose total length is below 10 (no command) or above
// 256, or whose checksum field is not 0, is rejected and not executed. A packet that repeats the
// previous sequence number is acknowledged again but not executed a second time (except a ping: a
// host opens every session with one and numbers from 0 again, so a ping is always answered).
// Every executed command gets one response packet: 0x01 0x99 0x66, the kernel's own sequence number
// (0, 1, 2, ...), total length, 0x0000, then a big-endian 16-bit status (below) and, for reads and
// the ping, data. Bytes between packets (acknowledgements from the host, stray zeros) are skipped
// while looking for the next 0x01 0x66 0x99.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/boot/processor_memory.h"

namespace axtune::sim {

// Response statuses of the kernel.
enum KernelStatus : uint16_t {
  kKernelOk = 0x0000,
  kKernelProgramError = 0x8001,  // a word would need a 0 bit set to 1 (not erased)
  kKernelVerifyError = 0x8002,   // the flash sum differs from the sum sent
  kKernelAddressError = 0x8003,  // the range is not flash (flash commands) or not RAM (memory commands)
  kKernelLengthError = 0x8004,   // word count and data disagree, or more words than a packet holds
  kKernelSectorError = 0x8005,   // the erase mask is 0 or names a sector the device does not have
  kKernelCommandError = 0x8006,  // unknown command, or a command block without its 0xFFFF marker
};

class FlashKernel {
 public:
  explicit FlashKernel(ProcessorMemory& memory) : memory_(memory) {}

  // The kernel starts: packet state and sequence numbers from the beginning.
  void start();
  // One byte from the host; acknowledgement and response bytes are appended to `out`.
  void onByte(uint8_t byte, std::vector<uint8_t>& out);

  // Counters for tests.
  uint32_t executedCommands() const { return executed_; }
  uint32_t rejectedPackets() const { return rejected_; }

 private:
  void finishPacket(std::vector<uint8_t>& out);
  void execute(const uint8_t* data, size_t n, std::vector<uint8_t>& out);
  void respond(uint16_t status, const std::vector<uint16_t>& words, std::vector<uint8_t>& out);
  void acknowledge(uint8_t verdict, std::vector<uint8_t>& out) const;
  bool isPing() const;

  ProcessorMemory& memory_;
  std::vector<uint8_t> packet_;  // the packet being received, header included
  size_t expected_ = 0;          // total length of the packet being received, 0 while in the header
  int lastHostSequence_ = -1;
  uint8_t nextSequence_ = 0;
  uint32_t executed_ = 0;
  uint32_t rejected_ = 0;
};

}  // namespace axtune::sim
