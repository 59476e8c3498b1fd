// What a silent drive costs on the port's clock: at most one read timeout of 1 ms per byte expected
// plus 1000 ms: 1002 ms for a record read's 2-byte header, 1006 ms for a single-word write's 6-byte
// answer, 1034 ms for a record write's 34-byte answer. Every answer is read header first, so silence
// costs the header's 1002 ms in all three. A reply that stops part way costs no more than that bound.
#include <gtest/gtest.h>

#include "frame_test_support.h"
#include "link/drive_link.h"

namespace axtune::test {
namespace {

using LinkTimeouts = FakeLinkTest;

TEST_F(LinkTimeouts, ASilentDriveCostsOneReadTimeoutPerTransfer) {
  const struct {
    const char* what;
    std::function<bool()> transfer;
    uint64_t ms;
  } cases[] = {
      {"record read",
       [] {
         RecordWords words{};
         return ReadRecord(4, words);
       },
       1002},
      {"single-word write", [] { return WriteWords(2, 7, 0x1234); }, 1006},
      {"record write",
       [] {
         RecordWords words{};
         return ExchangeRecord(12, words);
       },
       1034},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    line_->reset();
    const uint64_t start = line_->clockUs();
    EXPECT_FALSE(c.transfer());
    EXPECT_LE(line_->clockUs() - start, c.ms * 1000);
    EXPECT_EQ(line_->timedOutReadBudgetsMs(), std::vector<uint32_t>{1002});
  }
}

TEST_F(LinkTimeouts, AReplyThatStopsPartWayCostsNoMoreThanSilence) {
  // Half a record-write answer, then nothing.
  RecordWords words{};
  line_->expect(RecordFrame(0x8F, 12, words), Bytes(17, 0x00));
  const uint64_t start = line_->clockUs();
  EXPECT_FALSE(ExchangeRecord(12, words));
  EXPECT_LE(line_->clockUs() - start, 1034u * 1000);

  // The header of a record read, then nothing: the body's wait is what is left of the 1034 ms.
  line_->reset();
  line_->expect({0x0F, 0x04}, {0x0F, 0x04});
  const uint64_t readStart = line_->clockUs();
  EXPECT_FALSE(ReadRecord(4, words));
  EXPECT_EQ(LinkError, 3);
  EXPECT_LE(line_->clockUs() - readStart, 1034u * 1000);
}

}  // namespace
}  // namespace axtune::test
