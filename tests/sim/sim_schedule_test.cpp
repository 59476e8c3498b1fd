// The line's pacing on a clock the test sets: absolute deadlines per burst, catching up after a late
// look, the rate held over many bytes, and the firmware's turnaround applied to its replies only.
#include <gtest/gtest.h>

#include <vector>

#include "sim/byte_schedule.h"
#include "sim/line_model.h"

namespace axtune::sim {
namespace {

TEST(ByteSchedule, BytesOfABurstAreDueFromItsStartAndTheRateHoldsOverManyBytes) {
  ByteSchedule line;
  line.setRate(115200, true);
  // 86.8 us a byte: rounding each byte up to 87 us would be 200 us late after 1000 bytes.
  uint64_t last = 0;
  for (int n = 1; n <= 100000; ++n) {
    last = line.next(5000);
    if (n == 1) {
      EXPECT_EQ(last, 5000u + 87u);
    }
    if (n == 1000) {
      EXPECT_EQ(last, 5000u + 86806u);
    }
  }
  EXPECT_EQ(last, 5000u + 8680556u);  // 100,000 bytes: exactly 100,000 x 10 bits / 115200 baud
  EXPECT_EQ(ByteSchedule::dueUs(0, 3, 38400), 782u);

  // Handed over while the line is busy: the byte follows the one before it, not its own time.
  const uint64_t free = line.freeAtUs();
  EXPECT_EQ(line.next(free - 1000), ByteSchedule::dueUs(5000, 100001, 115200));
  // Handed over after the line fell idle: a new burst from that moment.
  EXPECT_EQ(line.next(free + 10000), free + 10000 + 87);
}

TEST(ByteSchedule, ARateChangeStartsANewBurstAndUnpacedBytesAreDueAtOnceInOrder) {
  ByteSchedule line;
  line.setRate(9600, true);
  EXPECT_EQ(line.next(0), 1042u);
  line.setRate(19200, true);
  EXPECT_EQ(line.next(0), 1042u + 521u) << "the new rate starts where the line is free";
  line.setRate(19200, false);
  EXPECT_EQ(line.next(0), 1563u);
  EXPECT_EQ(line.next(2000), 2000u);
  EXPECT_EQ(line.next(1500), 2000u) << "never before the byte ahead of it";
}

struct Taken {
  uint64_t at;
  std::vector<uint8_t> bytes;
};

TEST(LineModelClock, BytesDueTogetherArriveTogetherAndALateLookCatchesUp) {
  SimConfig config;
  config.baudRate = 38400;  // 260.4 us a byte
  LineModel line(config);
  const std::vector<uint8_t> reply(34, 0x5A);
  line.sendToHost(reply, 0, false, nullptr);  // the processor's answer: no turnaround

  uint8_t buffer[64];
  EXPECT_EQ(line.takeForHost(buffer, sizeof buffer, 260), 0u) << "the first byte is not complete yet";
  EXPECT_EQ(line.takeForHost(buffer, sizeof buffer, 261), 1u);
  // A reader that looks 2 ms late gets everything that was due meanwhile, at once...
  EXPECT_EQ(line.takeForHost(buffer, sizeof buffer, 2261), 7u);
  // ...and the rest keeps its schedule: nothing slipped by the late look.
  EXPECT_EQ(line.nextForHostUs(), ByteSchedule::dueUs(0, 9, 38400));
  EXPECT_EQ(line.nthForHostUs(26), ByteSchedule::dueUs(0, 34, 38400));
  EXPECT_EQ(line.takeForHost(buffer, sizeof buffer, ByteSchedule::dueUs(0, 34, 38400)), 26u);

  // Host to drive: bytes written while the host's transmitter still sends follow without a gap.
  const uint8_t request[4] = {1, 2, 3, 4};
  line.sendToDrive(request, 2, 10000);
  line.sendToDrive(request + 2, 2, 10100);
  TimedByte byte;
  std::vector<uint64_t> arrivals;
  while (line.popForDrive(20000, byte)) arrivals.push_back(byte.at);
  EXPECT_EQ(arrivals, (std::vector<uint64_t>{10261, 10521, 10782, 11042}));
}

TEST(LineModelClock, OnlyTheFirmwareWaitsItsTurnaroundBeforeAnswering) {
  SimConfig config;
  config.baudRate = 115200;
  config.turnaroundUs = 1000;
  LineModel line(config);
  line.sendToHost({0x41}, 0, false, nullptr);  // a boot-ROM echo
  EXPECT_EQ(line.nextForHostUs(), 87u);
  uint8_t b;
  line.takeForHost(&b, 1, 87);
  line.sendToHost({0x0F, 0x02}, 5000, true, nullptr);  // a firmware reply
  EXPECT_EQ(line.nextForHostUs(), 5000u + 1000u + 87u);
  EXPECT_EQ(line.nthForHostUs(2), 5000u + 1000u + 174u);
}

}  // namespace
}  // namespace axtune::sim
