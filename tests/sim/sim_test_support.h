// A simulated drive registered under a test device name, opened through the drive link, with the
// product's fixed pauses turned into simulated time.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/sleeper.h"
#include "sim/simulated_drive.h"

namespace axtune::sim::testing {

class LinkedDrive : public ::testing::Test {
 protected:
  static constexpr const char* kDevice = "sim:test";

  void SetUp() override { start(SimConfig::unitTest()); }
  void TearDown() override {
    CloseLink();
    unregisterSimulatedDrive(kDevice);
    sleeper_.reset();
  }

  void start(const SimConfig& config) {
    if (drive_) TearDown();
    drive_ = registerSimulatedDrive(kDevice, config);
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    ASSERT_TRUE(OpenLink(kDevice));
  }

  RecordWords read(int record) {
    RecordWords words{};
    EXPECT_TRUE(ReadRecord(record, words)) << "record " << record << ", LinkError " << LinkError.load();
    return words;
  }
  uint32_t object(uint16_t index, uint8_t subindex) {
    int32_t value = 0;
    EXPECT_TRUE(ReadObject(index, subindex, &value)) << std::hex << index << "/" << int(subindex);
    return static_cast<uint32_t>(value);
  }
  void controlword(uint16_t value) { ASSERT_TRUE(WriteObject(0x6040, 0, 2, value)); }
  static int32_t longAt(const RecordWords& w, int word) {
    return static_cast<int32_t>(w[word] | (uint32_t{w[word + 1]} << 16));
  }
  // Lets simulated time pass in steps until `done` holds (at most `limitMs`); true when it did.
  template <typename Done>
  bool runUntil(Done done, uint32_t limitMs = 120000) {
    for (uint32_t t = 0; t < limitMs; t += 50) {
      if (done()) return true;
      drive_->advanceMs(50);
    }
    return done();
  }
  uint16_t motionState() { return read(kStatusRecordB)[0]; }
  uint16_t deviceState() { return read(kStatusRecordA)[14]; }

  std::shared_ptr<SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
};

}  // namespace axtune::sim::testing
