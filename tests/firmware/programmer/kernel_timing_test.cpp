// How often the programmer reads, resends and waits, measured on the fake line's clock (each short read
// costs its whole total timeout, each pause its length) against a kernel scripted from the packet
// rules: up to 21 reads per acknowledgement or packet header, each waiting (bytes still missing) x
// (1,000,000 / rate) ms plus the 100 ms floor; never a packet sent twice; the erase and write take
// their response in up to option 4 + 1 attempts, read, verify and ping in one; and the fixed pauses.
#include <numeric>

#include "firmware/programmer/prg_port.h"
#include "firmware/programmer/prg_state.h"
#include "tests/firmware/programmer/scripted_target.h"

namespace axtune::test {
namespace {

constexpr uint32_t kPerByte19200 = 1000000 / 19200;  // 52 ms: integer division, as the port is set
constexpr uint32_t kFloorMs = 100;
constexpr uint32_t kSilentHeaderMs = 8 * kPerByte19200 + kFloorMs;  // one read of 8 bytes, none came
constexpr int kReads = 21;

uint64_t Sum(const std::vector<uint32_t>& v) {
  return std::accumulate(v.begin(), v.end(), uint64_t{0});
}

class KernelTiming : public ScriptedSession {
 protected:
  void SetUp() override {
    ScriptedSession::SetUp();
    ConnectToRunningKernel();
    restart();
  }
  // A packet that got nothing back ends the connection (the drive stopped answering): the next case
  // starts with a fresh kernel and a fresh open.
  void Reconnect() {
    PRG_Close(handle_);
    target_->onRequest = nullptr;
    target_ = std::make_unique<ScriptedTarget>(line_);
    ConnectToRunningKernel();
    restart();
  }
  void restart() {
    line_->reset();
    sleeps_.clear();
    messages_.clear();
    start_ = clockMs();
  }
  uint64_t elapsedMs() const { return clockMs() - start_; }
  // Host packets written since the last reset.
  size_t packetsWritten() const { return target_->requests.size() - requestsBefore_; }
  void markRequests() { requestsBefore_ = target_->requests.size(); }

  uint64_t start_ = 0;
  size_t requestsBefore_ = 0;
  uint16_t words_[4] = {0x1111, 0x2222, 0x3333, 0x4444};
};

Bytes AckOnly(const KernelRequest& r) {
  return Acknowledge(r);
}
Bytes Nothing(const KernelRequest&) {
  return {};
}

TEST_F(KernelTiming, AnUnacknowledgedPacketIsWaitedFor21ReadsAndNeverSentAgain) {
  target_->onRequest = Nothing;
  markRequests();
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3F0000, 0, 4, words_), PRG_FAILED);
  EXPECT_EQ(packetsWritten(), 1u);
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>(kReads, kSilentHeaderMs));
  EXPECT_EQ(elapsedMs(), kReads * kSilentHeaderMs);
  EXPECT_TRUE(sleeps_.empty());  // no pause after a packet that was not taken
  EXPECT_EQ(messages_.back(), "Send packet rejected\n");
}

TEST_F(KernelTiming, EachReadWaitsOnlyForTheBytesStillMissing) {
  // Three bytes of the acknowledgement come, then nothing: the first read asked for 8, the other 20
  // for the 5 still missing.
  target_->onRequest = [](const KernelRequest& r) {
    const Bytes ack = Acknowledge(r);
    return Bytes(ack.begin(), ack.begin() + 3);
  };
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3F0000, 0, 4, words_), PRG_FAILED);
  std::vector<uint32_t> expected(kReads, 5 * kPerByte19200 + kFloorMs);
  expected[0] = kSilentHeaderMs;
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), expected);
  EXPECT_EQ(elapsedMs(), Sum(expected));
}

TEST_F(KernelTiming, TheReadTimeoutFollowsTheRate) {
  const struct {
    int rate;
    uint32_t perByte;
  } rates[] = {{115200, 8}, {57600, 17}, {38400, 26}, {9600, 104}, {1200, 833}};
  for (const auto& r : rates) {
    SCOPED_TRACE(r.rate);
    PRG_Close(handle_);
    target_->onRequest = nullptr;
    target_ = std::make_unique<ScriptedTarget>(line_);
    ASSERT_EQ(PRG_SetOptions(handle_, ("EmuBaudRate=" + std::to_string(r.rate)).c_str()), 0);
    ConnectToRunningKernel();
    EXPECT_EQ(line_->lastSettings().baudRate, r.rate);
    EXPECT_EQ(line_->lastTimeouts().readPerByteMs, r.perByte);
    EXPECT_EQ(line_->lastTimeouts().readConstantMs, kFloorMs);
    EXPECT_EQ(line_->lastTimeouts().writePerByteMs, 1000u);
    EXPECT_EQ(line_->lastTimeouts().writeConstantMs, 0u);
    line_->reset();
    target_->onRequest = Nothing;
    EXPECT_EQ(PRG_FlashErase(handle_), PRG_FAILED);
    EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>(kReads, 8 * r.perByte + kFloorMs));
  }
}

TEST_F(KernelTiming, AWriteTakesItsResponseInOption4PlusOneAttempts) {
  // Acknowledged, never answered: three attempts of 21 header reads each, after the programming pause.
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgProgrammingOption4=2,PrgProgrammingTimeout=7"), 0);
  target_->onRequest = AckOnly;
  markRequests();
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3F0000, 0, 4, words_), PRG_FAILED);
  EXPECT_EQ(packetsWritten(), 1u);
  EXPECT_EQ(sleeps_, std::vector<int>{7});
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>(3 * kReads, kSilentHeaderMs));
  EXPECT_EQ(elapsedMs(), 7 + 3 * kReads * kSilentHeaderMs);
  EXPECT_EQ(messages_.back(), "Write Failed, Address = 003f0000, Error = -1\n");

  // A packet with a checksum (rejected, 0x15) or one that repeats the last sequence number (neither
  // acknowledged nor delivered) counts as a missing response: with one attempt the write fails, with
  // two the good packet behind it is taken.
  for (const bool repeated : {false, true}) {
    for (const uint32_t option4 : {0u, 1u}) {
      SCOPED_TRACE(std::string(repeated ? "repeated" : "rejected") +
                   ", option 4 = " + std::to_string(option4));
      Reconnect();
      ASSERT_EQ(PRG_SetOptions(handle_, ("PrgProgrammingOption4=" + std::to_string(option4)).c_str()), 0);
      const auto lastReceived = static_cast<uint8_t>(prg::State().lastReceived);
      target_->onRequest = [this, repeated, lastReceived](const KernelRequest& r) {
        Bytes out = Acknowledge(r);
        const Bytes first = repeated ? KernelPacket(lastReceived, StatusData(0))
                                     : KernelPacket(target_->nextSequence++, StatusData(0), 0x1234);
        const Bytes good = KernelPacket(target_->nextSequence++, StatusData(0));
        out.insert(out.end(), first.begin(), first.end());
        out.insert(out.end(), good.begin(), good.end());
        return out;
      };
      const size_t acksBefore = target_->hostAcks.size();
      const int32_t result = PRG_FlashWrite(handle_, 0x3F0000, 0, 4, words_);
      std::vector<uint8_t> verdicts;
      for (size_t i = acksBefore; i < target_->hostAcks.size(); ++i)
        verdicts.push_back(target_->hostAcks[i][0]);
      std::vector<uint8_t> expected;
      if (!repeated) expected.push_back(0x15);
      if (option4 == 1) expected.push_back(0x06);
      EXPECT_EQ(verdicts, expected);
      EXPECT_EQ(result, option4 == 1 ? PRG_DONE : PRG_FAILED);
      if (option4 == 0) {
        EXPECT_EQ(messages_.back(), "Write Failed, Address = 003f0000, Error = -1\n");
      }
    }
  }
}

TEST_F(KernelTiming, EraseWaitsPerSectorInHundredMillisecondStepsThenOption4PlusOneAttempts) {
  // PRG_Open forced the sector mask 0x000F: sectors = 1 + bits 1..15 set = 4. 25 x 4 x 10 ms = 1000 ms.
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgEraseTimeout=25,PrgEraseOption4=2"), 0);
  target_->onRequest = AckOnly;
  markRequests();
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_FAILED);
  EXPECT_EQ(packetsWritten(), 1u);
  EXPECT_EQ(sleeps_, std::vector<int>(10, 100));
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>(3 * kReads, kSilentHeaderMs));
  EXPECT_EQ(elapsedMs(), 1000 + 3 * kReads * kSilentHeaderMs);
  EXPECT_EQ(messages_.back(), "Erase Failed\n");
  // The erase packet carried the options' low 16 bits: 0x000F, 0x0099, the code of the session's
  // rate (3: 19200), and 2.
  const Bytes& data = target_->requests.back().data;
  ASSERT_EQ(data.size(), 20u);
  EXPECT_EQ(Bytes(data.begin() + 10, data.begin() + 20), (Bytes{0, 0x0F, 0, 0x99, 0, 3, 0, 2, 0xFF, 0xFF}));

  // No erase time at all still waits one step; an answer at once ends it.
  Reconnect();
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgEraseTimeout=0"), 0);
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  EXPECT_EQ(sleeps_, std::vector<int>{100});
}

// PRG_Open forces option 4 to 0x0500: up to 1281 attempts, each of 21 reads, could keep a dead line
// busy for hours. The erase gives up once the kernel has been silent for two minutes on the port's
// clock (what a real port spends waiting), not after all the attempts.
TEST_F(KernelTiming, AnEraseThatIsNeverAnsweredGivesUpAfterTwoMinutesOnThePortsClock) {
  ASSERT_EQ(static_cast<PRG_Options*>(handle_)->PrgEraseOption4, 0x0500u);
  target_->onRequest = AckOnly;
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_FAILED);
  const uint64_t attempt = kReads * kSilentHeaderMs;
  EXPECT_GE(elapsedMs(), 100 + 120000);
  EXPECT_LE(elapsedMs(), 100 + 120000 + attempt);
  EXPECT_EQ(messages_.back(), "Erase Failed\n");
}

TEST_F(KernelTiming, ReadVerifyAndMemoryWritePauseAsWrittenAndReceiveOnce) {
  // A read: chunk / 100 ms after each request (226 bytes: 2 ms), one receive.
  target_->onRequest = AckOnly;
  std::vector<uint16_t> back(113);
  EXPECT_EQ(PRG_FlashRead(handle_, 0x3F0000, 0, 226, back.data()), PRG_FAILED);
  EXPECT_EQ(sleeps_, std::vector<int>{2});
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>(kReads, kSilentHeaderMs));
  EXPECT_EQ(messages_.back(), "Failed data receive\n");

  // A verify: the verify pause, one receive.
  Reconnect();
  target_->onRequest = AckOnly;
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgVerifyTimeout=40,PrgProgrammingOption4=5"), 0);
  EXPECT_EQ(PRG_FlashVerify(handle_, 0x3F0100, 0, 8, words_), PRG_FAILED);
  EXPECT_EQ(sleeps_, std::vector<int>{40});
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>(kReads, kSilentHeaderMs));
  EXPECT_EQ(messages_.back(), "Verify Failed, Address = 003f0100\n");
}

TEST_F(KernelTiming, MemoryWritesPauseChunkOverHundredAndFlashWritesTheProgrammingTime) {
  std::vector<uint16_t> words(250, 0xA5A5);
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgProgrammingTimeout=3"), 0);
  // 500 bytes: chunks of 228, 228 and 44 bytes.
  EXPECT_EQ(PRG_MemWrite(handle_, 0x8000, 0, 500, words.data()), PRG_DONE);
  EXPECT_EQ(sleeps_, (std::vector<int>{2, 2, 0}));
  sleeps_.clear();
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3F0000, 0, 500, words.data()), PRG_DONE);
  EXPECT_EQ(sleeps_, (std::vector<int>{3, 3, 3}));
  EXPECT_EQ(line_->timeouts(), 0);  // every answer was there: no read waited
}

// A kernel that acts on the erase's baud code must be told the rate its session runs at, whatever
// option chose that rate; and a sector mask the host names replaces 0x000F.
struct RateCode {
  const char* options;
  int code;
};

class EraseBaudCode : public KernelTiming, public ::testing::WithParamInterface<RateCode> {};

TEST_P(EraseBaudCode, TheErasePacketCarriesTheCodeOfTheSessionsRate) {
  PRG_Close(handle_);
  target_ = std::make_unique<ScriptedTarget>(line_);
  ASSERT_EQ(PRG_SetOptions(handle_, GetParam().options), 0);
  ConnectToRunningKernel();
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgEraseTimeout=0,PrgEraseOption4=0"), 0);
  target_->onRequest = AckOnly;
  PRG_FlashErase(handle_);
  const Bytes& data = target_->requests.back().data;
  ASSERT_EQ(data.size(), 20u);
  EXPECT_EQ(data[14], 0);
  EXPECT_EQ(data[15], GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    EachRate, EraseBaudCode,
    ::testing::Values(RateCode{"EmuBaudRate=115200", 8}, RateCode{"EmuBaudRate=57600", 1},
                      RateCode{"EmuBaudRate=38400", 2}, RateCode{"EmuBaudRate=19200", 3},
                      RateCode{"EmuBaudRate=9600", 4}, RateCode{"EmuBaudRate=4800", 5},
                      RateCode{"EmuBaudRate=2400", 6}, RateCode{"EmuBaudRate=1200", 7},
                      RateCode{"EmuBaudRate=0,PrgEraseOption3=8", 8},        // the rate by its code
                      RateCode{"EmuBaudRate=12345,PrgEraseOption3=0", 3}));  // an odd rate is 19200

TEST_F(KernelTiming, AHostsSectorMaskReplacesTheForcedOne) {
  PRG_Close(handle_);
  target_ = std::make_unique<ScriptedTarget>(line_);
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgEraseSectorMask=00F0"), 0);
  ConnectToRunningKernel();
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgEraseTimeout=0,PrgEraseOption4=0"), 0);
  target_->onRequest = AckOnly;
  PRG_FlashErase(handle_);
  const Bytes& data = target_->requests.back().data;
  ASSERT_EQ(data.size(), 20u);
  EXPECT_EQ(Bytes(data.begin() + 10, data.begin() + 12), (Bytes{0x00, 0xF0}));
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgEraseSectorMask=0"), 0);
}

}  // namespace
}  // namespace axtune::test
