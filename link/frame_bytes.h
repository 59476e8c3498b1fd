// Little-endian 16-bit words in byte buffers, with the offset checked against the buffer's size.
// Frames are small fixed arrays, but every access still goes through here so that a wrong offset
// shows up as a zero word instead of a read or write past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace axtune {

inline uint16_t LoadLe16(std::span<const uint8_t> bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return 0;
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline void StoreLe16(std::span<uint8_t> bytes, size_t offset, uint16_t value) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return;
  bytes[offset] = static_cast<uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace axtune
