// Object requests through record 127: request words, reply checks, value sizes and signs.
#include <gtest/gtest.h>

#include "frame_test_support.h"
#include "link/late_answers.h"
#include "link/object_access.h"

namespace axtune::test {
namespace {

// The record-127 write frame carrying `words`.
Bytes ObjectRequest(const RecordWords& words) {
  return RecordFrame(0x8F, 127, words);
}

// A reply whose 30 data bytes begin with the 8-byte SDO response.
Bytes SdoReply(uint8_t command, uint16_t index, uint8_t subindex, uint32_t value) {
  RecordWords words{};
  words[0] = static_cast<uint16_t>(command | (index & 0xFF) << 8);
  words[1] = static_cast<uint16_t>(index >> 8 | subindex << 8);
  words[2] = static_cast<uint16_t>(value & 0xFFFF);
  words[3] = static_cast<uint16_t>(value >> 16);
  return RecordFrame(0x0F, 127, words);  // the drive answers a record write with the record's frame
}

Bytes DownloadReply(uint16_t index, uint8_t subindex) {
  return SdoReply(0x60, index, subindex, 0);
}

RecordWords ReadRequestWords(uint16_t index, uint8_t subindex) {
  return {8, 0x40, index, subindex};
}

using ObjectAccessTest = FakeLinkTest;

TEST_F(ObjectAccessTest, WriteObjectRequestWords) {
  struct Case {
    uint16_t index;
    uint8_t subindex;
    int size;
    int32_t value;
    RecordWords words;
  };
  const Case cases[] = {
      {0x6040, 0, 2, 0x80, {7, 0x2B, 0x6040, 0, 0x0080, 0}},
      {0x2022, 2, 4, -1, {7, 0x23, 0x2022, 2, 0xFFFF, 0xFFFF}},
      {0x2022, 2, 4, 838861, {7, 0x23, 0x2022, 2, 0xCCCD, 0x000C}},
      {0x6060, 0, 1, -7, {7, 0x2F, 0x6060, 0, 0xFFF9, 0xFFFF}},  // the sign is carried into word 5
      {0x2000, 0xFF, 3, 0x123456, {7, 0x27, 0x2000, 0xFF, 0x3456, 0x0012}},
  };
  for (const Case& c : cases) {
    line_->reset();
    line_->expect(ObjectRequest(c.words), DownloadReply(c.index, c.subindex));
    EXPECT_TRUE(WriteObject(c.index, c.subindex, c.size, c.value));
    EXPECT_TRUE(line_->allExpectationsMet()) << std::hex << c.index << ": " << line_->mismatches();
  }
}

// Drives answer an object write in their own ways; only an abort of the written object says no.
struct WriteAnswer {
  const char* what;
  Bytes reply;
  bool written;
  uint32_t abortCode;  // LastObjectAbortCode() afterwards
  int linkError;       // -1: left as it was
};

class WriteObjectAnswers : public FakeLinkTest, public ::testing::WithParamInterface<WriteAnswer> {};

TEST_P(WriteObjectAnswers, AnyWholeAnswerCountsButAnAbortOfTheSameObject) {
  const WriteAnswer& c = GetParam();
  line_->expect(ObjectRequest({7, 0x23, 0x6075, 0, 1500}), c.reply);
  LinkError = 0;
  EXPECT_EQ(WriteObject(0x6075, 0, 4, 1500), c.written);
  EXPECT_EQ(LastObjectAbortCode(), c.abortCode);
  EXPECT_EQ(LinkError, c.linkError < 0 ? 0 : c.linkError);
}

Bytes Damaged(Bytes frame, size_t at) {
  frame[at] ^= 0x04;
  return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Styles, WriteObjectAnswers,
    ::testing::Values(
        WriteAnswer{"the request repeated", RecordFrame(0x0F, 127, {7, 0x23, 0x6075, 0, 1500}), true, 0, -1},
        WriteAnswer{"zeros", RecordFrame(0x0F, 127, {}), true, 0, -1},
        WriteAnswer{"an SDO download response", DownloadReply(0x6075, 0), true, 0, -1},
        WriteAnswer{"words of its own", RecordFrame(0x5F, 127, {0x1234, 0xBEEF, 9, 9, 9}), true, 0, -1},
        WriteAnswer{"the confirmation of another object", DownloadReply(0x6041, 0), true, 0, -1},
        WriteAnswer{"an abort naming another object", SdoReply(0x80, 0x6076, 0, 0x06020000), true, 0, -1},
        WriteAnswer{"an abort of this object", SdoReply(0x80, 0x6075, 0, 0x06090031), false, 0x06090031, -1},
        WriteAnswer{"a damaged checksum", Damaged(DownloadReply(0x6075, 0), 33), false, 0, kLinkBadChecksum},
        WriteAnswer{"a damaged record number", Damaged(DownloadReply(0x6075, 0), 1), false, 0,
                    kLinkDamagedReply},
        WriteAnswer{"an error reply", ErrorReply(127, 3), false, 0, 7},
        WriteAnswer{"half an answer", Bytes{0x0F, 127, 0x60, 0x75}, false, 0, kLinkShortReply},
        WriteAnswer{"silence", Bytes{}, false, 0, kLinkNoReply}),
    [](const ::testing::TestParamInfo<WriteAnswer>& info) { return "Case" + std::to_string(info.index); });

TEST_F(ObjectAccessTest, WriteObjectSizesWithoutACommandByteSendNothing) {
  EXPECT_FALSE(WriteObject(0x6040, 0, 0, 1));
  EXPECT_FALSE(WriteObject(0x6040, 0, 5, 1));
  EXPECT_TRUE(line_->written().empty());
}

TEST_F(ObjectAccessTest, ReadObjectValueIsUnmaskedAndNotSignExtended) {
  int32_t value = 0;
  line_->expect(ObjectRequest(ReadRequestWords(0x6061, 0)), SdoReply(0x4F, 0x6061, 0, 0x000000FF));
  ASSERT_TRUE(ReadObject(0x6061, 0, &value));
  EXPECT_EQ(value, 255);

  line_->expect(ObjectRequest(ReadRequestWords(0x2022, 2)), SdoReply(0x43, 0x2022, 2, 0xFFFFFFFE));
  ASSERT_TRUE(ReadObject(0x2022, 2, &value));
  EXPECT_EQ(value, -2);

  // Bytes the object does not use come through as they are.
  line_->expect(ObjectRequest(ReadRequestWords(0x6041, 0)), SdoReply(0x4B, 0x6041, 0, 0xABCD0237));
  ASSERT_TRUE(ReadObject(0x6041, 0, &value));
  EXPECT_EQ(static_cast<uint32_t>(value), 0xABCD0237u);
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();

  // Every expedited upload response counts, with the size given or not (0x42).
  for (uint8_t command : {0x42, 0x43, 0x46, 0x47, 0x4A, 0x4B, 0x4E, 0x4F}) {
    line_->expect(ObjectRequest(ReadRequestWords(0x6075, 0)), SdoReply(command, 0x6075, 0, 1500));
    value = 0;
    EXPECT_TRUE(ReadObject(0x6075, 0, &value)) << std::hex << int{command};
    EXPECT_EQ(value, 1500);
  }
}

TEST_F(ObjectAccessTest, ReadObjectRejectsAbortsAndOtherObjects) {
  const struct {
    const char* what;
    Bytes reply;
  } cases[] = {
      {"abort", SdoReply(0x80, 0x6041, 0, 0x1234)},
      {"other subindex", SdoReply(0x4B, 0x6041, 1, 0x1234)},
      {"other index", SdoReply(0x4B, 0x6042, 0, 0x1234)},
      {"index bytes swapped", SdoReply(0x4B, 0x4160, 0, 0x1234)},
      {"a download confirmation", SdoReply(0x60, 0x6041, 0, 0x1234)},
      {"a segmented upload (no value inside)", SdoReply(0x41, 0x6041, 0, 4)},
      {"the request repeated", SdoReply(0x40, 0x6041, 0, 0)},
      {"short reply", Bytes(33, 0x4B)},
      {"silence", Bytes{}},
      {"the frame of a record write reply with its error bit",
       RecordFrame(0x8F, 127, {0x414B, 0x60, 0x1234})},
  };
  for (const auto& c : cases) {
    line_->reset();
    int32_t value = 77;
    line_->expect(ObjectRequest(ReadRequestWords(0x6041, 0)), c.reply);
    EXPECT_FALSE(ReadObject(0x6041, 0, &value)) << c.what;
    EXPECT_EQ(value, 77) << c.what;
    EXPECT_EQ(LastObjectAbortCode(), std::string(c.what) == "abort" ? 0x1234u : 0u) << c.what;
  }
}

TEST_F(ObjectAccessTest, ReadObjectRejectsADamagedReplyWhoseContentsLookRight) {
  // One corrupted value byte: index, subindex and command byte still match, only the checksum
  // tells (the value 2000 would have read as 23760).
  Bytes reply = SdoReply(0x43, 0x6075, 0, 2000);
  reply[7] ^= 0x5B;  // 0x07D0 becomes 0x5CD0
  line_->expect(ObjectRequest(ReadRequestWords(0x6075, 0)), reply);
  int32_t value = 77;
  EXPECT_FALSE(ReadObject(0x6075, 0, &value));
  EXPECT_EQ(value, 77);
  EXPECT_EQ(LinkError, kLinkBadChecksum);
}

TEST_F(ObjectAccessTest, DriveCommands) {
  RecordWords store{5};
  const Bytes storeFrame = ObjectRequest(store);
  EXPECT_EQ(storeFrame[32], 0x94);
  EXPECT_EQ(storeFrame[33], 0x7F);
  // Whatever the drive puts in its answer: {5, 0}, zeros, the request repeated, words of its own.
  for (const RecordWords& answer :
       {RecordWords{5, 0}, RecordWords{}, RecordWords{5, 1}, RecordWords{0x4A3F, 7}}) {
    line_->expect(storeFrame, RecordFrame(0x0F, 127, answer));
    EXPECT_TRUE(StoreParameters()) << answer[0] << " " << answer[1];
  }
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();
  // Only a missing or damaged answer fails.
  for (const Bytes& reply : {Bytes{}, Bytes(34, 0), ErrorReply(127, 2)}) {
    settleLink();
    line_->expect(storeFrame, reply);
    EXPECT_FALSE(StoreParameters());
  }

  EXPECT_EQ(CommandRequest(kCmdEndOfLoad), (RecordWords{4}));
  EXPECT_EQ(CommandRequest(kCmdEnterBootLoader), (RecordWords{9}));
}

TEST_F(ObjectAccessTest, WriteObjectCheckedTellsWhyAWriteDidNotCount) {
  const Bytes request = ObjectRequest({7, 0x2B, 0x6040, 0, 0x0D});
  const Bytes confirmation = DownloadReply(0x6040, 0);
  const struct {
    const char* what;
    Bytes reply;
    ObjectWriteOutcome expected;
  } cases[] = {
      {"confirmation", DownloadReply(0x6040, 0), ObjectWriteOutcome::Written},
      {"zeros", RecordFrame(0x0F, 127, {}), ObjectWriteOutcome::Written},
      {"abort of this object", SdoReply(0x80, 0x6040, 0, 0x06090030), ObjectWriteOutcome::Refused},
      {"error reply", ErrorReply(127, 3), ObjectWriteOutcome::Rejected},
      {"abort of another object", SdoReply(0x80, 0x6041, 0, 0x06010002), ObjectWriteOutcome::Written},
      {"half an answer", Bytes(confirmation.begin(), confirmation.begin() + 20),
       ObjectWriteOutcome::NotConfirmed},
      {"a damaged answer", Damaged(confirmation, 20), ObjectWriteOutcome::NotConfirmed},
      {"silence", Bytes{}, ObjectWriteOutcome::NotConfirmed},
  };
  for (const auto& c : cases) {
    settleLink();
    line_->expect(request, c.reply);
    EXPECT_EQ(WriteObjectChecked(0x6040, 0, 2, 0x0D), c.expected) << c.what;
  }
}

// An object request carries nothing that ties its answer to it, so after one went unanswered the
// next is sent only once a read of another record has been answered: the drive answers in order,
// so whatever it still owed came before that answer and was skipped.
struct LateAnswerCase {
  const char* what;
  Bytes fenceReply;   // the drive's bytes after the fence read of record 128
  bool checked;       // the fence was answered, so the second write's own answer counts
  TransferFate fate;  // of the second write
};

class LateAnswers : public FakeLinkTest, public ::testing::WithParamInterface<LateAnswerCase> {};

TEST_P(LateAnswers, AnAnswerOwedToAnEarlierObjectRequestNeverCountsForALaterOne) {
  const LateAnswerCase& c = GetParam();
  const Bytes first = ObjectRequest({7, 0x23, 0x6075, 0, 2501, 0});
  const Bytes second = ObjectRequest({7, 0x23, 0x6075, 0, 0x86A0, 0x0001});  // 100000
  line_->expect(first);                                                      // no answer in time
  EXPECT_EQ(WriteObjectChecked(0x6075, 0, 4, 2501), ObjectWriteOutcome::NotConfirmed);
  EXPECT_EQ(LastTransferFate(), TransferFate::Unanswered);

  line_->reset();
  line_->expect({0x0F, 0x80}, c.fenceReply);
  // The drive refuses 100000: only its own answer to the second write may say so. Without an
  // answered fence the write still goes out (a stop must), but no answer is waited for.
  line_->expect(second, c.checked ? SdoReply(0x80, 0x6075, 0, 0x06090030) : DownloadReply(0x6075, 0));
  const ObjectWriteOutcome outcome = WriteObjectChecked(0x6075, 0, 4, 100000);
  EXPECT_EQ(outcome, c.checked ? ObjectWriteOutcome::Refused : ObjectWriteOutcome::NotConfirmed) << c.what;
  EXPECT_EQ(LastTransferFate(), c.fate) << c.what;
  EXPECT_TRUE(line_->allExpectationsMet()) << c.what << ": " << line_->mismatches();

  // A read after an unanswered check of the line is not sent at all.
  if (!c.checked) {
    line_->reset();
    line_->expect({0x0F, 0x81});  // the next fence: 128 is owed an answer now
    int32_t value = 0;
    EXPECT_FALSE(ReadObject(0x6075, 0, &value));
    EXPECT_EQ(LastTransferFate(), TransferFate::NotSent);
    EXPECT_EQ(line_->written(), (Bytes{0x0F, 0x81})) << c.what;
  }
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Fence, LateAnswers,
    ::testing::Values(LateAnswerCase{"the late answer comes before the fence's",
                                     Concat(DownloadReply(0x6075, 0), ReadReply(128, {})), true,
                                     TransferFate::Answered},
                      LateAnswerCase{"no late answer, the fence answered", ReadReply(128, {}), true,
                                     TransferFate::Answered},
                      LateAnswerCase{"the fence refused with an error reply", ErrorReply(128, 1), true,
                                     TransferFate::Answered},
                      LateAnswerCase{"the late answer, then silence", DownloadReply(0x6075, 0), false,
                                     TransferFate::Unanswered},
                      LateAnswerCase{"silence", Bytes{}, false, TransferFate::Unanswered}),
    [](const ::testing::TestParamInfo<LateAnswerCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(ObjectAccessTest, AfterAnOpenTheFirstObjectRequestGoesStraightOutAndAFenceOwedAnAnswerIsNotUsed) {
  // Nothing is owed on a fresh port: what waits on the line is dropped and the request goes out at
  // once, without a fence read and without waiting for a quiet line.
  CloseLink();
  ASSERT_TRUE(OpenLink(kDevice));
  line_->reset();
  line_->feed(Concat(DownloadReply(0x6075, 0), ReadReply(128, {})));
  line_->expect(ObjectRequest(ReadRequestWords(0x6041, 0)), SdoReply(0x4B, 0x6041, 0, 0x27));
  int32_t value = 0;
  ASSERT_TRUE(ReadObject(0x6041, 0, &value));
  EXPECT_EQ(value, 0x27);
  EXPECT_EQ(line_->timeouts(), 0) << "no wait for a quiet line";
  EXPECT_EQ(line_->written(), ObjectRequest(ReadRequestWords(0x6041, 0))) << "no fence read";
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();

  // A silent read of record 128 leaves its answer owed too: the fence after the next silent object
  // request must be another record, else that old answer could pass for the fence's.
  line_->reset();
  line_->expect({0x0F, 0x80});
  EXPECT_FALSE(ReadRecord(128, RecordWords{}.data()));
  line_->expect(ObjectRequest(ReadRequestWords(0x6041, 0)));
  EXPECT_FALSE(ReadObject(0x6041, 0, &value));
  line_->expect({0x0F, 0x81}, ReadReply(129, {}));
  line_->expect(ObjectRequest(ReadRequestWords(0x6041, 0)), SdoReply(0x4B, 0x6041, 0, 0x23));
  ASSERT_TRUE(ReadObject(0x6041, 0, &value));
  EXPECT_EQ(value, 0x23);
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();
}

}  // namespace
}  // namespace axtune::test
