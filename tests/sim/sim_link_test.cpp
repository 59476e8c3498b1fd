// The drive link against the simulated drive: identification, records, objects, signs, aborts, store.
#include <cstdio>
#include <filesystem>

#include "sim/drive_firmware.h"
#include "sim/record_layout.h"
#include "sim_test_support.h"

namespace axtune::sim::testing {
namespace {

using DriveLink = LinkedDrive;

TEST_F(DriveLink, IdentificationCarriesTheConfiguredDrive) {
  RecordWords id = read(kIdentificationRecord);
  EXPECT_EQ(id[0], 1025);
  EXPECT_EQ(id[1], 0x0401);
  EXPECT_EQ(id[2], 7);
  EXPECT_EQ(id[3], 0);
  EXPECT_EQ(id[6], 65);

  SimConfig config = SimConfig::unitTest();
  config.deviceType = 1028;
  config.firmwareMajor = 3;
  config.firmwareMinor = 2;
  config.firmwareBuild = 9;
  config.testFirmware = true;
  config.recordCount = 20;
  start(config);
  id = read(kIdentificationRecord);
  EXPECT_EQ(id[0], 1028);
  EXPECT_EQ(id[1], 0x0302);
  EXPECT_EQ(id[2], 9);
  EXPECT_EQ(id[3], 1);
  EXPECT_EQ(id[6], 20);
  // Record 20 and the homing record are beyond this drive's count: "unknown record" (code 1).
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(20, words));
  EXPECT_EQ(LinkError.load(), int{kLinkDriveErrorBase} + int{kErrUnknownRecord});
  EXPECT_TRUE(ReadRecord(19, words));
}

TEST_F(DriveLink, RecordsAreWrittenWordByWordAndWhole) {
  RecordWords settings = read(kSettingsRecord);
  EXPECT_EQ(settings[kSetIdleDelay], 500);
  EXPECT_EQ(settings[kSetStepsPerRev], 3200);

  ASSERT_TRUE(WriteWords(kSettingsRecord, kSetIdleDelay, 1234));
  EXPECT_EQ(read(kSettingsRecord)[kSetIdleDelay], 1234);

  RecordWords profile{};
  for (int i = 0; i < kRecordWords; ++i) profile[i] = static_cast<uint16_t>(0x1111 * (i + 1));
  RecordWords sent = profile;
  ASSERT_TRUE(ExchangeRecord(30, profile));
  EXPECT_EQ(profile, sent) << "a record write is answered with the record as stored";
  EXPECT_EQ(read(30), sent);

  // Unknown records and writes to read-only records are refused with their codes.
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(100, words));
  EXPECT_EQ(LinkError.load(), int{kLinkDriveErrorBase} + int{kErrUnknownRecord});
  EXPECT_FALSE(ReadRecord(130, words));
  RecordWords id = read(kIdentificationRecord);
  RecordWords attempt{};
  EXPECT_FALSE(ExchangeRecord(kIdentificationRecord, attempt)) << "only two error bytes come back";
  EXPECT_EQ(read(kIdentificationRecord), id);
}

TEST_F(DriveLink, RawFramesMatchTheWorkedChecksums) {
  SerialPort* port = LinkPort();
  ASSERT_NE(port, nullptr);
  const uint8_t wordWrite[6] = {0x87, 0x02, 0x34, 0x12, 0xBB, 0x14};
  ASSERT_EQ(port->write(wordWrite, 6), 6u);
  uint8_t reply[34] = {};
  ASSERT_EQ(port->read(reply, 6), 6u);
  EXPECT_EQ(std::vector<uint8_t>(reply, reply + 6),
            (std::vector<uint8_t>{0x07, 0x02, 0x34, 0x12, 0x3B, 0x14}));

  const uint8_t badChecksum[6] = {0x87, 0x02, 0x34, 0x12, 0xBC, 0x14};
  port->write(badChecksum, 6);
  ASSERT_EQ(port->read(reply, 2), 2u);
  EXPECT_EQ(reply[0], 0x80 | (kErrBadChecksum << 4));
  EXPECT_EQ(reply[1], 0x02);
  EXPECT_EQ(read(kSettingsRecord)[7], 0x1234) << "the bad frame changed nothing";

  // A whole read reply: header 0x0F, record, 15 words, checksum over header word and words.
  const uint8_t readRequest[2] = {0x0F, 0x05};
  port->write(readRequest, 2);
  ASSERT_EQ(port->read(reply, 34), 34u);
  uint32_t sum = 0x050F;
  for (int i = 0; i < 15; ++i) sum += reply[2 + 2 * i] | (reply[3 + 2 * i] << 8);
  EXPECT_EQ(reply[32] | (reply[33] << 8), sum & 0xFFFF);
}

TEST_F(DriveLink, ObjectsShareTheWordsOfTheirRecords) {
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 3));  // select profile 3 (record 17)
  ASSERT_TRUE(WriteObject(0x2022, 2, 4, 838861));
  ASSERT_TRUE(WriteObject(0x6083, 0, 4, 419));
  RecordWords profile = read(kFirstProfileRecord + 3);
  EXPECT_EQ(longAt(profile, kProVelocity), 838861);
  EXPECT_EQ(longAt(profile, kProAccel), 419);

  ASSERT_TRUE(WriteWords(kFirstProfileRecord + 3, kProWait, 250));
  EXPECT_EQ(object(0x2022, 11), 250u);
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 4));
  EXPECT_NE(object(0x2022, 11), 250u) << "the selector moves every profile object";

  ASSERT_TRUE(WriteObject(0x6075, 0, 4, 1500));
  EXPECT_EQ(longAt(read(kSettingsRecord), kSetMotorCurrent), 1500);
  ASSERT_TRUE(WriteObject(0x2024, 8, 4, 70000));
  EXPECT_EQ(longAt(read(kHomingRecord), kHomMaxDistance), 70000);
  ASSERT_TRUE(WriteWords(kHomingRecord, kHomMethod, 250));
  EXPECT_EQ(object(0x6098, 0), 250u);
}

TEST_F(DriveLink, SignedValuesAndShortObjects) {
  ASSERT_TRUE(WriteObject(0x2022, 1, 4, -5000));
  EXPECT_EQ(static_cast<int32_t>(object(0x2022, 1)), -5000);
  RecordWords profile = read(kFirstProfileRecord);
  EXPECT_EQ(profile[kProTarget], 0xEC78);
  EXPECT_EQ(profile[kProTarget + 1], 0xFFFF);

  ASSERT_TRUE(WriteObject(0x2024, 6, 4, -123456));
  EXPECT_EQ(static_cast<int32_t>(object(0x2024, 6)), -123456);

  // A one-byte object travels zero-extended: mode -7 reads back as 249, not -7.
  ASSERT_TRUE(WriteObject(0x6060, 0, 1, -7));
  EXPECT_EQ(object(0x6061, 0), 249u);
  EXPECT_EQ(read(kStatusRecordB)[6], 249);
  ASSERT_TRUE(WriteObject(0x6060, 0, 1, -1));
  EXPECT_EQ(object(0x6061, 0), 255u);
}

TEST_F(DriveLink, AbortsLeaveValuesAlone) {
  auto abortReply = [&]() {
    RecordWords reply = read(kObjectRecord);  // record 127 keeps the last answer
    return std::pair<uint8_t, uint32_t>(reply[0] & 0xFF, reply[2] | (uint32_t{reply[3]} << 16));
  };
  int32_t value = 42;
  EXPECT_FALSE(ReadObject(0x1234, 0, &value));
  EXPECT_EQ(value, 42);
  EXPECT_EQ(abortReply(), std::make_pair(uint8_t{0x80}, uint32_t{kAbortNoObject}));
  EXPECT_FALSE(ReadObject(0x2022, 4, &value));
  EXPECT_EQ(abortReply(), std::make_pair(uint8_t{0x80}, uint32_t{kAbortNoSubindex}));

  // Writes are answered in full even when refused; the answer is an abort, which fails the write.
  EXPECT_FALSE(WriteObject(0x6075, 0, 4, 7001));
  EXPECT_EQ(abortReply().second, kAbortRangeHigh);
  EXPECT_EQ(object(0x6075, 0), 2000u);
  EXPECT_FALSE(WriteObject(0x6041, 0, 2, 0));
  EXPECT_EQ(abortReply().second, kAbortReadOnly);
  EXPECT_FALSE(WriteObject(0x6098, 0, 1, 1));
  EXPECT_EQ(object(0x6098, 0), 24u) << "method 1 is not one the drive offers";
  EXPECT_FALSE(WriteObject(0x2022, 5, 2, 50));
  EXPECT_EQ(object(0x2022, 5), 0u);

  RecordWords badCommand{7, 0x22, 0x6040, 0, 0x0F};
  ASSERT_TRUE(ExchangeRecord(kObjectRecord, badCommand));
  EXPECT_EQ(badCommand[0] & 0xFF, 0x80) << "0x22 is not an expedited download of a known size";
}

TEST_F(DriveLink, ParameterSetWrittenBackRecordByRecordWithEndOfLoad) {
  std::vector<RecordWords> saved;
  for (int r = 0; r < 65; ++r) saved.push_back(read(r));
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 12));
  ASSERT_TRUE(WriteObject(0x2022, 1, 4, -777));
  ASSERT_TRUE(WriteWords(kOutputsRecord, 6, 3));
  ASSERT_TRUE(WriteWords(kHomingRecord, kHomMethod, 35));

  for (int r = 2; r < 65; ++r) {
    RecordWords words = saved[r];
    ASSERT_TRUE(ExchangeRecord(r, words));
    EXPECT_EQ(words, saved[r]);
  }
  RecordWords end = CommandRequest(kCmdEndOfLoad);
  ASSERT_TRUE(ExchangeRecord(kObjectRecord, end));
  EXPECT_EQ(end[0], 4);
  EXPECT_EQ(end[1], 0);
  for (int r = 0; r < 65; ++r) EXPECT_EQ(read(r), saved[r]) << "record " << r;
  EXPECT_EQ(static_cast<int32_t>(object(0x2022, 1)), longAt(saved[kFirstProfileRecord + 12], kProTarget));
}

TEST_F(DriveLink, StoreKeepsParametersOverAPowerCycle) {
  const auto path =
      std::filesystem::temp_directory_path() /
      ("axtune-sim-image-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".img");
  std::filesystem::remove(path);
  SimConfig config = SimConfig::unitTest();
  config.persistentImagePath = path.string();
  start(config);

  ASSERT_TRUE(WriteWords(kSettingsRecord, kSetIdleDelay, 777));
  ASSERT_TRUE(StoreParameters());
  ASSERT_TRUE(WriteWords(kSettingsRecord, kSetIdleDelay, 888));  // not stored
  drive_->powerCycle();
  drive_->advanceMs(500);
  EXPECT_EQ(read(kSettingsRecord)[kSetIdleDelay], 777);

  // A new drive on the same image file starts with the stored parameters.
  start(config);
  EXPECT_EQ(read(kSettingsRecord)[kSetIdleDelay], 777);
  std::filesystem::remove(path);

  // Without a file the store lives as long as the drive object.
  start(SimConfig::unitTest());
  EXPECT_EQ(read(kSettingsRecord)[kSetIdleDelay], 500);
}

TEST_F(DriveLink, DamagedImageFallsBackToFactoryDefaults) {
  const auto path = std::filesystem::temp_directory_path() / "axtune-sim-damaged.img";
  {
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("QMXIMG01 but far too short", f);
    std::fclose(f);
  }
  SimConfig config = SimConfig::unitTest();
  config.persistentImagePath = path.string();
  start(config);
  EXPECT_EQ(read(kSettingsRecord)[kSetStepsPerRev], 3200);
  std::string warning;
  drive_->withFirmware([&](DriveFirmware& f) { warning = f.imageWarning(); });
  EXPECT_NE(warning.find("not a parameter image"), std::string::npos) << warning;
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace axtune::sim::testing
