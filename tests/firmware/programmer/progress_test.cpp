// The progress hook: the boot load reports the boot table block by block and within long blocks, the
// flash operations report every chunk, and nothing is reported without a hook or backwards.
#include <map>
#include <vector>

#include "tests/firmware/programmer/programmer_fixture.h"

namespace axtune::test {
namespace {

struct Report {
  int32_t phase;
  uint32_t done;
  uint32_t total;
};

std::vector<Report> g_reports;

void CollectProgress(void* context, int32_t phase, uint32_t done, uint32_t total) {
  EXPECT_EQ(context, &g_reports);
  g_reports.push_back({phase, done, total});
}

std::vector<uint32_t> DoneOf(int32_t phase) {
  std::vector<uint32_t> done;
  for (const Report& r : g_reports) {
    if (r.phase == phase) done.push_back(r.done);
  }
  return done;
}

// Every report of a phase has the same total, done never goes back nor past the total.
void ExpectSteady(int32_t phase) {
  uint32_t last = 0;
  uint32_t total = 0;
  for (const Report& r : g_reports) {
    if (r.phase != phase) continue;
    if (total == 0) total = r.total;
    EXPECT_EQ(r.total, total);
    EXPECT_GE(r.done, last);
    EXPECT_LE(r.done, r.total);
    last = r.done;
  }
}

class ProgrammerProgress : public ProgrammerSession {
 protected:
  void SetUp() override {
    ProgrammerSession::SetUp();
    g_reports.clear();
    PRG_SetProgressHook(&CollectProgress, &g_reports);
  }
  void TearDown() override {
    PRG_SetProgressHook(nullptr, nullptr);
    ProgrammerSession::TearDown();
  }
};

TEST_F(ProgrammerProgress, BootLoadMovesThroughTheBootTableBlockByBlock) {
  Connect();
  // The stand-in kernel's table: header 22, four blocks of 6 + 2 * (3489, 90, 37, 4 words), end mark 2.
  constexpr uint32_t kTable = 22 + 4 * 6 + 2 * (3489 + 90 + 37 + 4) + 2;
  const std::vector<uint32_t> done = DoneOf(PRG_PROGRESS_BOOT_LOAD);
  ASSERT_FALSE(done.empty());
  ExpectSteady(PRG_PROGRESS_BOOT_LOAD);
  EXPECT_EQ(g_reports.front().total, kTable);
  EXPECT_EQ(done.front(), 0u);
  EXPECT_EQ(done.back(), kTable);
  // The header, then .text's block header; its 6978 bytes move in 256-byte steps (27 full ones and
  // the rest), so the bar never jumps from a few percent to nearly all.
  EXPECT_EQ(done[1], 22u);
  EXPECT_EQ(done[2], 28u);
  EXPECT_EQ(done[3], 28u + 256);
  EXPECT_GE(done.size(), 30u);
  for (size_t i = 1; i < done.size(); ++i) EXPECT_LE(done[i] - done[i - 1], 256u) << i;
  // Each block's end is a report of its own: after .text, its header and data.
  EXPECT_NE(std::find(done.begin(), done.end(), 28u + 2 * 3489), done.end());
}

TEST_F(ProgrammerProgress, FlashOperationsReportEveryChunk) {
  Connect();
  g_reports.clear();
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  EXPECT_EQ(DoneOf(PRG_PROGRESS_ERASE), std::vector<uint32_t>({0, 1}));

  // 1000 words: 114-word chunks of 228 bytes, the last one shorter.
  std::vector<uint16_t> image(1000, 0x1234);
  ASSERT_EQ(PRG_FlashWrite(handle_, 0x3F0000, 0, 2000, image.data()), PRG_DONE);
  EXPECT_EQ(DoneOf(PRG_PROGRESS_WRITE),
            std::vector<uint32_t>({0, 228, 456, 684, 912, 1140, 1368, 1596, 1824, 2000}));
  ExpectSteady(PRG_PROGRESS_WRITE);

  std::vector<uint16_t> back(1000, 0);
  ASSERT_EQ(PRG_FlashRead(handle_, 0x3F0000, 0, 2000, back.data()), PRG_DONE);
  const std::vector<uint32_t> read = DoneOf(PRG_PROGRESS_READ);
  ASSERT_EQ(read.size(), 1u + 9);  // 0, then 8 chunks of 226 bytes and the rest
  EXPECT_EQ(read[1], 226u);
  EXPECT_EQ(read.back(), 2000u);

  ASSERT_EQ(PRG_FlashVerify(handle_, 0x3F0000, 0, 2000, image.data()), PRG_DONE);
  EXPECT_EQ(DoneOf(PRG_PROGRESS_VERIFY), std::vector<uint32_t>({2000}));

  // RAM writes report like flash writes.
  g_reports.clear();
  ASSERT_EQ(PRG_MemWrite(handle_, 0xA000, 0, 600, image.data()), PRG_DONE);
  EXPECT_EQ(DoneOf(PRG_PROGRESS_WRITE), std::vector<uint32_t>({0, 228, 456, 600}));
}

TEST_F(ProgrammerProgress, AFailingWriteStopsWhereItFailedAndAPingReportsNothing) {
  Connect();
  // Removed: nothing arrives.
  PRG_SetProgressHook(nullptr, nullptr);
  g_reports.clear();
  EXPECT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  EXPECT_TRUE(g_reports.empty());

  PRG_SetProgressHook(&CollectProgress, &g_reports);
  PRG_Close(handle_);
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE);  // the kernel still runs: a ping, no boot table
  EXPECT_TRUE(g_reports.empty());

  // The kernel refuses the second chunk.
  int writePackets = 0;
  tamper_ = [&](Bytes out) {
    if (out.size() >= 8 && out[0] == 0x06 && ++writePackets == 2) out[0] = 0x15;
    return out;
  };
  std::vector<uint16_t> image(500, 0x4321);
  EXPECT_EQ(PRG_FlashWrite(handle_, 0x3E8000, 0, 1000, image.data()), PRG_FAILED);
  EXPECT_EQ(DoneOf(PRG_PROGRESS_WRITE), std::vector<uint32_t>({0, 228}));
}

}  // namespace
}  // namespace axtune::test
