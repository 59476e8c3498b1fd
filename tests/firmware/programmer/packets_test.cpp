// The packet layer and the operations on it: chunking, sequence numbers, acknowledgements both ways,
// rejected, repeated and malformed kernel packets, error statuses and the verify sum.
#include <numeric>

#include "firmware/programmer/kernel_protocol.h"
#include "firmware/programmer/prg_port.h"
#include "firmware/programmer/prg_state.h"
#include "sim/boot/flash_kernel.h"
#include "tests/firmware/programmer/programmer_fixture.h"

namespace axtune::test {
namespace {

Bytes KernelPacket(uint8_t sequence, const Bytes& data, uint16_t total = 0, uint16_t checksum = 0) {
  if (total == 0) total = static_cast<uint16_t>(8 + data.size());
  Bytes p(8 + data.size());
  p[0] = 0x01;
  p[1] = 0x99;
  p[2] = 0x66;
  p[3] = sequence;
  p[4] = static_cast<uint8_t>(total >> 8);
  p[5] = static_cast<uint8_t>(total & 0xFF);
  p[6] = static_cast<uint8_t>(checksum >> 8);
  p[7] = static_cast<uint8_t>(checksum & 0xFF);
  std::copy(data.begin(), data.end(), p.begin() + 8);
  return p;
}

TEST_F(ProgrammerSession, WritesGoOutIn114WordChunksAtAdvancingAddresses) {
  Connect();
  std::vector<uint16_t> words(250);
  std::iota(words.begin(), words.end(), 0x4000);
  clearWritten();
  PRG_SetOptions(handle_, "PrgProgrammingOption1=11,PrgProgrammingOption2=22,PrgProgrammingOption3=33");
  ASSERT_EQ(PRG_FlashWrite(handle_, 0x3E8010, 0, 500, words.data()), PRG_DONE);
  const auto packets = HostPackets(written());
  ASSERT_EQ(packets.size(), 3u);
  const uint32_t counts[] = {114, 114, 22};
  const uint32_t addresses[] = {0x3E8010, 0x3E8010 + 114, 0x3E8010 + 228};
  for (size_t i = 0; i < 3; ++i) {
    const Bytes& d = packets[i].data;
    ASSERT_EQ(d.size(), 20 + 2 * counts[i]);
    EXPECT_EQ(Big16(d, 0), 0x000B);
    EXPECT_EQ((uint32_t{Big16(d, 2)} << 16) | Big16(d, 4), addresses[i]);
    EXPECT_EQ(Big16(d, 8), counts[i]);
    EXPECT_EQ(Big16(d, 10), 0x11);
    EXPECT_EQ(Big16(d, 12), 0x22);
    EXPECT_EQ(Big16(d, 14), 0x33);
    EXPECT_EQ(Big16(d, 18), 0xFFFF);
    EXPECT_EQ(Big16(d, 20), words[(addresses[i] - 0x3E8010)]);  // data high byte first
  }
  EXPECT_EQ(packets[0].total, 256);  // a full chunk fills the packet exactly
  EXPECT_EQ(processor_->flashWord(0x3E8010 + 249), words[249]);

  // Reads come in 113-word chunks.
  clearWritten();
  std::vector<uint16_t> back(250);
  ASSERT_EQ(PRG_FlashRead(handle_, 0x3E8010, 0, 500, back.data()), PRG_DONE);
  EXPECT_EQ(back, words);
  const auto reads = HostPackets(written());
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(Big16(reads[0].data, 8), 113);
  EXPECT_EQ(Big16(reads[2].data, 8), 24);
  EXPECT_EQ(Big16(reads[1].data, 4), 0x8010 + 113);
}

TEST_F(ProgrammerSession, OddAndTinyByteCounts) {
  Connect();
  uint16_t words[2] = {0x1111, 0x2222};
  clearWritten();
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 1, words), PRG_FAILED);
  EXPECT_EQ(PRG_FlashRead(handle_, 0x3E8000, 0, 1, words), PRG_FAILED);
  EXPECT_EQ(PRG_MemWrite(handle_, 0x9000, 0, 2, nullptr), PRG_FAILED);
  EXPECT_EQ(PRG_Status(), PRG_FAILED);
  EXPECT_TRUE(written().empty());

  ASSERT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 3, words), PRG_DONE);
  const auto packets = HostPackets(written());
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(Big16(packets[0].data, 8), 1);
  EXPECT_EQ(packets[0].data.size(), 22u);
  EXPECT_EQ(processor_->flashWord(0x3E8001), 0xFFFF);
}

TEST_F(ProgrammerSession, SequenceNumbersStartAtZeroAndWrapAfter255) {
  Connect();
  clearWritten();
  uint16_t word = 7;
  for (int i = 0; i < 257; ++i) ASSERT_EQ(PRG_MemWrite(handle_, 0xB000, 0, 2, &word), PRG_DONE) << i;
  const auto packets = HostPackets(written());
  ASSERT_EQ(packets.size(), 257u);
  EXPECT_EQ(packets[0].sequence, 0);
  EXPECT_EQ(packets[255].sequence, 255);
  EXPECT_EQ(packets[256].sequence, 0);
}

TEST_F(ProgrammerSession, AnAcknowledgementSayingRejectedFailsTheCommand) {
  Connect();
  tamper_ = [](Bytes out) {
    if (!out.empty() && out[0] == 0x06) out[0] = 0x15;
    return out;
  };
  uint16_t word = 0x1234;
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 2, &word), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Send packet rejected\n"));
  messages_.clear();
  EXPECT_EQ(PRG_FlashVerify(handle_, 0x3E8000, 0, 2, &word), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Send packet rejected\n"));

  // An acknowledgement for another sequence number is no acknowledgement either.
  tamper_ = [](Bytes out) {
    if (out.size() >= 4 && out[0] == 0x06) out[3] ^= 0x01;
    return out;
  };
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_FAILED);
}

TEST_F(ProgrammerSession, KernelErrorStatusesFailTheOperationWithTheirNumber) {
  Connect();
  uint16_t zero = 0x0000, ones = 0xFFFF;
  ASSERT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 2, &zero), PRG_DONE);
  // Programming can only clear bits: 0x0000 cannot become 0xFFFF without an erase.
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 2, &ones), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Write Failed, Address = 003e8000, Error = 32769\n"));

  // A read answered with an error status hands nothing back.
  uint16_t buffer[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
  EXPECT_EQ(PRG_FlashRead(handle_, 0x100000, 0, 8, buffer), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Read Failed, Address = 00100000, Error = 32771\n"));
  EXPECT_EQ(buffer[0], 0xAAAA);
  EXPECT_EQ(PRG_MemRead(handle_, 0x20000, 0, 8, buffer), PRG_FAILED);
  EXPECT_EQ(buffer[0], 0xAAAA);

  // An acknowledged read whose answer never comes.
  tamper_ = [](Bytes out) {
    if (out.size() > 8) out.resize(8);
    return out;
  };
  EXPECT_EQ(PRG_FlashRead(handle_, 0x3E8000, 0, 2, buffer), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Failed data receive\n"));
}

TEST_F(ProgrammerSession, VerifySendsOnePacketWithTheSixteenBitSum) {
  Connect();
  std::vector<uint16_t> words(3489);
  for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint16_t>(0xF000 + i * 7);
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  ASSERT_EQ(PRG_FlashWrite(handle_, 0x3EC000, 0, 6978, words.data()), PRG_DONE);
  clearWritten();
  PRG_SetOptions(handle_, "PrgVerifyOption1=A1,PrgVerifyOption2=B2,PrgVerifyOption3=C3,PrgVerifyOption4=D4");
  ASSERT_EQ(PRG_FlashVerify(handle_, 0x3EC000, 0, 6978, words.data()), PRG_DONE);
  const auto packets = HostPackets(written());
  ASSERT_EQ(packets.size(), 1u);
  const Bytes& d = packets[0].data;
  uint16_t sum = 0;
  for (uint16_t w : words) sum = static_cast<uint16_t>(sum + w);
  EXPECT_EQ(Big16(d, 0), 0x000C);
  EXPECT_EQ(Big16(d, 8), 3489);
  EXPECT_EQ(Big16(d, 10), 0xA1);
  EXPECT_EQ(Big16(d, 12), 0xB2);
  EXPECT_EQ(Big16(d, 14), 0xC3);
  EXPECT_EQ(Big16(d, 16), sum);  // the sum takes the place of the fourth option

  words[100] ^= 1;
  EXPECT_EQ(PRG_FlashVerify(handle_, 0x3EC000, 0, 6978, words.data()), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Verify Failed, Address = 003ec000\n"));
  EXPECT_EQ(PRG_Status(), PRG_FAILED);
}

TEST_F(ProgrammerSession, EraseCarriesItsParametersAndWaitsPerSector) {
  PRG_SetOptions(handle_, "PrgEraseOption3=3,PrgEraseTimeout=50");
  Connect();
  clearWritten();
  sleeps_.clear();
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  const auto packets = HostPackets(written());
  ASSERT_EQ(packets.size(), 1u);
  const Bytes& d = packets[0].data;
  EXPECT_EQ(Big16(d, 0), 0x000A);
  EXPECT_EQ(Big16(d, 2) | Big16(d, 4) | Big16(d, 6) | Big16(d, 8), 0);
  EXPECT_EQ(Big16(d, 10), 0x000F);
  EXPECT_EQ(Big16(d, 12), 0x0099);
  EXPECT_EQ(Big16(d, 14), 0x0003);
  EXPECT_EQ(Big16(d, 16), 0x0500);
  // 50 x 4 sectors x 10 ms in 100 ms steps.
  EXPECT_EQ(std::count(sleeps_.begin(), sleeps_.end(), 100), 20);
  for (uint32_t a : {0x3E8000u, 0x3F7FFFu}) EXPECT_EQ(processor_->flashWord(a), 0xFFFF);

  // An erase the kernel refuses (a sector the F2808 does not have).
  PRG_SetOptions(handle_, "PrgEraseOption1=10,PrgEraseOption4=2");
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Erase Failed\n"));
}

class KernelPackets : public ProgrammerSession {
 protected:
  void SetUp() override {
    ProgrammerSession::SetUp();
    ASSERT_EQ(prg::Port().open(kDevice, 19200), 0);
    prg::ResetSequence();
  }
  // The acknowledgement the host wrote for the packet just received.
  Bytes lastAck() {
    Bytes w = written();
    clearWritten();
    return w.size() >= 8 ? Bytes(w.end() - 8, w.end()) : w;
  }
};

TEST_F(KernelPackets, AValidPacketIsAcceptedAndDelivered) {
  line_->feed(KernelPacket(5, {0x00, 0x00, 0xBE, 0xEF}));
  uint8_t buffer[248] = {};
  EXPECT_EQ(prg::ReceivePacket(buffer, 248), 4u);
  EXPECT_EQ(buffer[2], 0xBE);
  EXPECT_EQ(lastAck(), Bytes({0x06, 0x99, 0x66, 5, 0x00, 0x08, 0x00, 0x00}));
  EXPECT_EQ(prg::ReceivePacket(buffer, 249), 0u);  // a buffer beyond a packet's data is refused
}

TEST_F(KernelPackets, LengthsOutside9To256AndChecksumsAreRejected) {
  uint8_t buffer[248] = {0x77};
  line_->feed(KernelPacket(1, {}, 8));
  EXPECT_EQ(prg::ReceivePacket(buffer, 248), 0u);
  EXPECT_EQ(lastAck()[0], 0x15);
  line_->feed(KernelPacket(2, {}, 257));
  EXPECT_EQ(prg::ReceivePacket(buffer, 248), 0u);
  EXPECT_EQ(lastAck()[0], 0x15);
  line_->feed(KernelPacket(3, {0x00, 0x00}, 0, 0x1234));
  EXPECT_EQ(prg::ReceivePacket(buffer, 248), 0u);
  EXPECT_EQ(lastAck(), Bytes({0x15, 0x99, 0x66, 3, 0x00, 0x08, 0x12, 0x34}));
  EXPECT_EQ(buffer[0], 0x77);
}

TEST_F(KernelPackets, ARepeatedSequenceNumberIsNeitherAcknowledgedNorDelivered) {
  uint8_t buffer[248] = {};
  line_->feed(KernelPacket(9, {0x00, 0x00}));
  EXPECT_EQ(prg::ReceivePacket(buffer, 248), 2u);
  clearWritten();
  line_->feed(KernelPacket(9, {0x00, 0x01}));
  EXPECT_EQ(prg::ReceivePacket(buffer, 248), 0u);
  EXPECT_TRUE(written().empty());
  // Garbage in front of a header, or a header for the other direction, is no packet either.
  line_->feed({0x01, 0x66, 0x99, 10, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(prg::ReceivePacket(buffer, 248), 0u);
  EXPECT_TRUE(written().empty());
}

// The simulated kernel's side of the same rules.
TEST(FlashKernelSide, RejectsBadPacketsExecutesOnceAndAnswersWithItsOwnSequence) {
  sim::ProcessorMemory memory(sim::FlashGeometry::F2808());
  sim::FlashKernel kernel(memory);
  kernel.start();
  auto send = [&](const Bytes& packet) {
    Bytes out;
    for (uint8_t b : packet) kernel.onByte(b, out);
    return out;
  };
  const Bytes ping = {0x01, 0x66, 0x99, 0x00, 0x00, 0x1C, 0x00, 0x00, 0x00, 0x01, 0,  1,  2,  3,
                      4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14, 15, 16, 17};
  Bytes out = send(ping);
  ASSERT_EQ(out.size(), 8u + 8u + 12u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), Bytes({0x06, 0x66, 0x99, 0x00, 0x00, 0x08, 0x00, 0x00}));
  EXPECT_EQ(Bytes(out.begin() + 8, out.begin() + 16),
            Bytes({0x01, 0x99, 0x66, 0x00, 0x00, 0x14, 0x00, 0x00}));
  EXPECT_EQ(out[8 + 8 + 2], 0x00);
  EXPECT_EQ(out[8 + 8 + 11], 0x09);

  // A command with the same sequence again: acknowledged, not executed.
  Bytes erase = {0x01, 0x66, 0x99, 0x07, 0x00, 0x1C, 0x00, 0x00, 0x00, 0x0A, 0, 0, 0,    0,
                 0,    0,    0,    0,    0x00, 0x01, 0,    0,    0,    0,    0, 0, 0xFF, 0xFF};
  EXPECT_EQ(send(erase).size(), 8u + 10u);
  out = send(erase);
  EXPECT_EQ(out.size(), 8u);
  EXPECT_EQ(out[0], 0x06);
  EXPECT_EQ(kernel.executedCommands(), 2u);
  // A ping is always answered: a new session numbers from 0 again.
  EXPECT_EQ(send(ping).size(), 28u);

  // Oversized and too short: refused after the header.
  out = send({0x01, 0x66, 0x99, 0x01, 0x01, 0x01, 0x00, 0x00});
  EXPECT_EQ(out, Bytes({0x15, 0x66, 0x99, 0x01, 0x00, 0x08, 0x00, 0x00}));
  out = send({0x01, 0x66, 0x99, 0x02, 0x00, 0x08, 0x00, 0x00});
  EXPECT_EQ(out[0], 0x15);
  // A checksum field that is not zero.
  Bytes bad = ping;
  bad[3] = 3;
  bad[7] = 1;
  out = send(bad);
  EXPECT_EQ(out.size(), 8u);
  EXPECT_EQ(out[0], 0x15);
  EXPECT_EQ(kernel.rejectedPackets(), 3u);

  // The next good command is answered with the kernel's second sequence number.
  Bytes next = ping;
  next[3] = 4;
  out = send(next);
  ASSERT_EQ(out.size(), 28u);
  EXPECT_EQ(out[8 + 3], 3);
}

}  // namespace
}  // namespace axtune::test

namespace axtune::test {
namespace {

TEST_F(ProgrammerSession, VerifyOfMoreThan65535WordsGoesInSeveralPackets) {
  Connect();
  std::vector<uint16_t> all(0x10000);  // the F2808's whole flash
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint16_t>(i * 40503u);
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  ASSERT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 0x20000, all.data()), PRG_DONE);
  clearWritten();
  ASSERT_EQ(PRG_FlashVerify(handle_, 0x3E8000, 0, 0x20000, all.data()), PRG_DONE);
  const auto packets = HostPackets(written());
  ASSERT_EQ(packets.size(), 2u);  // a 16-bit word count of 0x10000 would read as 0
  EXPECT_EQ(Big16(packets[0].data, 8), 0xFFFF);
  EXPECT_EQ(Big16(packets[1].data, 8), 1);
  EXPECT_EQ(Big16(packets[1].data, 2), 0x003F);  // 0x3E8000 + 0xFFFF = 0x3F7FFF
  EXPECT_EQ(Big16(packets[1].data, 4), 0x7FFF);
  EXPECT_EQ(Big16(packets[1].data, 16), all.back());

  all.back() ^= 0x8000;
  EXPECT_EQ(PRG_FlashVerify(handle_, 0x3E8000, 0, 0x20000, all.data()), PRG_FAILED);
}

TEST_F(ProgrammerSession, AnswersLongerOrShorterThanAskedForAreNotTrusted) {
  Connect();
  const uint16_t words[4] = {1, 2, 3, 4};
  ASSERT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 8, words), PRG_DONE);
  // The kernel answers a 2-word read with 4 words: only 2 reach the caller's buffer.
  tamper_ = [this](Bytes out) {
    if (out.size() == 8 + 8 + 2 + 4) {
      for (uint8_t extra : {0xEE, 0xEE, 0xEE, 0xEE}) out.push_back(extra);
      out[8 + 5] = static_cast<uint8_t>(out[8 + 5] + 4);
    }
    return out;
  };
  uint16_t buffer[3] = {0, 0, 0x5555};
  EXPECT_EQ(PRG_FlashRead(handle_, 0x3E8000, 0, 4, buffer), PRG_DONE);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[1], 2);
  EXPECT_EQ(buffer[2], 0x5555);

  // A ping answer cut short after its status is no kernel's answer.
  tamper_ = [](Bytes out) {
    if (out.size() == 8 + 8 + 12) {
      out.resize(8 + 8 + 4);
      out[8 + 5] = 12;
    }
    return out;
  };
  PRG_Close(handle_);
  messages_.clear();
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Invalid return packet\n"));
}

}  // namespace
}  // namespace axtune::test
