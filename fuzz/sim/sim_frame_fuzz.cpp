// Arbitrary bytes from the host into the drive firmware. Every answer must be a well-formed frame:
// a two-byte error reply, a six-byte word-write reply or a 34-byte record reply, checksums right.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim/drive_firmware.h"

namespace {

uint16_t word(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

void checkReply(const std::vector<uint8_t>& reply) {
  if (reply.empty()) return;
  if (reply.size() == 2) {
    if (!(reply[0] & 0x80)) std::abort();
    return;
  }
  if (reply.size() != 6 && reply.size() != 34) std::abort();
  if (reply[0] & 0x80) std::abort();
  uint32_t sum = reply[0] + 256u * reply[1];
  for (size_t at = 2; at + 2 < reply.size(); at += 2) sum += word(reply, at);
  if (static_cast<uint16_t>(sum) != word(reply, reply.size() - 2)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  axtune::sim::SimConfig config;
  config.bootTimeUs = 0;
  axtune::sim::DriveFirmware drive(config);
  bool bootLoader = false;
  drive.onEnterBootLoader = [&] { bootLoader = true; };
  std::vector<uint8_t> reply;
  for (size_t i = 0; i < size && !bootLoader; ++i) {
    reply.clear();
    drive.onByte(data[i], reply);
    checkReply(reply);
    // Time moves on a little with every byte and a lot every 64, so started moves run.
    drive.advance((i % 64) == 63 ? 50000 : 260);
  }
  for (int r = 0; r < 256; ++r) {
    axtune::sim::Words15 words;
    drive.readRecord(r, words);
  }
  return 0;
}
