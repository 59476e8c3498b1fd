// The simulated processor: the boot ROM's table handling, the flash model and its export, and when
// the processor would start the firmware in flash.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/boot/boot_processor.h"
#include "sim/boot/processor_memory.h"
#include "sim/boot/standin_kernel.h"

namespace axtune::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// A boot table: key, reserved words, entry, one block, end.
Bytes BootTable(uint16_t key, uint32_t entry, uint32_t address, const std::vector<uint16_t>& words) {
  Bytes t;
  auto word = [&t](uint16_t w) {
    t.push_back(static_cast<uint8_t>(w & 0xFF));
    t.push_back(static_cast<uint8_t>(w >> 8));
  };
  word(key);
  for (int i = 0; i < 8; ++i) word(0);
  word(static_cast<uint16_t>(entry >> 16));
  word(static_cast<uint16_t>(entry & 0xFFFF));
  word(static_cast<uint16_t>(words.size()));
  word(static_cast<uint16_t>(address >> 16));
  word(static_cast<uint16_t>(address & 0xFFFF));
  for (uint16_t w : words) word(w);
  word(0);
  return t;
}

std::vector<uint16_t> SignatureWords() {
  std::vector<uint16_t> w;
  for (uint32_t i = 0; i < kStandInKernelSignatureWords; ++i) {
    w.push_back(static_cast<uint16_t>(static_cast<uint8_t>(kStandInKernelSignature[2 * i]) |
                                      (static_cast<uint8_t>(kStandInKernelSignature[2 * i + 1]) << 8)));
  }
  return w;
}

Bytes Feed(BootProcessor& p, const Bytes& in) {
  Bytes out;
  for (uint8_t b : in) p.onByte(b, out);
  return out;
}

TEST(BootRom, AutobaudsOnAEchoesTheTableAndStartsTheKernel) {
  BootProcessor p;
  EXPECT_TRUE(p.active());
  EXPECT_TRUE(Feed(p, {0x00, 0x55, 0xAA}).empty());  // nothing but "A" locks the rate
  EXPECT_EQ(Feed(p, {'A'}), Bytes{'A'});
  const Bytes table = BootTable(0x08AA, kStandInKernelEntryPoint, kStandInKernelEntryPoint, SignatureWords());
  EXPECT_EQ(Feed(p, table), table);
  EXPECT_TRUE(p.kernelRunning());
  EXPECT_EQ(Feed(p, {'A'}), Bytes{'A'});  // the kernel's own autobaud
  EXPECT_EQ(Feed(p, {0, 0, 0, 0}), Bytes{});
}

TEST(BootRom, AWrongKeyOrAnImageThatIsNotTheKernelLeavesItSilent) {
  BootProcessor p;
  Feed(p, {'A'});
  EXPECT_EQ(Feed(p, {0xAB, 0x08}).size(), 2u);  // both key bytes are echoed, then the ROM gives up
  // Erased flash: the watchdog brings the ROM back, which ignores all but "A" again.
  EXPECT_FALSE(p.halted());
  EXPECT_TRUE(Feed(p, {0x00, 0xAA, 0x08}).empty());
  EXPECT_EQ(Feed(p, {'A'}), Bytes{'A'});

  std::vector<uint16_t> notKernel = SignatureWords();
  notKernel[3] ^= 1;
  Feed(p, BootTable(0x08AA, 0x9000, 0x9000, notKernel));
  EXPECT_TRUE(p.halted());
  EXPECT_FALSE(p.kernelRunning());
  EXPECT_EQ(p.ramWord(0x9000), notKernel[0]);
  EXPECT_TRUE(Feed(p, {'A', 0x41}).empty());
  p.reset();  // the way back: the ROM runs again
  EXPECT_FALSE(p.halted());
  EXPECT_EQ(Feed(p, {'A'}), Bytes{'A'});

  // With valid firmware in flash a wrong key makes the ROM start it.
  BootProcessor shipped;
  shipped.setFactoryFirmware();
  EXPECT_FALSE(shipped.active());
  shipped.enterBootRom();
  EXPECT_TRUE(shipped.active());
  Feed(shipped, {'A', 0x00, 0x00});
  EXPECT_FALSE(shipped.active());
}

TEST(BootRom, BytesAtAnotherRateAfterTheLockSilenceIt) {
  BootProcessor p;
  p.onHostBaudRate(19200);
  Feed(p, {'A'});
  p.onHostBaudRate(38400);  // a rate change alone puts nothing on the wire
  p.onHostBaudRate(19200);
  EXPECT_FALSE(p.halted());
  EXPECT_EQ(Feed(p, {0xAA}), std::vector<uint8_t>{0xAA});
  p.onHostBaudRate(38400);
  EXPECT_TRUE(Feed(p, {0x08}).empty());
  EXPECT_TRUE(p.halted());
  p.onHostBaudRate(19200);  // garbage already taken as table data: only a reset helps
  EXPECT_TRUE(Feed(p, {0x08}).empty());
  p.reset();
  EXPECT_FALSE(p.halted());
}

TEST(FlashModel, ProgrammingClearsBitsOnlyAndEraseWorksBySector) {
  ProcessorMemory m(FlashGeometry::F2808());
  EXPECT_EQ(m.flashStart(), 0x3E8000u);
  EXPECT_EQ(m.flashEnd(), 0x3F8000u);
  EXPECT_EQ(m.flashWord(0x3E8000), 0xFFFF);
  const uint16_t first[2] = {0xF0F0, 0x1234};
  EXPECT_EQ(m.program(0x3E8000, first, 2), ProcessorMemory::ProgramResult::Ok);
  const uint16_t cleared[2] = {0x7070, 0x1234};
  EXPECT_EQ(m.program(0x3E8000, cleared, 2), ProcessorMemory::ProgramResult::Ok);
  EXPECT_EQ(m.flashWord(0x3E8000), 0x7070);
  const uint16_t set[2] = {0x0000, 0x1235};
  uint32_t failedAt = 0;
  EXPECT_EQ(m.program(0x3E8000, set, 2, &failedAt), ProcessorMemory::ProgramResult::BitWouldBeSet);
  EXPECT_EQ(failedAt, 0x3E8001u);
  EXPECT_EQ(m.flashWord(0x3E8000), 0x0000);  // the words before the failing one are programmed
  EXPECT_EQ(m.program(0x3F7FFF, set, 2), ProcessorMemory::ProgramResult::OutOfRange);
  EXPECT_EQ(m.program(0x3E7FFF, set, 1), ProcessorMemory::ProgramResult::OutOfRange);

  const uint16_t top = 0x0001;
  EXPECT_EQ(m.program(0x3F7000, &top, 1), ProcessorMemory::ProgramResult::Ok);
  EXPECT_FALSE(m.eraseSectors(0));
  EXPECT_FALSE(m.eraseSectors(0x10));  // the F2808 has four sectors
  EXPECT_TRUE(m.eraseSectors(0x1));    // sector A is the highest
  EXPECT_EQ(m.flashWord(0x3F7000), 0xFFFF);
  EXPECT_EQ(m.flashWord(0x3E8000), 0x0000);
  EXPECT_TRUE(m.eraseSectors(0x8));
  EXPECT_EQ(m.flashWord(0x3E8000), 0xFFFF);

  const uint16_t words[3] = {1, 2, 0xFFFF};
  m.program(0x3E9000, words, 3);
  EXPECT_EQ(m.flashSum(0x3E9000, 3), 2);  // modulo 65536

  ProcessorMemory big(FlashGeometry::F28335());
  EXPECT_EQ(big.flashStart(), 0x300000u);
  EXPECT_EQ(big.flashEnd(), 0x340000u);
  EXPECT_EQ(big.geometry().sectors.size(), 8u);
  EXPECT_TRUE(big.eraseSectors(0xFF));
}

TEST(FlashModel, FirmwareCountsAsValidOnlyWhenProgrammedWholeAndVerified) {
  ProcessorMemory m(FlashGeometry::F2808());
  EXPECT_FALSE(m.firmwareValid());  // erased
  m.setFactoryFirmware();
  EXPECT_TRUE(m.firmwareValid());
  ASSERT_TRUE(m.eraseSectors(0xF));
  EXPECT_FALSE(m.firmwareValid());

  const uint16_t branch[2] = {0x0040, 0x8000};
  ASSERT_EQ(m.program(m.flashEntryPoint(), branch, 2), ProcessorMemory::ProgramResult::Ok);
  const uint16_t code[2] = {0x1111, 0x2222};
  ASSERT_EQ(m.program(0x3E8000, code, 2), ProcessorMemory::ProgramResult::Ok);
  EXPECT_FALSE(m.firmwareValid());  // programmed but not verified: half done
  m.markVerified(m.flashEntryPoint(), 2);
  EXPECT_FALSE(m.firmwareValid());
  m.markVerified(0x3E8000, 2);
  EXPECT_TRUE(m.firmwareValid());

  const uint16_t clash = 0xFFFF;
  EXPECT_EQ(m.program(0x3E8000, &clash, 1), ProcessorMemory::ProgramResult::BitWouldBeSet);
  EXPECT_FALSE(m.firmwareValid());  // a failed write spoils it until the next erase
  ASSERT_TRUE(m.eraseSectors(0xF));
  EXPECT_FALSE(m.firmwareValid());
}

TEST(FlashModel, ExportsIntelHexHighByteFirstAndRawBinary) {
  ProcessorMemory m(FlashGeometry::F2808());
  const uint16_t words[2] = {0x1234, 0xABCD};
  m.program(0x3E8000, words, 2);
  const auto dir = std::filesystem::temp_directory_path();
  const auto hex = dir / ("axtune-flash-test-" +
                          std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".hex");
  const auto bin = std::filesystem::path(hex).replace_extension(".bin");
  std::string error;
  ASSERT_TRUE(m.writeIntelHex(hex.string(), &error)) << error;
  ASSERT_TRUE(m.writeBinary(bin.string(), &error)) << error;

  std::ifstream h(hex);
  std::stringstream stream;
  stream << h.rdbuf();
  const std::string text = stream.str();
  // Word 0x3E8000 is byte 0x7D0000: an extended address record, one data record, the end.
  EXPECT_EQ(text.substr(0, 16), ":02000004007D7D\n");
  EXPECT_NE(text.find(":100000001234ABCDFFFFFFFFFFFFFFFFFFFFFFFF"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 12), ":00000001FF\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);

  EXPECT_EQ(std::filesystem::file_size(bin), 2u * 0x10000u);
  std::ifstream b(bin, std::ios::binary);
  char first[4] = {};
  b.read(first, 4);
  EXPECT_EQ(Bytes(first, first + 4), Bytes({0x34, 0x12, 0xCD, 0xAB}));
  h.close();  // Windows removes no file that is still open
  b.close();
  std::filesystem::remove(hex);
  std::filesystem::remove(bin);

  EXPECT_FALSE(m.writeBinary("/nonexistent-dir/flash.bin", &error));
  EXPECT_NE(error.find("/nonexistent-dir/flash.bin"), std::string::npos);
}

}  // namespace
}  // namespace axtune::sim
