#include "sim/frame_parser.h"

namespace axtune::sim {

size_t FrameParser::frameLength(uint8_t controlByte) {
  if (controlByte == 0x0F) return 2;           // record read
  if (controlByte == 0x8F) return 34;          // record write
  if ((controlByte & 0xF0) == 0x80) return 6;  // single-word write, word index 0..14
  return 0;
}

std::optional<Request> FrameParser::feed(uint8_t byte, uint64_t nowUs) {
  if (length_ > 0 && nowUs - lastByteUs_ > frameGapUs_) length_ = 0;
  lastByteUs_ = nowUs;
  if (length_ == 0 && frameLength(byte) == 0) return std::nullopt;
  buffer_[length_++] = byte;
  if (length_ < frameLength(buffer_[0])) return std::nullopt;
  Request request = decode();
  length_ = 0;
  return request;
}

void AppendRecordReply(uint8_t record, const std::array<uint16_t, 15>& words, std::vector<uint8_t>& out) {
  uint8_t frame[34];
  frame[0] = 0x0F;
  frame[1] = record;
  uint32_t sum = 0x0F + 256u * record;
  for (size_t i = 0; i < 15; ++i) {
    StoreWord(&frame[2 + 2 * i], words[i]);
    sum += words[i];
  }
  StoreWord(&frame[32], static_cast<uint16_t>(sum));
  out.insert(out.end(), frame, frame + 34);
}

Request FrameParser::decode() const {
  Request request;
  request.record = buffer_[1];
  const uint8_t control = buffer_[0];
  if (control == 0x0F) {
    request.kind = Request::Kind::ReadRecord;
    return request;
  }
  uint32_t sum = control + 256u * buffer_[1];
  if (control == 0x8F) {
    request.kind = Request::Kind::WriteRecord;
    for (size_t i = 0; i < 15; ++i) {
      request.words[i] = LoadWord(&buffer_[2 + 2 * i]);
      sum += request.words[i];
    }
    request.checksumOk = static_cast<uint16_t>(sum) == LoadWord(&buffer_[32]);
    return request;
  }
  request.kind = Request::Kind::WriteWord;
  request.wordIndex = control & 0x0F;
  request.words[0] = LoadWord(&buffer_[2]);
  sum += request.words[0];
  request.checksumOk = static_cast<uint16_t>(sum) == LoadWord(&buffer_[4]);
  return request;
}

}  // namespace axtune::sim
