// The drive's behaviour seen through the link: state machine, faults, profiles, homing, live status.
#include <cmath>

#include "sim/drive_firmware.h"
#include "sim/record_layout.h"
#include "sim_test_support.h"

namespace axtune::sim::testing {
namespace {

using DriveBehaviour = LinkedDrive;

TEST_F(DriveBehaviour, ControlwordWalksTheStateMachine) {
  struct Step {
    uint16_t controlword;
    uint16_t deviceState;
    uint16_t statusBits;  // statusword & 0x6F
  };
  // Each write takes one transition; bit 1 is not evaluated.
  const Step steps[] = {
      {0x04, 2, 0x21},  // shutdown: ready to switch on
      {0x05, 3, 0x23},  // switch on
      {0x0D, 4, 0x27},  // enable operation
      {0x09, 5, 0x07},  // quick stop ("Quickstop" pressed in)
      {0x0D, 4, 0x27},  // back to operation ("Quickstop" released)
      {0x05, 3, 0x23},  // disable operation ("Operation" released)
      {0x04, 2, 0x21},  // shutdown ("Switch On" released)
      {0x00, 1, 0x40},  // quick stop / disable voltage from ready: switch on disabled
      {0x0F, 2, 0x21},  // a standard enable-operation word steps one state at a time
      {0x0F, 3, 0x23}, {0x0F, 4, 0x27},
  };
  EXPECT_EQ(deviceState(), 1);
  EXPECT_EQ(object(0x6041, 0) & 0x6F, 0x40u);
  for (const Step& step : steps) {
    controlword(step.controlword);
    EXPECT_EQ(deviceState(), step.deviceState) << "after 0x" << std::hex << step.controlword;
    const uint32_t statusword = object(0x6041, 0);
    EXPECT_EQ(statusword & 0x6F, step.statusBits) << "after 0x" << std::hex << step.controlword;
    EXPECT_EQ(read(kStatusRecordA)[0], statusword) << "record 129 word 0 mirrors the statusword";
  }
  // Operation with the DC link up and the drive remote, at rest: 0x0637 as the status panel sees it.
  EXPECT_EQ(object(0x6041, 0), 0x0637u);
}

TEST_F(DriveBehaviour, FaultsShowTheirNumbersAndResetOnlyWhenTheCauseIsGone) {
  controlword(0x0D);
  controlword(0x0D);
  controlword(0x0D);
  ASSERT_EQ(deviceState(), 4);

  drive_->triggerFault(DriveFault::FollowingError);
  RecordWords status = read(kStatusRecordA);
  EXPECT_EQ(status[14], 0);
  EXPECT_EQ(status[13], 6);
  EXPECT_EQ(object(0x6041, 0) & 0x4F, 0x08u);
  controlword(0x80);  // "Fehler löschen"
  EXPECT_EQ(deviceState(), 1);
  EXPECT_EQ(read(kStatusRecordA)[13], 0);

  drive_->setSupplyVolts(12);
  drive_->advanceMs(10);
  EXPECT_EQ(read(kStatusRecordA)[13], 1) << "under-voltage";
  controlword(0x00);
  controlword(0x80);
  EXPECT_EQ(deviceState(), 0) << "the supply is still too low";
  drive_->setSupplyVolts(48);
  controlword(0x00);
  controlword(0x80);
  EXPECT_EQ(deviceState(), 1);

  // A hot cabinet heats the power stage until it trips at 80 degrees (1/128 degree per unit).
  drive_->setAmbientCelsius(95);
  ASSERT_TRUE(runUntil([&] { return read(kStatusRecordA)[13] == 4; }, 600000));
  EXPECT_GE(read(kStatusRecordA)[1], 80 * 128 - 64);
}

TEST_F(DriveBehaviour, StartSequenceRunsTheSelectedProfileToItsTarget) {
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 0));  // profile 0: absolute 10000 at 4000 steps/s
  ASSERT_TRUE(WriteObject(0x6060, 0, 1, 0xFF));
  const uint64_t started = drive_->nowUs();
  controlword(0x0D);
  controlword(0x0D);
  controlword(0x1D);
  RecordWords live = read(kStatusRecordB);
  EXPECT_EQ(live[0], kMotionRunning);
  EXPECT_EQ(live[1], 0);
  EXPECT_EQ(live[2], 2265) << "2 A rms while moving, as a peak value on 20.45 A full scale";
  ASSERT_TRUE(runUntil([&] { return motionState() == kMotionFinished; }));
  const double seconds = (drive_->nowUs() - started) / 1e6;
  EXPECT_NEAR(seconds, 2.7, 0.2) << "10000 steps at 4000 steps/s with 20000 steps/s^2 ramps";
  RecordWords status = read(kStatusRecordA);
  EXPECT_EQ(longAt(status, 4), 10000);
  EXPECT_EQ(longAt(read(kStatusRecordB), 4), 6250) << "encoder: 2000 counts per 3200 steps";
  EXPECT_TRUE(object(0x6041, 0) & 0x0400) << "target reached";

  // At rest the current drops to the idle level after its delay (500 ms, 50 %).
  drive_->advanceMs(600);
  EXPECT_NEAR(read(kStatusRecordB)[2], 1133, 1);

  // Relative profile 2 moves 5000 on from where the drive stands.
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 2));
  controlword(0x0D);
  controlword(0x1D);
  ASSERT_TRUE(runUntil([&] { return motionState() == kMotionFinished; }));
  EXPECT_EQ(longAt(read(kStatusRecordA), 4), 15000);
}

TEST_F(DriveBehaviour, ChainedProfilesRunThroughToTheLast) {
  // 4 -> 5 after a stop, 5 waits 500 ms -> 6, 6 runs on without stop into 7, 7 into 8 (ends at 18000).
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 4));
  controlword(0x0D);
  controlword(0x0D);
  controlword(0x1D);
  bool sawSix = false;
  ASSERT_TRUE(runUntil([&] {
    RecordWords live = read(kStatusRecordB);
    sawSix |= live[1] == 6;
    return live[0] == kMotionFinished;
  }));
  EXPECT_TRUE(sawSix);
  EXPECT_EQ(read(kStatusRecordB)[1], 8);
  EXPECT_EQ(longAt(read(kStatusRecordA), 4), 18000);
}

TEST_F(DriveBehaviour, HaltLimitSwitchAndQuickStopEndAMove) {
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 0));
  controlword(0x0D);
  controlword(0x0D);
  controlword(0x1D);
  drive_->advanceMs(1000);
  controlword(0x010D);  // "Stop"
  ASSERT_TRUE(runUntil([&] { return motionState() == kMotionHalted; }));
  const int32_t stopped = longAt(read(kStatusRecordA), 4);
  EXPECT_GT(stopped, 0);
  EXPECT_LT(stopped, 10000);

  // A relative profile after a halt counts from where the drive stopped, not from the old target.
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 2));
  controlword(0x0D);
  controlword(0x1D);
  ASSERT_TRUE(runUntil([&] { return motionState() == kMotionFinished; }));
  EXPECT_EQ(longAt(read(kStatusRecordA), 4), stopped + 5000);
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 0));

  // 30000 lies beyond the upper limit switch at 20000.
  ASSERT_TRUE(WriteObject(0x2022, 1, 4, 30000));
  controlword(0x0D);
  controlword(0x1D);
  ASSERT_TRUE(runUntil([&] { return motionState() == kMotionLimitSwitch; }));
  RecordWords status = read(kStatusRecordA);
  EXPECT_GE(longAt(status, 4), 20000);
  EXPECT_EQ(status[8] & 0x0600, kSwLowerNotReached) << "upper limit reached";
  controlword(0x0D);
  controlword(0x1D);
  EXPECT_EQ(motionState(), kMotionLimitSwitch) << "no further into the switch";

  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 1));  // back to 0
  controlword(0x0D);
  controlword(0x1D);
  drive_->advanceMs(1000);
  controlword(0x09);
  ASSERT_TRUE(runUntil([&] { return motionState() == kMotionQuickStop; }));
  EXPECT_EQ(deviceState(), 5);
  EXPECT_FALSE(object(0x6041, 0) & 0x20);
}

TEST_F(DriveBehaviour, SwitchesCountOnlyThroughAnInputSetToTheirFunction) {
  ASSERT_TRUE(WriteWords(kInputsRecord, 0, 0));  // DE1 no longer the lower limit switch
  ASSERT_TRUE(WriteObject(0x2022, 1, 4, -20500));
  controlword(0x0D);
  controlword(0x0D);
  controlword(0x1D);
  ASSERT_TRUE(runUntil([&] { return motionState() != kMotionRunning; }));
  EXPECT_EQ(motionState(), kMotionFinished);
  RecordWords status = read(kStatusRecordA);
  EXPECT_EQ(longAt(status, 4), -20500);
  EXPECT_EQ(status[8] & kSwLowerNotReached, kSwLowerNotReached);
  EXPECT_EQ(status[9] & 0x01, 0);

  ASSERT_TRUE(WriteWords(kInputsRecord, 9, 1));  // DE10 takes the function over
  status = read(kStatusRecordA);
  EXPECT_EQ(status[8] & kSwLowerNotReached, 0);
  EXPECT_EQ(status[9] & 0x200, 0x200);
}

TEST_F(DriveBehaviour, RunningIntoAMechanicalStopIsAFollowingError) {
  // Limit switches at +-20000 would stop the move; a drive without them runs into the stop.
  SimConfig config = SimConfig::unitTest();
  config.axis.upperLimitSwitch = 50000;
  start(config);
  ASSERT_TRUE(WriteObject(0x2022, 1, 4, 40000));
  controlword(0x0D);
  controlword(0x0D);
  controlword(0x1D);
  ASSERT_TRUE(runUntil([&] { return deviceState() == 0; }));
  EXPECT_EQ(read(kStatusRecordA)[13], 6);
  EXPECT_EQ(motionState(), kMotionFault);
  EXPECT_EQ(longAt(read(kStatusRecordA), 4), 21000);
}

struct HomingCase {
  uint16_t method;
  int32_t physicalReference;  // where on the mechanics the reference lies
};

class Homing : public LinkedDrive, public ::testing::WithParamInterface<HomingCase> {};

TEST_P(Homing, ReachesTheReferenceAndTakesTheReferencePosition) {
  const HomingCase c = GetParam();
  ASSERT_TRUE(WriteObject(0x6098, 0, 1, c.method));
  ASSERT_TRUE(WriteObject(0x2024, 6, 4, -100));  // reference position
  ASSERT_TRUE(WriteObject(0x6060, 0, 1, 0xF9));
  controlword(0x0D);
  controlword(0x0D);
  controlword(0x1D);
  ASSERT_TRUE(runUntil([&] { return read(kStatusRecordA)[10] != kRefHoming; }, 300000));
  RecordWords status = read(kStatusRecordA);
  EXPECT_EQ(status[10], kRefDone);
  EXPECT_EQ(longAt(status, 4), -100);
  EXPECT_EQ(motionState(), kMotionFinished);
  EXPECT_TRUE(object(0x6041, 0) & 0x1000) << "homing attained";
  double physical = 0;
  drive_->withFirmware([&](DriveFirmware& f) { physical = f.motion().physicalPosition(); });
  EXPECT_DOUBLE_EQ(physical, c.physicalReference);
}

INSTANTIATE_TEST_SUITE_P(EveryMethodOfTheHomingPage, Homing,
                         ::testing::Values(HomingCase{35, 0}, HomingCase{17, -20000}, HomingCase{18, 20000},
                                           HomingCase{24, 2000}, HomingCase{25, 3000}, HomingCase{29, 2000},
                                           HomingCase{28, 3000}, HomingCase{250, -21000},
                                           HomingCase{251, 21000}),
                         [](const auto& info) { return "Method" + std::to_string(info.param.method); });

TEST_F(DriveBehaviour, MechanicalStopBeyondTheMaximumDistanceFailsHoming) {
  ASSERT_TRUE(WriteObject(0x6098, 0, 1, 251));
  ASSERT_TRUE(WriteObject(0x2024, 8, 4, 5000));
  ASSERT_TRUE(WriteObject(0x6060, 0, 1, 0xF9));
  controlword(0x0D);
  controlword(0x0D);
  controlword(0x1D);
  ASSERT_TRUE(runUntil([&] { return read(kStatusRecordA)[10] != kRefHoming; }));
  EXPECT_EQ(read(kStatusRecordA)[10], kRefFailed);
  EXPECT_EQ(motionState(), kMotionReferenceInvalid);
  EXPECT_TRUE(object(0x6041, 0) & 0x2000) << "homing error";
}

TEST_F(DriveBehaviour, LiveRecordsDecodeToPlausibleValues) {
  RecordWords a = read(kStatusRecordA);
  EXPECT_NEAR(a[1] / 128.0, 25.0, 0.5) << "power stage at ambient";
  EXPECT_NEAR(a[2] / 32767.0 * 3 * 102.7 / 2.7, 48.0, 0.5) << "DC link";
  EXPECT_EQ(a[8], kSwLowerNotReached | kSwUpperNotReached);
  EXPECT_EQ(a[10], kRefNone);
  RecordWords b = read(kStatusRecordB);
  EXPECT_EQ(b[3], 3200);
  EXPECT_EQ(b[7], 8192);
  EXPECT_EQ(b[8], 500);
  EXPECT_EQ(b[2], 0) << "no current before operation is enabled";

  drive_->setStopSwitch(true);
  EXPECT_EQ(read(kStatusRecordA)[8] & kSwStop, kSwStop);
  EXPECT_EQ(read(kStatusRecordA)[9] & 0x08, 0x08) << "DE4 is the stop switch input";
}

}  // namespace
}  // namespace axtune::sim::testing
