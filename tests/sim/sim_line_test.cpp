// The line: carrier, cable and power, the boot-loader hand-over, pacing, and fault injection.
#include <algorithm>
#include <vector>

#include "link/testing/forwarding_serial_port.h"
#include "sim/line_model.h"
#include "sim/record_layout.h"
#include "sim_test_support.h"

namespace axtune::sim::testing {
namespace {

using Line = LinkedDrive;

TEST_F(Line, CarrierFollowsCableAndPower) {
  EXPECT_TRUE(IsCarrierDetected());
  drive_->unplug();
  EXPECT_FALSE(IsCarrierDetected());
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(kIdentificationRecord, words));
  EXPECT_EQ(LinkError.load(), kLinkNoReply);
  drive_->replug();
  EXPECT_TRUE(IsCarrierDetected());
  EXPECT_EQ(read(kIdentificationRecord)[0], 1025);

  ASSERT_TRUE(WriteWords(kSettingsRecord, kSetIdleDelay, 999));  // not stored
  drive_->powerOff();
  EXPECT_FALSE(IsCarrierDetected());
  drive_->powerOn();
  EXPECT_TRUE(IsCarrierDetected());
  EXPECT_FALSE(ReadRecord(kIdentificationRecord, words)) << "the firmware is still starting";
  EXPECT_EQ(read(kSettingsRecord)[kSetIdleDelay], 500) << "what was not stored is gone";
}

TEST_F(Line, BootLoaderKeepsTheLineUntilADtrPulse) {
  RecordWords enter = CommandRequest(kCmdEnterBootLoader);
  ASSERT_TRUE(ExchangeRecord(kObjectRecord, enter)) << "the firmware answers before it hands over";
  EXPECT_FALSE(drive_->snapshot().firmwareRunning);
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(kIdentificationRecord, words));

  ASSERT_TRUE(SetDtr(true));
  EXPECT_FALSE(drive_->snapshot().firmwareRunning) << "raising DTR alone resets nothing";
  ASSERT_TRUE(SetDtr(false));
  EXPECT_TRUE(drive_->snapshot().firmwareRunning);
  drive_->advanceMs(300);
  EXPECT_EQ(read(kIdentificationRecord)[0], 1025);

  // Closing and opening the port never counts as a DTR pulse.
  ASSERT_TRUE(ExchangeRecord(kObjectRecord, enter));
  ASSERT_TRUE(SetDtr(true));
  CloseLink();
  ASSERT_TRUE(OpenLink(kDevice));
  EXPECT_FALSE(drive_->snapshot().firmwareRunning);
  drive_->powerCycle();
  EXPECT_TRUE(drive_->snapshot().firmwareRunning) << "valid firmware starts at power-on";
}

TEST_F(Line, ProcessorRomTakesOverAtTheProgrammersRate) {
  RecordWords enter = CommandRequest(kCmdEnterBootLoader);
  ASSERT_TRUE(ExchangeRecord(kObjectRecord, enter));
  CloseLink();

  // The programmer opens the same device at 19200 baud; the ROM echoes the autobaud "A".
  std::unique_ptr<SerialPort> port = createSerialPort(kDevice);
  SerialSettings settings;
  settings.baudRate = 19200;
  ASSERT_TRUE(port->open(settings));
  ASSERT_TRUE(port->setTimeouts(SerialTimeouts{}));
  const uint8_t autobaud = 'A';
  port->write(&autobaud, 1);
  uint8_t echo = 0;
  ASSERT_EQ(port->read(&echo, 1), 1u);
  EXPECT_EQ(echo, 'A');
  // A boot table with a wrong key makes the ROM jump to the valid firmware in the flash.
  const uint8_t wrongKey[2] = {0x00, 0x00};
  port->write(wrongKey, 2);
  uint8_t echoed[2] = {};
  EXPECT_EQ(port->read(echoed, 2), 2u);
  EXPECT_TRUE(drive_->snapshot().firmwareRunning);
  port->close();

  ASSERT_TRUE(OpenLink(kDevice));
  drive_->advanceMs(300);
  EXPECT_EQ(read(kIdentificationRecord)[0], 1025);
}

TEST_F(Line, FirmwareIgnoresBytesAtAnotherRate) {
  ASSERT_TRUE(LinkPort()->setBaudRate(19200));
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(kIdentificationRecord, words));
  ASSERT_TRUE(LinkPort()->setBaudRate(38400));
  EXPECT_EQ(read(kIdentificationRecord)[0], 1025);
}

TEST_F(Line, RealTimeDriveAnswersThroughTheLink) {
  start(SimConfig::realTime());
  EXPECT_EQ(read(kIdentificationRecord)[0], 1025);
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 9));
  EXPECT_EQ(object(0x2022, 5), 9u);
  EXPECT_TRUE(IsCarrierDetected());
}

TEST_F(Line, TransfersTakeTheirTimeAtTheBaudRate) {
  read(kSettingsRecord);  // behind the three "A" characters still on the line after opening
  uint64_t before = drive_->nowUs();
  read(kSettingsRecord);
  // 2 request bytes and 34 reply bytes at 260 us each, plus 1 ms turnaround.
  EXPECT_NEAR((drive_->nowUs() - before) / 1000.0, 10.4, 0.5);

  SimConfig unpaced = SimConfig::unitTest();
  unpaced.paced = false;
  unpaced.turnaroundUs = 0;
  start(unpaced);
  before = drive_->nowUs();
  read(kSettingsRecord);
  EXPECT_EQ(drive_->nowUs(), before);
}

TEST_F(Line, APauseInsideARequestMakesTheDriveStartOver) {
  SerialPort* port = LinkPort();
  const uint8_t partial[3] = {0x8F, 0x02, 0x11};  // a record write that never completes
  port->write(partial, 3);
  drive_->advanceMs(100);
  EXPECT_EQ(read(kSettingsRecord)[kSetStepsPerRev], 3200);
}

// A port that measures, on the drive's clock, how long each read of the link waits.
struct TimedReads {
  std::vector<std::pair<size_t, uint64_t>> reads;  // requested bytes, microseconds waited
};

class TimedPort : public ::axtune::testing::ForwardingSerialPort {
 public:
  TimedPort(std::unique_ptr<SerialPort> inner, std::shared_ptr<SimulatedDrive> drive, TimedReads* log)
      : ForwardingSerialPort(std::move(inner)), drive_(std::move(drive)), log_(log) {}
  size_t read(uint8_t* b, size_t n) override {
    const uint64_t before = drive_->nowUs();
    const size_t got = inner().read(b, n);
    log_->reads.emplace_back(n, drive_->nowUs() - before);
    return got;
  }

 private:
  std::shared_ptr<SimulatedDrive> drive_;
  TimedReads* log_;
};

class FaultyLine : public LinkedDrive {
 protected:
  void startFaulty(const FaultConfig& faults) {
    SimConfig config = SimConfig::unitTest();
    config.faults = faults;
    start(config);
    CloseLink();
    registerInProcessPort(kDevice, [this](const std::string& name) -> std::unique_ptr<SerialPort> {
      return std::make_unique<TimedPort>(createSimulatedPort(drive_, name), drive_, &log_);
    });
    ASSERT_TRUE(OpenLink(kDevice));
  }
  TimedReads log_;
};

TEST_F(FaultyLine, CorruptedBytesNeverPassAsAGoodRecordNorWaitPastTheTimeouts) {
  const RecordWords expected = read(kSettingsRecord);
  FaultConfig faults;
  faults.seed = 20261207;
  faults.corruptByte = 0.01;
  startFaulty(faults);

  int good = 0;
  for (int i = 0; i < 1000; ++i) {
    RecordWords words{};
    words.fill(0xA5A5);
    const RecordWords untouched = words;
    log_.reads.clear();
    const uint64_t before = drive_->nowUs();
    if (ReadRecord(kSettingsRecord, words)) {
      ++good;
      ASSERT_EQ(words, expected) << "read " << i << " returned a corrupted record as good";
    } else {
      ASSERT_EQ(words, untouched) << "a failed read must leave the destination alone";
      ASSERT_GE(LinkError.load(), kLinkBadChecksum);
    }
    uint64_t allowedUs = 0;
    for (const auto& [bytes, waitedUs] : log_.reads) {
      const uint64_t timeoutUs = (bytes * 1 + 1000) * 1000;  // 1 ms per byte + 1000 ms
      ASSERT_LE(waitedUs, timeoutUs) << "a read of " << bytes << " bytes waited too long";
      allowedUs += timeoutUs;
    }
    ASSERT_LE(drive_->nowUs() - before, allowedUs + 1000);
    ASSERT_LE(log_.reads.size(), 64u) << "read " << i << " kept resynchronising";
  }
  // About a quarter of the 34-byte replies carry a flipped byte; the rest must come through.
  EXPECT_GT(good, 500);
}

TEST_F(FaultyLine, StaleFramesDelaysAndSplitRepliesAreSurvived) {
  const RecordWords expected = read(kSettingsRecord);
  FaultConfig faults;
  faults.seed = 99;
  faults.staleFrame = 0.3;
  faults.delayReply = 0.3;
  faults.splitReply = 0.3;
  startFaulty(faults);
  for (int i = 0; i < 200; ++i) {
    RecordWords words{};
    ASSERT_TRUE(ReadRecord(kSettingsRecord, words)) << "read " << i << ", LinkError " << LinkError.load();
    ASSERT_EQ(words, expected);
  }
}

TEST_F(FaultyLine, SilenceCostsOneTimeout) {
  FaultConfig faults;
  faults.silence = 1.0;
  startFaulty(faults);
  RecordWords words{};
  const uint64_t before = drive_->nowUs();
  EXPECT_FALSE(ReadRecord(kSettingsRecord, words));
  EXPECT_EQ(LinkError.load(), kLinkNoReply);
  EXPECT_NEAR((drive_->nowUs() - before) / 1000.0, 1002.5, 1.0);
}

TEST_F(FaultyLine, TheSameSeedGivesTheSameRun) {
  FaultConfig faults;
  faults.seed = 5;
  faults.corruptByte = 0.05;
  faults.dropByte = 0.02;
  auto run = [&] {
    startFaulty(faults);
    std::vector<int> outcome;
    for (int i = 0; i < 50; ++i) {
      RecordWords words{};
      outcome.push_back(ReadRecord(kSettingsRecord, words) ? 0 : LinkError.load());
    }
    return outcome;
  };
  EXPECT_EQ(run(), run());
}

// What the drive's side of the line holds is bounded: a flood cannot make it hold more, replies a
// host does not take stop piling up, and the cable or the power clears it.
TEST(LineBound, TheDrivesSideHoldsAtMostItsBuffersAndTheCableOrPowerClearsThem) {
  SimConfig config = SimConfig::unitTest();
  LineModel line(config);
  const std::vector<uint8_t> flood(100000, 0xFF);
  line.sendToDrive(flood.data(), flood.size(), 0);
  EXPECT_EQ(line.queuedForDrive(), kLineBufferBytes);
  EXPECT_EQ(line.overrunBytes(), flood.size() - kLineBufferBytes);
  const std::vector<uint8_t> reply(34, 0x0F);
  for (int i = 0; i < 100; ++i) line.sendToHost(reply, 0, true, nullptr);
  EXPECT_LE(line.queuedForHost(), kLineBufferBytes + reply.size());
  EXPECT_GE(line.queuedForHost(), kLineBufferBytes);
  line.clear();
  EXPECT_EQ(line.queuedForDrive(), 0u);
  EXPECT_EQ(line.queuedForHost(), 0u);
}

struct FloodCase {
  const char* what;
  uint8_t byte;    // what the flood is made of
  int afterFlood;  // 0: the line just goes quiet, 1: unplug and replug, 2: power cycle
};

class Flood : public LinkedDrive, public ::testing::WithParamInterface<FloodCase> {};

TEST_P(Flood, TheDriveAnswersOnceTheLineIsQuietAgain) {
  const FloodCase& c = GetParam();
  SimConfig config = SimConfig::unitTest();
  start(config);
  const std::vector<uint8_t> flood(115200, c.byte);  // half a minute of line time at 38400 baud
  ASSERT_EQ(LinkPort()->write(flood.data(), flood.size()), flood.size());
  if (c.afterFlood == 1) {
    drive_->unplug();
    drive_->replug();
  } else if (c.afterFlood == 2) {
    drive_->powerCycle();
    drive_->advanceMs(config.bootTimeUs / 1000);
  }
  // What the drive still holds reaches it within its buffer's line time; a partial frame is dropped
  // after the frame gap. Then the next request is answered at its first attempt.
  const uint64_t bufferUs = kLineBufferBytes * 10'000'000ull / static_cast<uint64_t>(config.baudRate);
  drive_->advance(bufferUs + config.frameGapUs + 10000);
  const uint64_t before = drive_->nowUs();
  RecordWords id{};
  EXPECT_TRUE(ReadRecord(kIdentificationRecord, id)) << "LinkError " << LinkError.load();
  RecordWords expected{};
  ASSERT_TRUE(drive_->record(kIdentificationRecord, expected));
  EXPECT_EQ(id[0], expected[0]);
  EXPECT_LT(drive_->nowUs() - before, 100000u) << "answered at once, not after a timeout";
}

INSTANTIATE_TEST_SUITE_P(QuietCableOrPower, Flood,
                         ::testing::Values(FloodCase{"bad checksums (0xFF)", 0xFF, 0},
                                           FloodCase{"read requests (0x0F)", 0x0F, 0},
                                           FloodCase{"zeros, then the cable out and in", 0x00, 1},
                                           FloodCase{"read requests, then a power cycle", 0x0F, 2}));

}  // namespace
}  // namespace axtune::sim::testing
