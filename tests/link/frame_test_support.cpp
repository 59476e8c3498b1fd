#include "frame_test_support.h"

namespace axtune::test {

Bytes RecordFrame(uint8_t control, uint8_t record, const RecordWords& words) {
  Bytes frame{control, record};
  for (uint16_t word : words) {
    frame.push_back(static_cast<uint8_t>(word & 0xFF));
    frame.push_back(static_cast<uint8_t>(word >> 8));
  }
  const uint16_t sum = FrameChecksum(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(sum & 0xFF));
  frame.push_back(static_cast<uint8_t>(sum >> 8));
  return frame;
}

Bytes ReadReply(uint8_t record, const RecordWords& words) {
  return RecordFrame(0x0F, record, words);
}

Bytes ErrorReply(uint8_t record, int driveCode) {
  return {static_cast<uint8_t>(0x80 | (driveCode & 0x07) << 4), record};
}

RecordWords WordsOf(const Bytes& frame) {
  RecordWords words{};
  for (int i = 0; i < kRecordWords && 3 + 2 * i < static_cast<int>(frame.size()); ++i) {
    words[i] = static_cast<uint16_t>(frame[2 + 2 * i] | frame[3 + 2 * i] << 8);
  }
  return words;
}

void FakeLinkTest::SetUp() {
  CloseLink();
  registration_ = std::make_unique<testing::ScopedFakePort>(kDevice, line_);
  ASSERT_TRUE(OpenLink(kDevice));
  line_->reset();  // forget the three "A" characters of the open
  settleLink();
}

void FakeLinkTest::settleLink() {
  line_->reset();
  // One object request the drive answers (one after an unanswered request first reads record 128).
  // Afterwards nothing is owed.
  line_->setResponder([](const Bytes& written) -> Bytes {
    if (written == Bytes{0x0F, 0x80}) return ReadReply(128, RecordWords{});
    if (written.size() == 34 && written[1] == 127) return RecordFrame(0x0F, 127, RecordWords{});
    return {};
  });
  RecordWords probe{};
  ExchangeRecord(127, probe.data());
  line_->setResponder(nullptr);
  line_->reset();
  LinkError = kLinkNoError;
}

void FakeLinkTest::TearDown() {
  CloseLink();
  registration_.reset();
}

}  // namespace axtune::test
