// The homing state from the statusword's homing bits, and the simulated drive reporting them
// through a homing run as a drive does: running, finished, interrupted by Stop, failed.
#include "core/homing_state.h"

#include <gtest/gtest.h>

#include "sim/record_layout.h"
#include "tests/sim/sim_test_support.h"

namespace axtune {
namespace {

struct BitsCase {
  uint16_t statusword;
  HomingState state;
};

class HomingBits : public ::testing::TestWithParam<BitsCase> {};

// Bits 10 (target reached), 12 (homing attained), 13 (homing error); the other bits of an operating
// drive (0x0237) never change the answer.
TEST_P(HomingBits, DecodeToTheRunsState) {
  const BitsCase c = GetParam();
  EXPECT_EQ(DecodeHomingState(c.statusword), c.state);
  EXPECT_EQ(DecodeHomingState(static_cast<uint16_t>(c.statusword | 0x0237)), c.state);
  EXPECT_EQ(HomingStateOf(-7, c.statusword), c.state);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCombination, HomingBits,
    ::testing::Values(BitsCase{0x0000, HomingState::Running}, BitsCase{0x0400, HomingState::NotCompleted},
                      BitsCase{0x1000, HomingState::Found}, BitsCase{0x1400, HomingState::Finished},
                      BitsCase{0x2000, HomingState::Failed}, BitsCase{0x2400, HomingState::Failed},
                      BitsCase{0x3000, HomingState::Failed}, BitsCase{0x3400, HomingState::Failed}));

TEST(HomingMode, OnlyTheHomingModeReadsTheBits) {
  EXPECT_TRUE(IsHomingMode(-7));
  EXPECT_TRUE(IsHomingMode(0xF9)) << "zero-extended";
  EXPECT_TRUE(IsHomingMode(static_cast<int32_t>(0xFFFFFFF9))) << "sign-extended";
  EXPECT_FALSE(IsHomingMode(-1)) << "profile mode: bit 12 is the set-point acknowledge";
  EXPECT_TRUE(IsHomingMode(0x1F9)) << "only the low byte is the mode";
  EXPECT_EQ(HomingStateOf(-1, 0x1400), std::nullopt);
  EXPECT_EQ(HomingStateOf(std::nullopt, 0x1400), std::nullopt) << "mode not read";
  EXPECT_EQ(HomingStateOf(-7, std::nullopt), std::nullopt) << "statusword not read";
}

TEST(HomingText, EachStateHasItsWordsInBothLanguages) {
  for (HomingState state : {HomingState::NotCompleted, HomingState::Running, HomingState::Found,
                            HomingState::Finished, HomingState::Failed}) {
    const std::string german = HomingStateText(state, Language::German);
    const std::string english = HomingStateText(state, Language::English);
    EXPECT_FALSE(german.empty());
    EXPECT_FALSE(english.empty());
    EXPECT_NE(german, english);
  }
  EXPECT_EQ(HomingStateText(HomingState::Running, Language::German), "Referenzfahrt l\xC3\xA4uft");
  EXPECT_EQ(HomingStateText(HomingState::Finished, Language::English), "Homing finished");
}

// The simulated drive through the link, as the status bar reads it.
class SimulatedHoming : public sim::testing::LinkedDrive {
 protected:
  std::optional<HomingState> state() {
    int32_t mode = 0;
    int32_t statusword = 0;
    if (!ReadObject(0x6061, 0, &mode) || !ReadObject(0x6041, 0, &statusword)) return std::nullopt;
    return HomingStateOf(mode, static_cast<uint16_t>(statusword));
  }
  void startHoming(uint8_t method) {
    ASSERT_TRUE(WriteObject(0x6098, 0, 1, method));
    ASSERT_TRUE(WriteObject(0x6060, 0, 1, 0xF9));
    controlword(0x0D);
    controlword(0x0D);
    controlword(0x1D);
  }
};

TEST_F(SimulatedHoming, RunsThenFinishes) {
  EXPECT_EQ(state(), std::nullopt) << "the drive starts in the profile mode";
  startHoming(17);  // to the lower limit switch: a run that takes a while
  EXPECT_EQ(state(), HomingState::Running);
  ASSERT_TRUE(runUntil([&] { return state() != HomingState::Running; }, 300000));
  EXPECT_EQ(state(), HomingState::Finished);
  EXPECT_EQ(read(kStatusRecordA)[10], sim::kRefDone);
}

TEST_F(SimulatedHoming, StopInterruptsTheRun) {
  startHoming(17);
  drive_->advanceMs(200);
  ASSERT_EQ(state(), HomingState::Running);
  controlword(0x010D);  // the page's Stop: halt
  ASSERT_TRUE(runUntil([&] { return state() != HomingState::Running; }));
  EXPECT_EQ(state(), HomingState::NotCompleted);
}

TEST_F(SimulatedHoming, AMechanicalStopBeyondTheMaximumDistanceFails) {
  ASSERT_TRUE(WriteObject(0x2024, 8, 4, 5000));
  startHoming(251);
  ASSERT_TRUE(runUntil([&] { return state() != HomingState::Running && state() != HomingState::Found; }));
  EXPECT_EQ(state(), HomingState::Failed);
}

}  // namespace
}  // namespace axtune
