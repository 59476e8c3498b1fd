// The frame protocol against a scripted line: frames byte for byte, LinkError, resynchronisation.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "frame_test_support.h"
#include "link/drive_link.h"
#include "link/port_slots.h"
#include "tests/support/test_env.h"

namespace axtune::test {
namespace {

RecordWords Counting() {
  RecordWords words{};
  for (int i = 0; i < kRecordWords; ++i) words[i] = static_cast<uint16_t>(0x1111 * (i + 1));
  return words;
}

TEST(FrameChecksum, WorkedExamples) {
  // A read reply for record 5 with all words zero ends in 0F 05.
  const Bytes zeroReply = ReadReply(5, RecordWords{});
  ASSERT_EQ(zeroReply.size(), 34u);
  EXPECT_EQ(zeroReply[32], 0x0F);
  EXPECT_EQ(zeroReply[33], 0x05);
  // The single-word write of 0x1234 into word 7 of record 2.
  const uint8_t wordFrame[] = {0x87, 0x02, 0x34, 0x12};
  EXPECT_EQ(FrameChecksum(wordFrame, 4), 0x14BB);
  // Sums wrap at 16 bits.
  const uint8_t wrapping[] = {0xFF, 0xFF, 0x02, 0x00};
  EXPECT_EQ(FrameChecksum(wrapping, 4), 0x0001);
}

TEST(LinkErrorTable, DriveCodesMapToFourToTen) {
  const int expected[8] = {4, 5, 6, 7, 8, 9, 10, 10};
  for (int code = 0; code < 8; ++code) EXPECT_EQ(LinkErrorForDriveCode(code), expected[code]) << code;
}

using DriveLinkTest = FakeLinkTest;

TEST_F(DriveLinkTest, OpenConfiguresThePortAndSendsThreeSeparateAs) {
  CloseLink();
  ASSERT_TRUE(OpenLink(kDevice));
  const SerialSettings settings = line_->lastSettings();
  EXPECT_EQ(settings.baudRate, 38400);
  EXPECT_FALSE(settings.dtr);
  EXPECT_TRUE(settings.rts);
  EXPECT_TRUE(settings.exclusive);
  EXPECT_TRUE(settings.abortOnError);
  const SerialTimeouts timeouts = line_->lastTimeouts();
  EXPECT_EQ(timeouts.readPerByteMs, 1u);
  EXPECT_EQ(timeouts.readConstantMs, 1000u);
  EXPECT_EQ(timeouts.writePerByteMs, 1u);
  EXPECT_EQ(timeouts.writeConstantMs, 1000u);
  EXPECT_EQ(line_->writeCalls(), (std::vector<Bytes>{{0x41}, {0x41}, {0x41}}));
  EXPECT_TRUE(IsLinkOpen());
}

TEST_F(DriveLinkTest, ReadRecordSendsRequestAndCopiesWords) {
  line_->expect({0x0F, 0x05}, ReadReply(5, Counting()));
  RecordWords words{};
  ASSERT_TRUE(ReadRecord(5, words));
  EXPECT_EQ(words, Counting());
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();
  EXPECT_EQ(LinkError, kLinkNoError);

  // A success does not reset an earlier failure code.
  LinkError = kLinkShortReply;
  line_->expect({0x0F, 0x05}, ReadReply(5, Counting()));
  ASSERT_TRUE(ReadRecord(5, words));
  EXPECT_EQ(LinkError, kLinkShortReply);
}

TEST_F(DriveLinkTest, ReadRecordFailuresSetTheirCodeAndLeaveTheDestination) {
  const RecordWords untouched = Counting();
  RecordWords words = untouched;

  // Checksum off by one.
  Bytes reply = ReadReply(5, RecordWords{1, 2, 3});
  reply[32] = static_cast<uint8_t>(reply[32] + 1);
  line_->expect({0x0F, 0x05}, reply);
  EXPECT_FALSE(ReadRecord(5, words));
  EXPECT_EQ(LinkError, kLinkBadChecksum);

  // Body shorter than 32 bytes.
  reply = ReadReply(5, RecordWords{1, 2, 3});
  reply.resize(33);
  line_->expect({0x0F, 0x05}, reply);
  EXPECT_FALSE(ReadRecord(5, words));
  EXPECT_EQ(LinkError, kLinkShortReply);

  // One header byte, then nothing: a reply cut off, not silence.
  line_->expect({0x0F, 0x05}, {0x0F});
  EXPECT_FALSE(ReadRecord(5, words));
  EXPECT_EQ(LinkError, kLinkShortReply);

  // Silence.
  line_->expect({0x0F, 0x05});
  EXPECT_FALSE(ReadRecord(5, words));
  EXPECT_EQ(LinkError, kLinkNoReply);

  EXPECT_EQ(words, untouched);
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();
}

TEST_F(DriveLinkTest, ErrorReplyEndsTheReadAfterTwoBytes) {
  const RecordWords untouched = Counting();
  for (int code = 0; code < 8; ++code) {
    line_->reset();
    RecordWords words = untouched;
    Bytes reply = ErrorReply(5, code);
    const Bytes trailing = ReadReply(5, RecordWords{});  // must stay unread
    reply.insert(reply.end(), trailing.begin(), trailing.end());
    line_->expect({0x0F, 0x05}, reply);
    EXPECT_FALSE(ReadRecord(5, words));
    EXPECT_EQ(LinkError, code <= 5 ? 4 + code : 10) << code;
    EXPECT_EQ(line_->bytesRead(), 2u) << code;
    EXPECT_EQ(words, untouched);
  }
}

// Bytes that arrive with the reply, in front of it (a late frame of another exchange).
Bytes Then(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

TEST_F(DriveLinkTest, ResynchronisationSkipsStaleFrames) {
  // A whole-record frame for record 3 in front of the awaited one for record 4.
  line_->expect({0x0F, 0x04}, Then(ReadReply(3, Counting()), ReadReply(4, RecordWords{44})));
  RecordWords words{};
  ASSERT_TRUE(ReadRecord(4, words));
  EXPECT_EQ(words[0], 44);
  EXPECT_EQ(LinkError, kLinkNoError);

  // A stale error header for another record leaves its code behind even though the read succeeds.
  line_->expect({0x0F, 0x04}, Then(ErrorReply(9, 3), ReadReply(4, RecordWords{45})));
  ASSERT_TRUE(ReadRecord(4, words));
  EXPECT_EQ(words[0], 45);
  EXPECT_EQ(LinkError, 7);

  // A stale single-word frame (control 0x25: code 2 in bits 4..6) is 4 + 2 * 2 bytes long.
  line_->expect({0x0F, 0x04}, Then({0x25, 0x09, 1, 2, 3, 4, 5, 6, 7, 8}, ReadReply(4, RecordWords{46})));
  ASSERT_TRUE(ReadRecord(4, words));
  EXPECT_EQ(words[0], 46);

  // The awaited record may itself come as an error reply after a stale frame.
  line_->expect({0x0F, 0x04}, Then(ReadReply(3, Counting()), ErrorReply(4, 1)));
  EXPECT_FALSE(ReadRecord(4, words));
  EXPECT_EQ(LinkError, 5);
  EXPECT_EQ(line_->pendingBytes(), 0u);
}

TEST_F(DriveLinkTest, BytesLeftOnTheLineNeverShiftTheNextAnswer) {
  // The late answer of an earlier read of record 4 and a stray byte wait on the line when the next
  // read of record 4 goes out: they are dropped, and the read takes its own answer.
  line_->feed(ReadReply(4, RecordWords{1}));
  line_->feed({0x5A});
  line_->expect({0x0F, 0x04}, ReadReply(4, RecordWords{2}));
  RecordWords words{};
  ASSERT_TRUE(ReadRecord(4, words));
  EXPECT_EQ(words[0], 2);

  // The same before a record exchange and a single-word write.
  line_->feed(RecordFrame(0x0F, 127, {8, 1}));
  RecordWords request{5};
  line_->expect(RecordFrame(0x8F, 127, request), RecordFrame(0x0F, 127, {5, 0}));
  ASSERT_TRUE(ExchangeRecord(127, request));
  EXPECT_EQ(request, (RecordWords{5, 0}));
  line_->feed({0x07, 0x02, 0x00, 0x00, 0x07, 0x02});
  line_->expect({0x87, 0x02, 0x34, 0x12, 0xBB, 0x14}, {0x07, 0x02, 0x34, 0x12, 0x3B, 0x14});
  EXPECT_TRUE(WriteWords(2, 7, 0x1234));
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();
  EXPECT_EQ(line_->pendingBytes(), 0u);
}

TEST_F(DriveLinkTest, EveryReadOfATransferEndsByOneDeadline) {
  // Frames for other records keep coming until the line falls silent: the header read and each
  // resynchronisation step get only what is left of one attempt's 1034 ms on the port's clock.
  line_->expect({0x0F, 0x04}, ReadReply(3, RecordWords{}));
  line_->advanceClockUs(0);
  const uint64_t start = line_->clockUs();
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(4, words));
  EXPECT_EQ(LinkError, kLinkDamagedReply);
  EXPECT_LE(line_->clockUs() - start, 1034u * 1000);
  // The one read that timed out was given what was left, not a fresh 1002 ms.
  ASSERT_EQ(line_->timedOutReadBudgetsMs().size(), 1u);
  EXPECT_LE(line_->timedOutReadBudgetsMs()[0], 1002u);

  // A silent drive still costs one header read's 1002 ms, a silent word write 1002 ms too.
  line_->reset();
  line_->expect({0x0F, 0x04});
  EXPECT_FALSE(ReadRecord(4, words));
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>{1002});
  // The port is left with the link's own timeouts.
  EXPECT_EQ(line_->lastTimeouts().readPerByteMs, 1u);
  EXPECT_EQ(line_->lastTimeouts().readConstantMs, 1000u);
}

TEST_F(DriveLinkTest, ResynchronisationThatNeverFindsTheRecordFailsAsADamagedReply) {
  // Bytes came, but never a header for record 4 (one whose record byte was damaged on the way, say):
  // the drive is there, so this is a damaged reply to retry, not "no answer".
  line_->feed(ErrorReply(9, 3));  // sets 7 on the way ...
  line_->expect({0x0F, 0x04}, ReadReply(3, RecordWords{}));
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(4, words));
  EXPECT_EQ(LinkError, kLinkDamagedReply);  // ... but the read ends with "damaged"
}

TEST_F(DriveLinkTest, EndlessFramesForOtherRecordsDoNotKeepTheReadGoing) {
  const Bytes stale = ReadReply(3, RecordWords{});
  for (int i = 0; i < 1000; ++i) line_->feed(stale);
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(4, words));
  EXPECT_EQ(LinkError, kLinkDamagedReply);
  EXPECT_LT(line_->bytesRead(), 200u * stale.size());  // gave up long before the flood ended
}

TEST_F(DriveLinkTest, ExchangeRecordCountsOnlyTheRecordsOwnGoodFrame) {
  RecordWords request{};
  request[0] = 5;
  Bytes expected = RecordFrame(0x8F, 127, request);
  ASSERT_EQ(expected[32], 0x94);
  ASSERT_EQ(expected[33], 0x7F);

  line_->expect(expected, RecordFrame(0x0F, 127, Counting()));
  LinkError = 6;
  ASSERT_TRUE(ExchangeRecord(127, request));
  EXPECT_EQ(request, Counting());
  EXPECT_EQ(LinkError, 6);  // a good exchange leaves it as it was
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();

  Bytes badChecksum = RecordFrame(0x0F, 12, Counting());
  badChecksum[33] ^= 0x55;
  const struct {
    const char* what;
    Bytes reply;
    int linkError;
  } refused[] = {
      {"wrong checksum", badChecksum, kLinkBadChecksum},
      {"error reply", ErrorReply(12, 2), 6},
      {"a reply with the error bit", RecordFrame(0xF3, 12, Counting()), 4 + 7 - 1},
      {"a frame for another record only", RecordFrame(0x0F, 13, Counting()), kLinkDamagedReply},
      {"33 bytes of noise", Bytes(33, 0xAA), kLinkDamagedReply},
      {"short body", Bytes{0x0F, 12, 1, 2, 3}, kLinkShortReply},
      {"silence", Bytes{}, kLinkNoReply},
  };
  for (const auto& c : refused) {
    line_->reset();
    RecordWords buffer = Counting();
    line_->expect(RecordFrame(0x8F, 12, buffer), c.reply);
    EXPECT_FALSE(ExchangeRecord(12, buffer)) << c.what;
    EXPECT_EQ(buffer, Counting()) << c.what;
    EXPECT_EQ(LinkError, c.linkError) << c.what;
  }

  // Record 128 is sent (the drive refuses it itself).
  line_->reset();
  RecordWords buffer{};
  line_->expect(RecordFrame(0x8F, 128, buffer), ErrorReply(128, 2));
  EXPECT_FALSE(ExchangeRecord(128, buffer));
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();
}

TEST_F(DriveLinkTest, WriteRecordTakesAnyWellFormedReplyAndHandsItsWordsBack) {
  // A drive may answer with the words sent or with the record as it now holds it (a clamped value):
  // both are the record's own good frame, so both count; the caller gets the words to compare.
  const RecordWords words = Counting();
  RecordWords clamped = words;
  clamped[2] = 16383;
  for (const RecordWords& answer : {words, clamped}) {
    line_->reset();
    LinkError = 0;
    line_->expect(RecordFrame(0x8F, 20, words), RecordFrame(0x0F, 20, answer));
    RecordWords reply{};
    EXPECT_TRUE(WriteRecord(20, words, &reply));
    EXPECT_EQ(reply, answer);
    EXPECT_EQ(LinkError, kLinkNoError);
  }
  // Its documented checks stay: an error reply, another record's frame, a damaged checksum.
  const struct {
    const char* what;
    Bytes reply;
    int linkError;
  } refused[] = {
      {"error reply", ErrorReply(20, 2), 6},
      {"another record only", RecordFrame(0x0F, 21, words), kLinkDamagedReply},
      {"checksum",
       [&] {
         Bytes frame = RecordFrame(0x0F, 20, words);
         frame.back() ^= 1;
         return frame;
       }(),
       kLinkBadChecksum},
  };
  for (const auto& c : refused) {
    line_->reset();
    line_->expect(RecordFrame(0x8F, 20, words), c.reply);
    RecordWords reply = clamped;
    EXPECT_FALSE(WriteRecord(20, words, &reply)) << c.what;
    EXPECT_EQ(reply, clamped) << c.what;
    EXPECT_EQ(LinkError, c.linkError) << c.what;
  }
}

TEST_F(DriveLinkTest, WriteWordsFrameAndReplyHandling) {
  const Bytes request{0x87, 0x02, 0x34, 0x12, 0xBB, 0x14};
  // Six bytes answer the write whatever they hold: the protocol leaves the reply's contents open.
  const Bytes accepted[] = {
      {0x07, 0x02, 0x34, 0x12, 0x3B, 0x14},  // index, record, value, checksum
      request,                               // the request repeated
      {0x06, 0x06, 0x00, 0x00, 0x00, 0x00},  // six bytes of a style of its own
      {0x07, 0x02, 0x34, 0x12, 0x3C, 0x14},  // a checksum that does not add up
  };
  for (const Bytes& reply : accepted) {
    SCOPED_TRACE(static_cast<int>(&reply - accepted));
    line_->reset();
    LinkError = 0;
    line_->expect(request, reply);
    EXPECT_TRUE(WriteWords(2, 7, 0x1234));
    EXPECT_EQ(LinkError, kLinkNoError);
  }

  // Fewer than six: the first byte received decides LinkError (0x07: code 0).
  line_->reset();
  line_->expect(request, {0x07, 0x02, 0x34});
  EXPECT_FALSE(WriteWords(2, 7, 0x1234));
  EXPECT_EQ(LinkError, 4);

  // An error reply (0xD0: code 5) sets LinkError from its first byte.
  line_->reset();
  line_->expect({0x80, 0x03, 0x01, 0x00, 0x81, 0x03}, {0xD0, 0x03});
  EXPECT_FALSE(WriteWords(3, 0, 1));
  EXPECT_EQ(LinkError, 9);

  // Nothing at all: the first byte left in the receive buffer decides (the 0xD0 of before).
  LinkError = 0;
  line_->expect({0x80, 0x03, 0x01, 0x00, 0x81, 0x03});
  EXPECT_FALSE(WriteWords(3, 0, 1));
  EXPECT_EQ(LinkError, 9);
  EXPECT_TRUE(line_->allExpectationsMet()) << line_->mismatches();
}

TEST_F(DriveLinkTest, WriteWordsRefusesWithoutSending) {
  LinkError = 3;
  EXPECT_FALSE(WriteWords(128, 0, 1));
  EXPECT_FALSE(WriteWords(255, 0, 1));
  EXPECT_FALSE(WriteWords(-1, 0, 1));
  EXPECT_FALSE(WriteWords(2, 15, 1));  // would look like a whole-record write
  EXPECT_FALSE(WriteWords(2, -1, 1));
  EXPECT_TRUE(line_->written().empty());
  EXPECT_EQ(LinkError, 3);
  line_->expect({0x8E, 0x7F, 0x00, 0x00, 0x8E, 0x7F}, {0x0E, 0x7F, 0x00, 0x00, 0x0E, 0x7F});
  EXPECT_TRUE(WriteWords(127, 14, 0));
}

TEST_F(DriveLinkTest, ClosedLinkFailsLikeASilentLine) {
  // Leaves 0xB0 (drive code 3) at the front of the receive buffer.
  line_->expect({0x80, 0x05, 0x01, 0x00, 0x81, 0x05}, {0xB0});
  EXPECT_FALSE(WriteWords(5, 0, 1));
  line_->reset();

  ASSERT_TRUE(CloseLink());
  EXPECT_FALSE(CloseLink());  // the closed handle cannot be closed again
  EXPECT_FALSE(IsLinkOpen());
  const int statusCalls = line_->modemStatusCalls();
  const int clearCalls = line_->clearErrorCalls();
  EXPECT_FALSE(IsCarrierDetected());
  EXPECT_FALSE(SetDtr(true));
  EXPECT_FALSE(ClearLinkErrors());
  EXPECT_EQ(line_->modemStatusCalls(), statusCalls);
  EXPECT_EQ(line_->clearErrorCalls(), clearCalls);

  RecordWords words = Counting();
  EXPECT_FALSE(ReadRecord(5, words));
  EXPECT_EQ(LinkError, kLinkNoReply);
  LinkError = 6;
  EXPECT_FALSE(ExchangeRecord(5, words));
  EXPECT_EQ(LinkError, 6);
  EXPECT_EQ(words, Counting());
  // WriteWords takes its code from what the receive buffer still holds.
  LinkError = 0;
  EXPECT_FALSE(WriteWords(5, 0, 1));
  EXPECT_EQ(LinkError, 7);
  EXPECT_TRUE(line_->written().empty());
}

TEST_F(DriveLinkTest, CarrierDtrAndErrorClearing) {
  line_->setCarrier(true);
  EXPECT_TRUE(IsCarrierDetected());
  line_->setCarrier(false);
  EXPECT_FALSE(IsCarrierDetected());

  EXPECT_TRUE(SetDtr(true));
  EXPECT_TRUE(line_->dtr());
  EXPECT_TRUE(SetDtr(false));
  EXPECT_FALSE(line_->dtr());

  // A line error fails transfers until the error state is cleared.
  line_->raiseLineError();
  line_->feed(ReadReply(5, RecordWords{}));
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(5, words));
  EXPECT_TRUE(ClearLinkErrors());
  line_->reset();
  line_->expect({0x0F, 0x05}, ReadReply(5, RecordWords{7}));
  EXPECT_TRUE(ReadRecord(5, words));

  // A failed status read clears the error state and asks once more; that answer counts.
  line_->setCarrier(true);
  line_->failModemStatusReads(1);
  int clears = line_->clearErrorCalls();
  EXPECT_TRUE(IsCarrierDetected());
  EXPECT_EQ(line_->clearErrorCalls(), clears + 1);
  line_->failModemStatusReads(2);
  const int statusCalls = line_->modemStatusCalls();
  EXPECT_FALSE(IsCarrierDetected());
  EXPECT_EQ(line_->modemStatusCalls(), statusCalls + 2);  // one retry, no more

  // Without readable modem lines the watcher's query clears errors once, retries, reads false.
  line_->setModemStatusSupported(false);
  clears = line_->clearErrorCalls();
  EXPECT_FALSE(IsCarrierDetected());
  EXPECT_EQ(line_->clearErrorCalls(), clears + 1);
}

TEST_F(DriveLinkTest, FailedOpensHoldNothingAndKeepTheReason) {
  ASSERT_TRUE(CloseLink());
  line_->failNextOpen(PortOpenError::PermissionDenied, "fake-drive: Permission denied");
  EXPECT_FALSE(OpenLink(kDevice));
  EXPECT_FALSE(IsLinkOpen());
  EXPECT_FALSE(line_->isOpen());
  EXPECT_EQ(LastOpenError(), PortOpenError::PermissionDenied);
  EXPECT_EQ(LastOpenErrorText(), "fake-drive: Permission denied");
  EXPECT_TRUE(line_->written().empty());

  // A slot without a device says so.
  SetPortSlotOverride(12, "");
  axtune::test::UnsetEnv("AXTUNE_COM12");
  if (ResolvePortDevice(PortSlotName(12)).empty()) {
    EXPECT_FALSE(OpenLink(PortSlotName(12)));
    EXPECT_EQ(LastOpenError(), PortOpenError::NotFound);
    EXPECT_NE(LastOpenErrorText().find("COM12"), std::string::npos);
  }

  // A good open clears the reason; a slot name reaches the device put on it.
  SetPortSlotOverride(12, kDevice);
  EXPECT_TRUE(OpenLink(PortSlotName(12)));
  EXPECT_EQ(LastOpenError(), PortOpenError::None);
  EXPECT_TRUE(LastOpenErrorText().empty());
  SetPortSlotOverride(12, "");
}

TEST_F(DriveLinkTest, OpenWhileOpenReleasesThePreviousPort) {
  EXPECT_TRUE(OpenLink(kDevice));  // the fake refuses a second open while the first is held
  EXPECT_TRUE(IsLinkOpen());
  EXPECT_EQ(line_->closes(), 1);
}

TEST_F(DriveLinkTest, CloseRefusedByTheSystemKeepsThePort) {
  line_->setCloseFails(true);
  EXPECT_FALSE(CloseLink());
  EXPECT_TRUE(IsLinkOpen());
  line_->setCloseFails(false);
  EXPECT_TRUE(CloseLink());
  EXPECT_FALSE(IsLinkOpen());
}

TEST_F(DriveLinkTest, CarrierWatcherMayPollWhileThePortIsReopened) {
  line_->setCarrier(true);
  std::atomic<bool> stop{false};
  std::atomic<int> polls{0};
  std::thread watcher([&] {
    while (!stop) {
      IsCarrierDetected();
      ++polls;
    }
  });
  // Keeps reopening until the watcher has really polled in between (it may start late).
  for (int i = 0; i < 300 || polls < 50; ++i) {
    ASSERT_TRUE(CloseLink());
    ASSERT_TRUE(OpenLink(kDevice));
  }
  stop = true;
  watcher.join();
  EXPECT_GT(polls.load(), 0);
  EXPECT_TRUE(IsCarrierDetected());
}

}  // namespace
}  // namespace axtune::test
