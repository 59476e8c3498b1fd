// Kernel packets byte for byte against the scripted kernel, with addresses, pages and options whose
// high bits are set: the 8-byte header, the command block's fields high byte first (32-bit address
// high word first, options cut to their low 16 bits), data words high byte first both ways, the
// host's acknowledgement of a response; and the autobaud's 21 attempts on the fake clock.
#include "firmware/programmer/boot_loader.h"
#include "firmware/programmer/prg_port.h"
#include "tests/firmware/programmer/scripted_target.h"

namespace axtune::test {
namespace {

using KernelPacketBytes = ScriptedSession;

TEST_F(KernelPacketBytes, CommandBlocksAndDataGoHighByteFirst) {
  ConnectToRunningKernel();
  ASSERT_EQ(PRG_SetOptions(handle_,
                           "PrgProgrammingOption1=AAAA1111,PrgProgrammingOption2=2222,PrgProgrammingOption3="
                           "FFFF3333,PrgProgrammingOption4=00010000,PrgVerifyOption1=5A5A0001,"
                           "PrgVerifyOption2=0002,PrgVerifyOption3=0003"),
            0);
  const uint16_t words[2] = {0x0102, 0xA0B0};

  // The ping was sequence 0; the write is 1.
  ASSERT_EQ(PRG_FlashWrite(handle_, 0x12345678, 0x9ABC, 4, words), PRG_DONE);
  ASSERT_EQ(target_->requests.size(), 2u);
  const KernelRequest& write = target_->requests[1];
  EXPECT_EQ(write.sequence, 1);
  EXPECT_EQ(write.total, 8 + 24);
  EXPECT_EQ(write.checksumHigh, 0);
  EXPECT_EQ(write.checksumLow, 0);
  EXPECT_EQ(write.data, (Bytes{0x00, 0x0B, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x00, 0x02, 0x11, 0x11,
                               0x22, 0x22, 0x33, 0x33, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x02, 0xA0, 0xB0}));
  // The host acknowledged the kernel's response (its sequence 1): bytes 1..3 of that packet.
  ASSERT_EQ(target_->hostAcks.size(), 2u);
  EXPECT_EQ(target_->hostAcks[1], (Bytes{0x06, 0x99, 0x66, 0x01, 0x00, 0x08, 0x00, 0x00}));

  // A read: no parameters, and the response's words high byte first.
  target_->onRequest = [this](const KernelRequest& r) {
    Bytes out = Acknowledge(r);
    for (uint8_t b : KernelPacket(target_->nextSequence++, StatusData(0, {0xBE, 0xEF, 0x01, 0x02}))) {
      out.push_back(b);
    }
    return out;
  };
  uint16_t back[2] = {};
  ASSERT_EQ(PRG_FlashRead(handle_, 0x00ABCDEF, 1, 4, back), PRG_DONE);
  EXPECT_EQ(target_->requests.back().data,
            (Bytes{0x00, 0x0D, 0x00, 0xAB, 0xCD, 0xEF, 0x00, 0x01, 0x00, 0x02,
                   0,    0,    0,    0,    0,    0,    0,    0,    0xFF, 0xFF}));
  EXPECT_EQ(back[0], 0xBEEF);
  EXPECT_EQ(back[1], 0x0102);

  // A verify: the three options, then the 16-bit sum 0x0102 + 0xA0B0 in place of the fourth.
  target_->onRequest = nullptr;
  target_ = std::make_unique<ScriptedTarget>(line_);
  target_->startKernel();
  target_->nextSequence = 3;
  ASSERT_EQ(PRG_FlashVerify(handle_, 0x003F0000, 0, 4, words), PRG_DONE);
  ASSERT_EQ(target_->requests.size(), 1u);
  EXPECT_EQ(target_->requests[0].sequence, 3);
  EXPECT_EQ(target_->requests[0].data, (Bytes{0x00, 0x0C, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02,
                                              0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0xA1, 0xB2, 0xFF, 0xFF}));
}

// A response that comes after the write gave up on it (here: behind a packet the host had to reject,
// with one attempt only, as with all options zero) is stale once the next command goes out: it must
// not be taken as that command's acknowledgement, nor shift the answers after it.
TEST_F(KernelPacketBytes, AStaleResponseDoesNotShiftTheNextCommand) {
  ConnectToRunningKernel();
  const uint16_t words[2] = {0x0102, 0xA0B0};
  target_->onRequest = [this](const KernelRequest& r) {
    Bytes out = Acknowledge(r);
    for (uint8_t b : KernelPacket(target_->nextSequence++, StatusData(0), 0x1234)) out.push_back(b);
    for (uint8_t b : KernelPacket(target_->nextSequence++, StatusData(0))) out.push_back(b);
    return out;
  };
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3F0000, 0, 4, words), PRG_FAILED);
  EXPECT_EQ(messages_.back(), "Write Failed, Address = 003f0000, Error = -1\n");

  // The next section: the kernel acknowledges and answers at once.
  target_->onRequest = nullptr;
  target_ = std::make_unique<ScriptedTarget>(line_);
  target_->startKernel();
  target_->nextSequence = 10;
  messages_.clear();
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3F0100, 0, 4, words), PRG_DONE)
      << (messages_.empty() ? "" : messages_.back());
  EXPECT_EQ(PRG_FlashVerify(handle_, 0x3F0100, 0, 4, words), PRG_DONE);
}

TEST_F(KernelPacketBytes, AutobaudSends21AsEachWaitingOneByteTime) {
  line_->setResponder([](const Bytes&) { return Bytes{}; });  // nobody there
  ASSERT_EQ(prg::Port().open(kDevice, 9600), 0);
  EXPECT_FALSE(prg::Autobaud(9600));
  EXPECT_EQ(line_->writeCalls(), std::vector<Bytes>(21, Bytes{'A'}));
  // 1 byte x (1,000,000 / 9600 = 104 ms) + the 100 ms floor, 21 times.
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>(21, 104 + 100));
  EXPECT_EQ(clockMs(), 21u * 204);
  prg::Port().close();

  // The ROM answers the third: two attempts wasted, none after.
  line_->reset();
  int seen = 0;
  line_->setResponder([&seen](const Bytes&) { return ++seen == 3 ? Bytes{'A'} : Bytes{}; });
  ASSERT_EQ(prg::Port().open(kDevice, 9600), 0);
  EXPECT_TRUE(prg::Autobaud(9600));
  EXPECT_EQ(line_->writeCalls().size(), 3u);
  prg::Port().close();
}

}  // namespace
}  // namespace axtune::test
