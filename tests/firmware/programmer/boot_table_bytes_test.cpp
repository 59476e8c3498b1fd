// The boot table on the wire, byte for byte, against a boot ROM scripted from its public description:
// key 0x08AA, eight reserved words, the entry point and each block's address high word first, every
// word low byte first, the data as stored in the file, a block size of 0 at the end. The images use
// addresses with bits 16..31 set (the embedded kernel's are all below 0x10000, where a swapped word
// order would still look right). Also: echo failures with their messages, a section that cannot be
// read whole, and the abort flag between sections.
#include <cstring>
#include <string>

#include "coff_writer.h"
#include "firmware/coff/coff_reader.h"
#include "firmware/programmer/boot_loader.h"
#include "firmware/programmer/kernel_image.h"
#include "firmware/programmer/prg_port.h"
#include "firmware/programmer/prg_state.h"
#include "tests/firmware/programmer/scripted_target.h"

namespace axtune::test {
namespace {

namespace cw = coff::testing;

constexpr uint32_t kEntry = 0x5A3F8123;  // every byte different, so any swap shows
constexpr uint32_t kFirstBlock = 0x7E3F9010;
constexpr uint32_t kSecondBlock = 0x00AB8000;
constexpr size_t kHeaderBytes = 22;
constexpr size_t kBlockHeaderBytes = 6;

// Five words 0xA1B2, 0xC3D4, 0xE5F6, 0x0718, 0x293A as a little-endian C28x file stores them.
const Bytes kFirstData = {0xB2, 0xA1, 0xD4, 0xC3, 0xF6, 0xE5, 0x18, 0x07, 0x3A, 0x29};
const Bytes kSecondData = {0x00, 0x77, 0x25, 0x76};  // 0x7700, 0x7625

cw::Image SyntheticImage() {
  cw::Image image;
  image.entryPoint = kEntry;
  image.stringTable = false;
  // The destination is the section's virtual address; the physical one differs to show which is sent.
  image.sections.emplace_back(".text", 0x00001111, kFirstBlock, 5, kFirstData);
  image.sections.emplace_back(".bss", 0, 0x00009000, 64, Bytes{}, false, 0x0080);  // no raw data
  image.sections.emplace_back(".cinit", 0x00002222, kSecondBlock, 2, kSecondData);
  image.sections.emplace_back("copy", 0, 0x0000A000, 1, Bytes{1, 2}, false, 0x0010);  // copy: not loaded
  return image;
}

Bytes ExpectedTable() {
  Bytes t = {0xAA, 0x08};
  t.insert(t.end(), 16, 0x00);
  t.insert(t.end(), {0x3F, 0x5A, 0x23, 0x81});              // bits 16..23, 24..31, 0..7, 8..15
  t.insert(t.end(), {0x05, 0x00, 0x3F, 0x7E, 0x10, 0x90});  // 5 words at 0x7E3F9010
  t.insert(t.end(), kFirstData.begin(), kFirstData.end());
  t.insert(t.end(), {0x02, 0x00, 0xAB, 0x00, 0x00, 0x80});  // 2 words at 0x00AB8000
  t.insert(t.end(), kSecondData.begin(), kSecondData.end());
  t.insert(t.end(), {0x00, 0x00});
  return t;
}

class BootTableBytes : public ScriptedSession {
 protected:
  // The port open at 19200 and the ROM locked by the autobaud, as PRG_Open leaves them.
  void OpenAndAutobaud() {
    ASSERT_EQ(prg::Port().open(kDevice, 19200), 0);
    ASSERT_TRUE(prg::Autobaud(19200));
    ASSERT_EQ(target_->phase(), ScriptedTarget::Phase::Rom);
    line_->clearWritten();
  }
  bool Stream(const cw::Image& image, int window = 1) {
    cw::TempFile file(cw::build(image));
    path_ = file.path();
    return prg::StreamBootImage(file.path(), window);
  }
  std::string path_;
};

TEST_F(BootTableBytes, HighAddressBitsGoOutInTheBootRomsOrder) {
  OpenAndAutobaud();
  ASSERT_TRUE(Stream(SyntheticImage()));
  EXPECT_EQ(line_->written(), ExpectedTable());
  // One byte per write, each after the echo of the one before.
  for (const Bytes& call : line_->writeCalls()) EXPECT_EQ(call.size(), 1u);
  EXPECT_EQ(line_->timeouts(), 0);

  // What the ROM made of it.
  const ReceivedBootTable& t = target_->table();
  EXPECT_EQ(t.key, 0x08AA);
  EXPECT_EQ(t.reserved, (std::array<uint16_t, 8>{}));
  EXPECT_EQ(t.entryPoint, kEntry);
  ASSERT_EQ(t.blocks.size(), 2u);
  EXPECT_EQ(t.blocks[0].address, kFirstBlock);
  EXPECT_EQ(t.blocks[0].words, (std::vector<uint16_t>{0xA1B2, 0xC3D4, 0xE5F6, 0x0718, 0x293A}));
  EXPECT_EQ(t.blocks[1].address, kSecondBlock);
  EXPECT_EQ(t.blocks[1].words, (std::vector<uint16_t>{0x7700, 0x7625}));
  EXPECT_TRUE(t.ended);

  EXPECT_TRUE(sawMessage("\nLoading " + path_ + "\n"));
  EXPECT_TRUE(sawMessage("Entry point 0x5a3f8123\n"));
  EXPECT_TRUE(sawMessage("Section Address = 0x7e3f9010, Number of words = 5\n"));
  EXPECT_TRUE(sawMessage("Section Address = 0x00ab8000, Number of words = 2\n"));
  EXPECT_EQ(messages_.size(), 4u);  // nothing for the sections that are not loaded
}

TEST_F(BootTableBytes, AWindowOfEchoesInFlightPutsTheSameBytesOnTheWire) {
  OpenAndAutobaud();
  ASSERT_TRUE(Stream(SyntheticImage(), 7));
  EXPECT_EQ(line_->written(), ExpectedTable());
  for (const Bytes& call : line_->writeCalls()) EXPECT_LE(call.size(), 7u);
}

// The embedded kernel through PRG_Open: the probe for a kernel still running (the ROM ignores it), the
// autobaud, the whole table built here from the kernel file by the ROM's format, then the kernel's
// own autobaud and eight zero bytes. The fixed pauses are 1000 ms for the kernel to start and 300 ms
// after the zeros, and nothing else waits.
TEST_F(BootTableBytes, OpenSendsTheEmbeddedKernelAsOneTableAndWaitsOnlyItsFixedPauses) {
  prg::TemporaryKernelFile kernel;
  ASSERT_FALSE(kernel.path().empty());
  CoffHandle* coff = nullptr;
  ASSERT_EQ(COFFR_FileOpen(kernel.path().c_str(), nullptr, &coff), 0);
  const CoffImageInfo& info = *coff->info;
  const uint32_t entryPoint = info.entryPoint;
  Bytes table = {0xAA, 0x08};
  table.insert(table.end(), 16, 0x00);
  auto putLong = [&](uint32_t v) {
    table.insert(table.end(), {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24),
                               static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  };
  putLong(entryPoint);
  for (uint16_t n = 1; n <= info.fileHeader.sectionCount; ++n) {
    if (COFFR_IsLoadSection(coff, n) != 0) continue;
    const CoffSectionHeader& s = info.sections[n - 1];
    table.insert(table.end(), {static_cast<uint8_t>(s.size), static_cast<uint8_t>(s.size >> 8)});
    putLong(s.virtualAddress);
    Bytes data(s.size * 2);
    uint32_t read = 0;
    ASSERT_EQ(COFFR_GetSectData(coff, n, data.data(), 0, static_cast<uint32_t>(data.size()), &read), 0);
    table.insert(table.end(), data.begin(), data.end());
  }
  table.insert(table.end(), {0x00, 0x00});
  COFFR_FileClose(coff);

  ASSERT_EQ(PRG_Open(handle_), PRG_DONE) << (messages_.empty() ? "" : messages_.back());
  const Bytes w = line_->written();
  const size_t probe = 28;  // one ping packet: 8 header bytes, 20 data bytes
  ASSERT_EQ(w.size(), probe + 1 + table.size() + 1 + 8);
  EXPECT_EQ(Bytes(w.begin(), w.begin() + 4), (Bytes{0x01, 0x66, 0x99, 0x00}));
  EXPECT_EQ(w[probe], 'A');
  EXPECT_EQ(Bytes(w.begin() + probe + 1, w.begin() + static_cast<ptrdiff_t>(probe + 1 + table.size())),
            table);
  EXPECT_EQ(w[probe + 1 + table.size()], 'A');
  EXPECT_EQ(Bytes(w.end() - 8, w.end()), Bytes(8, 0x00));
  EXPECT_TRUE(target_->table().ended);
  EXPECT_EQ(target_->table().entryPoint, entryPoint);

  EXPECT_EQ(sleeps_, (std::vector<int>{1000, 300}));
  // On the port's clock: the probe's one acknowledgement read of 8 bytes at 19200 baud (8 x 52 ms +
  // 100 ms) and the two pauses; every echo was there when it was read.
  EXPECT_EQ(line_->timedOutReadBudgetsMs(), (std::vector<uint32_t>{8 * 52 + 100}));
  EXPECT_EQ(clockMs(), 8u * 52 + 100 + 1000 + 300);
  EXPECT_EQ(line_->opens(), 2);  // closed after the table, opened again for the kernel
  EXPECT_TRUE(sawMessage("Connected to test:scripted at 19200 baud\n"));
}

// An echo that differs, or none, stops the table at that byte: nothing more goes out, and the message
// names the step. Window 1: each byte waits for its own echo.
TEST_F(BootTableBytes, EchoFailuresStopAtTheFailingByteWithTheMessageOfItsStep) {
  const size_t firstHeader = kHeaderBytes;
  const size_t firstData = kHeaderBytes + kBlockHeaderBytes;
  const size_t secondHeader = firstData + kFirstData.size();
  const struct {
    const char* what;
    size_t index;
    bool silent;
    const char* message;
  } cases[] = {
      {"key", 0, false, "Error writing boot header\n"},
      {"entry point, bits 24..31", 19, false, "Error writing boot header\n"},
      {"block size", firstHeader, false, "Error writing section header\n"},
      {"block address, bits 8..15", firstHeader + 5, true, "Error writing section header\n"},
      {"first data byte", firstData, false, "Error writing section data\n"},
      {"last data byte", firstData + kFirstData.size() - 1, true, "Error writing section data\n"},
      {"second block's address", secondHeader + 3, false, "Error writing section header\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    messages_.clear();
    target_->reset();
    line_->reset();
    OpenAndAutobaud();
    if (c.silent) {
      target_->silentFrom(c.index);
    } else {
      target_->corruptEchoAt(c.index, 0x10);
    }
    EXPECT_FALSE(Stream(SyntheticImage()));
    EXPECT_EQ(line_->written().size(), c.index + 1) << "nothing is sent after the failing byte";
    EXPECT_EQ(messages_.back(), c.message);
    EXPECT_EQ(std::count(messages_.begin(), messages_.end(), std::string(c.message)), 1);
    if (c.silent) {
      // One read of one byte: 1 x (1,000,000 / 19200) ms, plus the 100 ms floor.
      EXPECT_EQ(line_->timedOutReadBudgetsMs(), (std::vector<uint32_t>{52 + 100}));
    }
    target_->silentFrom(SIZE_MAX);
    target_->corruptEchoAt(SIZE_MAX, 0);
    prg::Port().close();
  }
}

// Through PRG_Open the failing step is followed by "Failed to load boot code." and the port is closed.
TEST_F(BootTableBytes, AnEchoFailureFailsTheOpenWithBothMessages) {
  target_->corruptEchoAt(kHeaderBytes + 2, 0x01);  // the first block's address
  EXPECT_EQ(PRG_Open(handle_), PRG_FAILED);
  EXPECT_TRUE(sawMessage("Error writing section header\n"));
  EXPECT_EQ(messages_.back(), "Failed to load boot code.\n");
  EXPECT_FALSE(line_->isOpen());
  EXPECT_EQ(PRG_Status(), PRG_FAILED);
  EXPECT_EQ(std::count(sleeps_.begin(), sleeps_.end(), 1000), 0);  // no wait for a kernel to start
}

// A section whose data end early in the file reads an odd number of bytes: the message says
// "Pad section", and the section is not sent padded with zeros: the load stops before its block
// header, since a kernel with a hole in its code must not start.
TEST_F(BootTableBytes, ASectionCutShortIsReportedAsPadSectionAndNotSent) {
  cw::Image image = SyntheticImage();
  image.sections.resize(1);
  image.sections.emplace_back(".econst", 0, 0x003F0042, 3, Bytes{1, 2, 3, 4, 5, 6});
  Bytes file = cw::build(image);
  file.pop_back();  // the file ends one byte into the last word
  cw::TempFile temp(file);
  OpenAndAutobaud();
  EXPECT_FALSE(prg::StreamBootImage(temp.path(), 1));
  EXPECT_TRUE(sawMessage("Section Address = 0x7e3f9010, Number of words = 5\n"));
  EXPECT_TRUE(sawMessage("Section Address = 0x003f0042, Number of words = 2, Pad section\n"));
  EXPECT_EQ(messages_.back(), "Error reading section data\n");
  // The header and the whole first block went out, nothing of the second.
  EXPECT_EQ(line_->written().size(), kHeaderBytes + kBlockHeaderBytes + kFirstData.size());

  // Whole sections never say "Pad section".
  messages_.clear();
  target_->reset();
  line_->reset();
  OpenAndAutobaud();
  image.sections.back().data.push_back(0);
  cw::TempFile whole(cw::build(image));
  EXPECT_TRUE(prg::StreamBootImage(whole.path(), 1));
  EXPECT_TRUE(sawMessage("Section Address = 0x003f0042, Number of words = 3\n"));
}

// The abort flag (PRG_Close from another thread) is looked at before every section: set while the
// first block goes out, the second block is never started and the table gets no end mark.
TEST_F(BootTableBytes, TheAbortFlagStopsTheTableBetweenSections) {
  OpenAndAutobaud();
  const size_t firstBlockEnd = kHeaderBytes + kBlockHeaderBytes + kFirstData.size();
  target_->onTableByte = [&](size_t index) {
    if (index == firstBlockEnd - 1) prg::State().abort = true;
  };
  EXPECT_FALSE(Stream(SyntheticImage()));
  prg::State().abort = false;
  target_->onTableByte = nullptr;
  EXPECT_EQ(line_->written().size(), firstBlockEnd);
  ASSERT_EQ(target_->table().blocks.size(), 1u);
  EXPECT_EQ(target_->table().blocks[0].words.size(), 5u);  // the block under way was finished
  EXPECT_FALSE(target_->table().ended);
  EXPECT_FALSE(sawMessage("Section Address = 0x00ab8000, Number of words = 2\n"));
}

}  // namespace
}  // namespace axtune::test
