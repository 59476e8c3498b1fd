// Single-word writes against the ways a drive may answer them. The six reply bytes are read in full
// and not examined, so a drive that repeats the request and one that confirms with the bare word index
// must both work, including where the repeated request starts like an error reply (0x80 | index).
#include <gtest/gtest.h>

#include "frame_test_support.h"
#include "link/drive_link.h"

namespace axtune::test {
namespace {

enum class WordReply { Confirm, Echo };

std::string StyleName(const ::testing::TestParamInfo<WordReply>& info) {
  return info.param == WordReply::Echo ? "Echo" : "Confirm";
}

Bytes WordRequest(int index, uint8_t record, uint16_t value) {
  Bytes frame{static_cast<uint8_t>(0x80 | index), record, static_cast<uint8_t>(value & 0xFF),
              static_cast<uint8_t>(value >> 8)};
  const uint16_t sum = FrameChecksum(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(sum & 0xFF));
  frame.push_back(static_cast<uint8_t>(sum >> 8));
  return frame;
}

Bytes WordReplyIn(WordReply style, int index, uint8_t record, uint16_t value) {
  Bytes reply = WordRequest(index, record, value);
  if (style == WordReply::Confirm) {
    reply[0] = static_cast<uint8_t>(index);
    const uint16_t sum = FrameChecksum(reply.data(), 4);
    reply[4] = static_cast<uint8_t>(sum & 0xFF);
    reply[5] = static_cast<uint8_t>(sum >> 8);
  }
  return reply;
}

class WordReplyStyles : public FakeLinkTest, public ::testing::WithParamInterface<WordReply> {};

TEST_P(WordReplyStyles, SixBytesInTheStyleAreASuccessfulWrite) {
  // Index 0 repeated is 0x80: the shape of an error reply with code 0, which must not end the wait.
  const struct {
    int index;
    uint8_t record;
    uint16_t value;
  } writes[] = {{0, 2, 0x0080}, {7, 2, 0x1234}, {14, 127, 0}, {5, 64, 0xFFFF}};
  for (const auto& w : writes) {
    SCOPED_TRACE(w.index);
    line_->reset();
    LinkError = 3;
    line_->expect(WordRequest(w.index, w.record, w.value),
                  WordReplyIn(GetParam(), w.index, w.record, w.value));
    EXPECT_TRUE(WriteWords(w.record, w.index, w.value));
    EXPECT_EQ(LinkError, 3);  // a success leaves the last failure's code alone
    EXPECT_EQ(line_->timeouts(), 0);
    EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();
  }
}

TEST_P(WordReplyStyles, StaleBytesBeforeTheRequestDoNotSpoilTheReply) {
  // An error header and part of a frame from an earlier, abandoned transfer.
  line_->feed({0xD0, 0x02, 0x07, 0x02, 0x34});
  line_->expect(WordRequest(7, 2, 0x1234), WordReplyIn(GetParam(), 7, 2, 0x1234));
  EXPECT_TRUE(WriteWords(2, 7, 0x1234));
  EXPECT_EQ(LinkError, kLinkNoError);
  EXPECT_EQ(line_->pendingBytes(), 0u);
}

TEST_P(WordReplyStyles, AReplyCutShortFailsAfterOneTimeout) {
  for (size_t cut : {size_t{1}, size_t{2}, size_t{5}}) {
    SCOPED_TRACE(cut);
    line_->reset();
    Bytes reply = WordReplyIn(GetParam(), 0, 2, 1);
    reply.resize(cut);
    line_->expect(WordRequest(0, 2, 1), reply);
    const uint64_t start = line_->clockUs();
    EXPECT_FALSE(WriteWords(2, 0, 1));
    EXPECT_EQ(LinkError, 4);  // the first byte has code 0 in both styles
    EXPECT_EQ(line_->timeouts(), 1);
    EXPECT_LE(line_->clockUs() - start, 1006u * 1000);
  }
}

INSTANTIATE_TEST_SUITE_P(Drives, WordReplyStyles, ::testing::Values(WordReply::Confirm, WordReply::Echo),
                         StyleName);

using WordErrorReplies = FakeLinkTest;

TEST_F(WordErrorReplies, OnlyAnErrorCodeNoReplyCanStartWithEndsTheWaitEarly) {
  for (int code = 0; code < 8; ++code) {
    SCOPED_TRACE(code);
    line_->reset();
    line_->expect(WordRequest(3, 4, 9), ErrorReply(4, code));
    EXPECT_FALSE(WriteWords(4, 3, 9));
    EXPECT_EQ(LinkError, LinkErrorForDriveCode(code));
    // Code 0 reads as the start of a repeated request for word 0, so the wait runs its course.
    EXPECT_EQ(line_->timeouts(), code == 0 ? 1 : 0);
  }
  EXPECT_TRUE(IsUnmistakableErrorHeader(0x90));
  EXPECT_FALSE(IsUnmistakableErrorHeader(0x8E));  // word 14 repeated
  EXPECT_FALSE(IsUnmistakableErrorHeader(0x0E));  // word 14 confirmed
}

}  // namespace
}  // namespace axtune::test
