// How a host read waits on the simulated line: it sleeps until the drive can have answered, not
// once per byte of the request, and still returns the moment the answer is due (virtual time, so
// every figure here is exact and nothing depends on the machine's speed).
#include <vector>

#include "sim/byte_schedule.h"
#include "sim/record_layout.h"
#include "sim_test_support.h"

namespace axtune::sim::testing {
namespace {

// The look-ahead a waiting read relies on: what the line would make of bytes not yet handed over
// must be what it then makes of them, on an idle line, a busy one, one restarted, and unpaced.
TEST(ByteSchedulePeek, PeekingAtBytesGivesWhatHandingThemOverThenGives) {
  for (bool paced : {true, false}) {
    ByteSchedule line;
    line.setRate(38400, paced);
    auto check = [&](uint64_t earliest, uint64_t count) {
      const uint64_t peeked = line.peekLast(earliest, count);
      uint64_t last = 0;
      for (uint64_t i = 0; i < count; ++i) last = line.next(earliest);
      EXPECT_EQ(peeked, last) << "paced " << paced << ", " << count << " bytes from " << earliest;
    };
    check(1000, 2);                       // a new burst on an idle line
    check(1100, 34);                      // handed over while the line is busy: follows on
    check(line.freeAtUs() + 5000, 1);     // after a pause: a burst of its own
    line.restart();                       // the cable was pulled meanwhile
    check(line.freeAtUs() - 100, 7);      // never before the line is free
    check(line.freeAtUs() + 777777, 34);  // a long burst rounds from its own start
  }
}

class HostWait : public LinkedDrive {
 protected:
  void SetUp() override {
    LinkedDrive::SetUp();
    read(kSettingsRecord);  // behind the three "A" characters still on the line after opening
  }
  // The end of the n-th byte of a burst starting at `startUs` at the link's 38400 baud.
  static uint64_t due(uint64_t startUs, uint64_t n) { return ByteSchedule::dueUs(startUs, n, 38400); }
  uint64_t turnaround() const { return drive_->config().turnaroundUs; }

  // A whole-record write of `words` to `record`, as the host puts it on the line.
  static std::vector<uint8_t> recordWriteFrame(uint8_t record, const RecordWords& words) {
    std::vector<uint8_t> frame{0x8F, record};
    uint32_t sum = 0x8F + 256u * record;
    for (uint16_t w : words) {
      frame.push_back(static_cast<uint8_t>(w & 0xFF));
      frame.push_back(static_cast<uint8_t>(w >> 8));
      sum += w;
    }
    frame.push_back(static_cast<uint8_t>(sum & 0xFF));
    frame.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
    return frame;
  }
};

TEST_F(HostWait, AnExchangeWakesOncePerAnswerNotOncePerRequestByte) {
  // The statusword through the object channel, as the status bar reads it ten times a second: a
  // 34-byte request, then the 34-byte answer read as header and body. Each read sleeps once,
  // until its last byte is due, where waking for every byte the drive received took 36 waits.
  object(0x6041, 0);
  uint64_t waitsBefore = drive_->hostReadWaits();
  uint64_t start = drive_->nowUs();
  object(0x6041, 0);
  EXPECT_EQ(drive_->hostReadWaits() - waitsBefore, 2u);
  // And the answer is taken the moment its last byte is due.
  EXPECT_EQ(drive_->nowUs(), due(due(start, 34) + turnaround(), 34));

  // A two-byte record read, as the status bar's other two reads.
  waitsBefore = drive_->hostReadWaits();
  start = drive_->nowUs();
  read(kStatusRecordA);
  EXPECT_EQ(drive_->hostReadWaits() - waitsBefore, 2u);
  EXPECT_EQ(drive_->nowUs(), due(due(start, 2) + turnaround(), 34));
}

TEST_F(HostWait, ARequestFinishedByALaterWriteIsAnsweredOnTime) {
  // The firmware holds the first bytes of a record write; the rest follows 10 ms later, well inside
  // the pause that would make it start over. Looking ahead at the queued bytes must take the held
  // bytes into account, or the answer would wait for the read's timeout.
  const std::vector<uint8_t> frame = recordWriteFrame(kSettingsRecord, read(kSettingsRecord));
  SerialPort* port = LinkPort();
  port->write(frame.data(), 3);
  drive_->advanceMs(10);
  const uint64_t restStart = drive_->nowUs();
  port->write(frame.data() + 3, frame.size() - 3);
  const uint64_t waitsBefore = drive_->hostReadWaits();
  std::vector<uint8_t> reply(34);
  ASSERT_EQ(port->read(reply.data(), reply.size()), reply.size());
  EXPECT_EQ(reply[0], 0x0F);
  EXPECT_EQ(reply[1], kSettingsRecord);
  EXPECT_EQ(drive_->nowUs(), due(due(restStart, frame.size() - 3) + turnaround(), 34));
  EXPECT_EQ(drive_->hostReadWaits() - waitsBefore, 1u);

  // After a pause longer than the drive's frame gap the held bytes are dropped: a read request
  // that follows is answered as soon as its two bytes are in, not taken for the rest of a frame.
  port->write(frame.data(), 3);
  drive_->advanceMs(100);
  const uint64_t readStart = drive_->nowUs();
  const uint8_t request[2] = {0x0F, static_cast<uint8_t>(kSettingsRecord)};
  port->write(request, 2);
  ASSERT_EQ(port->read(reply.data(), reply.size()), reply.size());
  EXPECT_EQ(reply[1], kSettingsRecord);
  EXPECT_EQ(drive_->nowUs(), due(due(readStart, 2) + turnaround(), 34));
}

TEST_F(HostWait, BytesBehindARequestThatHandsOverTheLineAreEchoedOnTime) {
  // The request to enter the boot loader goes unanswered (a silent line) and an autobaud "A"
  // follows right behind it: the boot ROM echoes the "A" a byte time after it arrives, long
  // before the firmware's turnaround would have ended. A read must not sleep past that.
  FaultConfig silent;
  silent.silence = 1.0;
  drive_->setFaults(silent);
  std::vector<uint8_t> bytes = recordWriteFrame(kObjectRecord, CommandRequest(kCmdEnterBootLoader));
  bytes.push_back('A');
  const uint64_t start = drive_->nowUs();
  LinkPort()->write(bytes.data(), bytes.size());
  uint8_t echo = 0;
  ASSERT_EQ(LinkPort()->read(&echo, 1), 1u);
  EXPECT_EQ(echo, 'A');
  EXPECT_EQ(drive_->nowUs(), due(due(start, bytes.size()), 1));
}

TEST_F(HostWait, TheBootRomStillEchoesEachByteAsItArrives) {
  RecordWords enter = CommandRequest(kCmdEnterBootLoader);
  ASSERT_TRUE(ExchangeRecord(kObjectRecord, enter));
  SerialPort* port = LinkPort();
  const uint8_t autobaud = 'A';
  port->write(&autobaud, 1);
  uint8_t echo = 0;
  ASSERT_EQ(port->read(&echo, 1), 1u);
  ASSERT_EQ(echo, 'A');

  // Sixteen bytes of a boot table in flight: the first echo is there long before the last byte
  // has reached the processor, as a windowed boot load needs it.
  const uint8_t table[16] = {0xAA, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const uint64_t start = drive_->nowUs();
  port->write(table, sizeof table);
  ASSERT_EQ(port->read(&echo, 1), 1u);
  EXPECT_EQ(echo, 0xAA);
  EXPECT_EQ(drive_->nowUs() - start, due(due(0, 1), 1)) << "one byte in, its echo out";
}

}  // namespace
}  // namespace axtune::sim::testing
