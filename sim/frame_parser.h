// Assembles the host's request frames from single bytes, as the drive firmware's receive interrupt
// does. Bytes that cannot start a request (the three "A" characters sent after opening, noise) are
// skipped; a pause of more than the frame gap inside a request drops the partial frame, so a lost
// byte costs one request and never shifts every frame after it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace axtune::sim {

struct Request {
  enum class Kind { ReadRecord, WriteRecord, WriteWord };
  Kind kind = Kind::ReadRecord;
  uint8_t record = 0;
  uint8_t wordIndex = 0;             // WriteWord
  std::array<uint16_t, 15> words{};  // WriteRecord: 15 words; WriteWord: words[0] = value
  bool checksumOk = true;            // write frames carry a checksum
};

class FrameParser {
 public:
  explicit FrameParser(uint64_t frameGapUs = 50000) : frameGapUs_(frameGapUs) {}

  // One byte arriving at time `nowUs`; returns a request when this byte completes one.
  std::optional<Request> feed(uint8_t byte, uint64_t nowUs);
  void reset() { length_ = 0; }
  bool idle() const { return length_ == 0; }

  // The number of bytes a frame with this control byte has, or 0 when it cannot start a request.
  static size_t frameLength(uint8_t controlByte);

 private:
  Request decode() const;

  uint64_t frameGapUs_;
  uint64_t lastByteUs_ = 0;
  std::array<uint8_t, 34> buffer_{};
  size_t length_ = 0;
};

// The 34-byte whole-record reply: header 0x0F and record, 15 words, checksum over header word and words.
void AppendRecordReply(uint8_t record, const std::array<uint16_t, 15>& words, std::vector<uint8_t>& out);

// Little-endian helpers for frames, bounds checked by the caller's fixed sizes.
inline uint16_t LoadWord(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}
inline void StoreWord(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value & 0xFF);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace axtune::sim
