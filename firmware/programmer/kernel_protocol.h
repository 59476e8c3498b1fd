// The packet protocol to the flash kernel: framing, acknowledgements and sequence numbers, and the
// operations built on it (ping, erase, write, read, verify). Each returns PRG_DONE or PRG_FAILED.
#pragma once

#include <cstddef>
#include <cstdint>

namespace axtune::prg {

inline constexpr size_t kMaxPacketData = 248;
inline constexpr size_t kPacketHeader = 8;
inline constexpr size_t kCommandBlock = 20;
inline constexpr uint32_t kWriteChunkBytes = 228;  // 114 words: with the command block a full packet
inline constexpr uint32_t kReadChunkBytes = 226;   // 113 words: with the status a response fits

enum KernelCommand : uint16_t {
  kCommandPing = 0x0001,
  kCommandMemWrite = 0x0002,
  kCommandMemRead = 0x0003,
  kCommandErase = 0x000A,
  kCommandFlashWrite = 0x000B,
  kCommandVerify = 0x000C,
  kCommandFlashRead = 0x000D,
};

// n data bytes out as one packet; n on success, 0 when it was not acknowledged (or was rejected).
size_t SendPacket(const uint8_t* data, size_t n);
// One kernel packet in; its data length, 0 when nothing valid came (the buffer then is untouched).
size_t ReceivePacket(uint8_t* buffer, size_t max);

int PingKernel();
// A ping that waits for the acknowledgement with one read only (a fraction of a second), to find out
// whether a kernel from an earlier session still runs before the boot ROM is autobauded.
int ProbeRunningKernel();
// 256 zero bytes, time for them to arrive and be answered, then a purge: a kernel that an earlier
// session left in the middle of a packet has its packet completed and waits for the next one.
void FlushPartialPacket();
int EraseFlash();
int WriteWords(uint16_t command, uint32_t address, uint16_t page, uint32_t byteCount, const uint16_t* words);
int ReadWords(uint16_t command, uint32_t address, uint16_t page, uint32_t byteCount, uint16_t* words);
int VerifyFlash(uint32_t address, uint16_t page, uint32_t byteCount, const uint16_t* words);

}  // namespace axtune::prg
