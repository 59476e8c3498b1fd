// The drive link under line faults on the simulated drive: no corrupted value is taken as good, no
// refused or unconfirmed write is reported as done, and no transfer waits longer than one attempt.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "core/parameter_file.h"
#include "link/drive_link.h"
#include "link/late_answers.h"
#include "link/object_access.h"
#include "link/sleeper.h"
#include "sim/simulated_drive.h"

namespace axtune {
namespace {

constexpr const char* kDevice = "sim:line-faults";
// One attempt: 34 reply bytes x 1 ms + 1000 ms; the deadline may overrun by the poll granularity
// and the sim's millisecond timeouts.
constexpr uint64_t kOneAttemptUs = 1034 * 1000 + 1000;

class LineFaults : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseLink();
    sim::unregisterSimulatedDrive(kDevice);
    sleeper_.reset();
  }

  void start(const sim::FaultConfig& faults) {
    sim::SimConfig config = sim::SimConfig::unitTest();
    drive_ = sim::registerSimulatedDrive(kDevice, config);
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    ASSERT_TRUE(OpenLink(kDevice));
    drive_->advanceMs(300);  // the firmware starts
    drive_->setFaults(faults);
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
};

TEST_F(LineFaults, CorruptedObjectAnswersAreNeverTakenAsGood) {
  sim::FaultConfig faults;
  faults.seed = 11;
  faults.corruptByte = 0.05;
  start(faults);
  const uint16_t statusword = drive_->snapshot().statusword;
  int good = 0;
  for (int i = 0; i < 400; ++i) {
    int32_t value = -1;
    if (ReadObject(0x6075, 0, &value)) {
      ++good;
      EXPECT_EQ(value, 2000) << "read " << i;
    }
    if (ReadObject(0x6041, 0, &value)) {
      EXPECT_EQ(value & 0xFFFF, statusword) << "read " << i;
    }
  }
  EXPECT_GT(good, 5);  // one exchange in thirty gets through untouched at this rate
}

TEST_F(LineFaults, CorruptedRecordsAreNeverTakenAsGood) {
  sim::FaultConfig faults;
  faults.seed = 12;
  faults.corruptByte = 0.05;
  faults.staleFrame = 0.1;
  start(faults);
  RecordWords expected{};
  ASSERT_TRUE(drive_->record(14, expected));
  for (int i = 0; i < 400; ++i) {
    RecordWords words{};
    if (ReadRecord(14, words)) {
      EXPECT_EQ(words, expected) << "read " << i;
    }
  }
}

TEST_F(LineFaults, RefusedAndUnconfirmedWritesAreNotReportedAsDone) {
  sim::FaultConfig faults;
  faults.seed = 5;
  faults.staleFrame = 0.2;
  start(faults);
  // The statusword is read-only: every write of it is refused, whatever comes in front of the answer.
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(WriteObject(0x6041, 0, 2, 5)) << "write " << i;

  // A record write counts only when the drive answers with the record as written.
  faults.corruptByte = 0.01;
  drive_->setFaults(faults);
  for (int i = 0; i < 30; ++i) {
    RecordWords words{};
    for (int w = 0; w < kRecordWords; ++w) words[w] = static_cast<uint16_t>(1000 * i + w);
    if (WriteRecord(20, words)) {
      RecordWords stored{};
      ASSERT_TRUE(drive_->record(20, stored));
      EXPECT_EQ(stored, words) << "write " << i;
    }
  }
  // A single word likewise, as far as the reply's shape can tell: six bytes count whatever they
  // hold, so a whole frame for another record arriving in front of an error reply would pass for the
  // answer; only the corrupted requests, answered with an error reply, are in play here.
  faults.staleFrame = 0;
  drive_->setFaults(faults);
  for (int i = 0; i < 30; ++i) {
    const auto value = static_cast<uint16_t>(7000 + i);
    if (WriteWords(21, 3, value)) {
      RecordWords stored{};
      ASSERT_TRUE(drive_->record(21, stored));
      EXPECT_EQ(stored[3], value) << "write " << i;
    }
  }
}

TEST_F(LineFaults, ARecordReadEndsWithinOneAttemptResynchronisationIncluded) {
  sim::FaultConfig faults;
  faults.seed = 11;
  faults.dropByte = 0.2;
  start(faults);
  uint64_t longest = 0;
  for (int i = 0; i < 200; ++i) {
    const uint64_t before = drive_->nowUs();
    RecordWords words{};
    ReadRecord(2, words);
    longest = std::max(longest, drive_->nowUs() - before);
  }
  EXPECT_LE(longest, kOneAttemptUs);

  // Frames for other records in front of every answer: still one attempt at most.
  faults = {};
  faults.seed = 3;
  faults.staleFrame = 1.0;
  faults.splitReply = 0.5;
  drive_->setFaults(faults);
  for (int i = 0; i < 50; ++i) {
    const uint64_t before = drive_->nowUs();
    RecordWords words{};
    EXPECT_TRUE(ReadRecord(2, words));
    EXPECT_LE(drive_->nowUs() - before, kOneAttemptUs);
  }
}

// A load reports exactly the records the drive took; a record it reports as taken holds the file's
// words, or the drive's where the differences list says so.
TEST_F(LineFaults, ALoadCountsOnlyRecordsTheDriveTook) {
  start({});
  std::vector<RecordWords> records(65);
  for (int r = 0; r < 65; ++r) {
    ASSERT_TRUE(drive_->record(r, records[r]));
    if (r >= 2) records[r][14] = static_cast<uint16_t>(0xA000 + r);  // differs from the drive
  }
  const std::string path = (std::filesystem::temp_directory_path() / "axtune_line_faults_load.qmx").string();
  const std::vector<uint8_t> image = BuildParameterFile(records, {"/tmp/x.qmx", "01.01.2026", "", ""});
  ASSERT_TRUE(WriteFileAtomically(path, image).ok);

  for (uint32_t seed : {31u, 32u, 33u}) {
    SCOPED_TRACE(seed);
    sim::FaultConfig faults;
    faults.seed = seed;
    faults.corruptByte = 0.002;
    faults.staleFrame = 0.5;
    drive_->setFaults(faults);
    LinkParameterRecordAccess access;
    const LoadOutcome outcome = LoadParameterFile(access, 65, path);
    ASSERT_EQ(outcome.result, LoadResult::Loaded);
    // Every record went out up to the first one that got no answer at all (a reply lost whole
    // counts as a dead line and ends the load there).
    const int end = outcome.silentRecord >= 0 ? outcome.silentRecord : 65;
    EXPECT_EQ(outcome.recordsTaken + static_cast<int>(outcome.refusedRecords.size()), end - 2);
    drive_->setFaults({});
    for (int r = 2; r < end; ++r) {
      const bool refused = std::find(outcome.refusedRecords.begin(), outcome.refusedRecords.end(), r) !=
                           outcome.refusedRecords.end();
      RecordWords stored{};
      ASSERT_TRUE(drive_->record(r, stored));
      if (refused) continue;
      RecordWords expected = records[r];
      for (const RecordWordDifference& d : outcome.differences)
        if (d.record == r) expected[d.word] = d.driveValue;
      EXPECT_EQ(stored, expected) << "record " << r << " reported as taken";
    }
    // Put the drive's records back so the next round has something to change.
    for (int r = 2; r < 65; ++r) {
      RecordWords original = records[r];
      original[14] = 0;
      ASSERT_TRUE(WriteRecord(r, original));
    }
  }
  std::filesystem::remove(path);
}

// An answer belongs to one request: a write's answer that comes after its timeout never counts for
// the next write of the same object, however late it comes, and a write reported as done is in the
// drive. 0x6075 takes 2501 and refuses 100000.
class LateAnswers : public LineFaults, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(LateAnswers, ALateAnswerNeverCountsForTheNextRequest) {
  sim::FaultConfig faults;
  faults.delayReply = 1.0;
  faults.delayMs = GetParam();
  start({});
  RecordWords id{};
  ASSERT_TRUE(ReadRecord(kIdentificationRecord, id));  // as a session starts
  drive_->setFaults(faults);
  EXPECT_EQ(WriteObjectChecked(0x6075, 0, 4, 2501), ObjectWriteOutcome::NotConfirmed);
  // At once the next write, which the drive refuses: its answer, if any, is the refusal.
  EXPECT_NE(WriteObjectChecked(0x6075, 0, 4, 100000), ObjectWriteOutcome::Written);
  drive_->setFaults({});
  drive_->advanceMs(GetParam() + 100);
  RecordWords settings{};
  ASSERT_TRUE(drive_->record(2, settings));
  EXPECT_EQ(settings[0], 2501) << "the drive took the first write";
  EXPECT_EQ(WriteObjectChecked(0x6075, 0, 4, 100000), ObjectWriteOutcome::Refused);
  int32_t value = 0;
  ASSERT_TRUE(ReadObject(0x6075, 0, &value));
  EXPECT_EQ(value, 2501);
}

INSTANTIATE_TEST_SUITE_P(JustLateToMuchLater, LateAnswers, ::testing::Values(1040u, 1500u, 2100u, 5000u));

// Late answers at random among good ones: whatever the timing, a write reported as done holds in
// the drive, and a read returns the drive's value.
TEST_F(LineFaults, UnderRandomLateAnswersEveryConfirmedWriteIsInTheDrive) {
  for (const uint32_t delayMs : {1040u, 1300u, 2500u}) {
    SCOPED_TRACE(delayMs);
    sim::FaultConfig faults;
    faults.seed = 7 + delayMs;
    faults.delayReply = 0.3;
    faults.delayMs = delayMs;
    sleeper_.reset();
    start(faults);
    int confirmed = 0;
    for (int i = 0; i < 60; ++i) {
      const int32_t value = 1000 + 10 * i;
      if (WriteObjectChecked(0x6075, 0, 4, value) == ObjectWriteOutcome::Written) {
        ++confirmed;
        RecordWords settings{};
        ASSERT_TRUE(drive_->record(2, settings));
        EXPECT_EQ(settings[0], value) << "write " << i;
      }
      int32_t read = 0;
      if (ReadObject(0x6075, 0, &read)) {
        RecordWords settings{};
        ASSERT_TRUE(drive_->record(2, settings));
        EXPECT_EQ(read, settings[0]) << "read " << i;
      }
    }
    EXPECT_GT(confirmed, 10);
    CloseLink();
  }
}

}  // namespace
}  // namespace axtune
