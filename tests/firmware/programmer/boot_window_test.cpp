// The boot table with several bytes on their way to the boot ROM: the same bytes on the wire, every
// echo checked in order, the first wrong or missing echo ends the load at its step with the drive
// left in its boot ROM; and the programmer port's bytes kept from one read for the next.
#include "firmware/programmer/boot_loader.h"
#include "firmware/programmer/prg_port.h"
#include "tests/firmware/programmer/programmer_fixture.h"

namespace axtune::test {
namespace {

constexpr size_t kAutobaud = 1;     // the "A" before the table
constexpr size_t kBootHeader = 22;  // key, reserved words, entry point
constexpr size_t kBlockHeader = 6;  // size and address of the first section
constexpr size_t kFirstData = kAutobaud + kBootHeader + kBlockHeader;

class BootWindow : public ProgrammerSession {
 protected:
  void useWindow(int window) {
    ASSERT_EQ(
        PRG_SetOptions(handle_, ("PrgSkipBootLoad=NO,PrgBootLoadWindow=" + std::to_string(window)).c_str()),
        0);
  }
  // Applies `change` to the echo of the byte at `offset` of everything written (the autobaud "A" is 0).
  void tamperEchoAt(size_t offset, std::function<void(Bytes&, size_t)> change) {
    echoed_ = 0;
    tamper_ = [this, offset, change](Bytes out) {
      const size_t first = echoed_;
      echoed_ += out.size();
      if (offset >= first && offset < echoed_) change(out, offset - first);
      return out;
    };
  }
  size_t echoed_ = 0;
  // Before the autobaud the programmer pings a kernel an earlier session may have left running:
  // one packet of 8 + 20 bytes in one write, which the boot ROM ignores (no echo).
  static constexpr size_t kProbeBytes = 28;
  static constexpr size_t kProbeWrites = 1;
};

TEST_F(BootWindow, AWindowPutsTheSameBytesOnTheWireInFewerWrites) {
  useWindow(1);
  Connect();
  const Bytes oneByOne = written();
  const size_t oneByOneCalls = line_->writeCalls().size();

  PRG_Close(handle_);
  processor_ = std::make_unique<sim::BootProcessor>();
  clearWritten();
  useWindow(16);
  Connect();
  EXPECT_EQ(written(), oneByOne);
  const std::vector<Bytes> calls = line_->writeCalls();
  EXPECT_LT(calls.size() * 8, oneByOneCalls) << "the table goes out 16 bytes at a time, not byte by byte";
  for (size_t i = kProbeWrites; i < calls.size(); ++i) EXPECT_LE(calls[i].size(), 16u);
}

TEST_F(BootWindow, AnEchoThatDiffersInTheMiddleOfTheWindowEndsTheLoadAtItsStep) {
  // In the first section's data, in the middle of a window of 16; and in the boot header, which is
  // longer than the window.
  const struct {
    size_t offset;
    const char* message;
  } cases[] = {{kFirstData + 100 + 7, "Error writing section data\n"},
               {kAutobaud + 19, "Error writing boot header\n"},
               {kAutobaud + kBootHeader + 3, "Error writing section header\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offset);
    processor_ = std::make_unique<sim::BootProcessor>();
    messages_.clear();
    clearWritten();
    useWindow(16);
    tamperEchoAt(c.offset, [](Bytes& out, size_t at) { out[at] ^= 0x21; });
    EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
    EXPECT_TRUE(sawMessage(c.message));
    EXPECT_TRUE(sawMessage("Failed to load boot code.\n"));
    // Nothing is sent once the wrong echo is seen: at most the rest of its window went out.
    EXPECT_LT(written().size(), kProbeBytes + c.offset + 16);
    EXPECT_FALSE(processor_->kernelRunning());
    EXPECT_TRUE(processor_->active()) << "the drive waits in its boot ROM";
    tamper_ = nullptr;
    PRG_Close(handle_);
  }
}

TEST_F(BootWindow, AMissingEchoFailsTheLoad) {
  // One echo lost in the middle of the data: the echoes after it no longer match their bytes.
  useWindow(16);
  tamperEchoAt(kFirstData + 40,
               [](Bytes& out, size_t at) { out.erase(out.begin() + static_cast<ptrdiff_t>(at)); });
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Error writing section data\n"));
  PRG_Close(handle_);

  // The ROM falls silent within the header's last window: the echoes still owed never come.
  processor_ = std::make_unique<sim::BootProcessor>();
  messages_.clear();
  useWindow(16);
  tamperEchoAt(kAutobaud + 17, [](Bytes& out, size_t at) { out.resize(at); });
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Error writing boot header\n"));
  EXPECT_FALSE(sawMessage("Error writing section header\n"));
}

TEST_F(BootWindow, AWindowLargerThanTheTableSendsItInOneWriteAndChecksEveryEcho) {
  ASSERT_EQ(prg::Port().open(kDevice, 19200), 0);
  ASSERT_TRUE(prg::Autobaud(19200));
  clearWritten();
  // Key, eight reserved words, entry 0x00009000, a block of two words at 0x0100, the end mark.
  Bytes table = {0xAA, 0x08};
  table.resize(18, 0);
  table.insert(table.end(), {0x00, 0x00, 0x00, 0x90, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x34, 0x12, 0x78,
                             0x56, 0x00, 0x00});
  prg::EchoedStream stream(PRG_MAX_BOOT_LOAD_WINDOW);
  ASSERT_TRUE(stream.send(table.data(), table.size()));
  EXPECT_EQ(stream.outstanding(), table.size());
  ASSERT_TRUE(stream.drain());
  EXPECT_EQ(line_->writeCalls(), std::vector<Bytes>{table});
  EXPECT_EQ(processor_->ramWord(0x0100), 0x1234);
  EXPECT_EQ(processor_->ramWord(0x0101), 0x5678);
  EXPECT_TRUE(processor_->halted()) << "the table ended; nothing that talks runs at 0x9000";

  // The same table to a ROM that answers only part of it: draining finds the missing echoes.
  processor_ = std::make_unique<sim::BootProcessor>();
  ASSERT_TRUE(prg::Autobaud(19200));
  tamper_ = [](Bytes out) {
    out.resize(out.size() > 1 ? out.size() - 1 : out.size());
    return out;
  };
  prg::EchoedStream shortOfOne(PRG_MAX_BOOT_LOAD_WINDOW);
  ASSERT_TRUE(shortOfOne.send(table.data(), table.size()));
  EXPECT_FALSE(shortOfOne.drain());
  EXPECT_FALSE(shortOfOne.send(table.data(), 2)) << "a failed stream sends nothing more";
}

TEST_F(BootWindow, BytesThatCameWithAReplyAreKeptForTheNextReadUntilAPurge) {
  ASSERT_EQ(prg::Port().open(kDevice, 19200), 0);
  line_->feed({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  uint8_t buffer[16] = {};
  ASSERT_EQ(prg::Port().read(buffer, 3), 3u);
  const int reads = line_->reads();
  ASSERT_EQ(prg::Port().read(buffer, 7), 7u);
  EXPECT_EQ(buffer[0], 4);
  EXPECT_EQ(buffer[6], 10);
  EXPECT_EQ(line_->reads(), reads) << "served from what the first read took";

  line_->feed({11, 12, 13});
  ASSERT_EQ(prg::Port().read(buffer, 1), 1u);
  EXPECT_TRUE(prg::Port().purge());
  EXPECT_EQ(prg::Port().read(buffer, 1), 0u) << "a purge drops the kept bytes as well";
}

}  // namespace
}  // namespace axtune::test
