// The start and stop sequences of the motion pages as the drive receives them, what they make the
// simulated motor do, and how a drive that does not answer shows in their result.
#include "pages/motion_commands.h"

#include "tests/pages/motion_page_test_support.h"

namespace axtune {
namespace {

using testing::Access;
using testing::Object;

class MotionCommandsTest : public testing::MotionPageTest {};

const std::vector<Access> kStartProfile = {Object(0x6060, 0, 1, 0xFF), Object(0x6040, 0, 2, 0x000D),
                                           Object(0x6040, 0, 2, 0x000D), Object(0x6040, 0, 2, 0x001D)};
const std::vector<Access> kStartHoming = {Object(0x6060, 0, 1, 0xF9), Object(0x6040, 0, 2, 0x000D),
                                          Object(0x6040, 0, 2, 0x000D), Object(0x6040, 0, 2, 0x001D)};
const std::vector<Access> kStop = {Object(0x6040, 0, 2, 0x010D)};

using MotionCommandsTestStyles = test::InEveryReplyStyle<MotionCommandsTest>;

TEST_P(MotionCommandsTestStyles, StartRunsTheSelectedProfileAndStopHaltsIt) {
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 0));  // profile 0: absolute to 10000 at 4000 steps/s
  clearAccesses();
  EXPECT_TRUE(SendStartSequence(kModeProfilePosition));
  EXPECT_EQ(accesses(), kStartProfile);
  drive_->advanceMs(1000);
  const int32_t moving = drive_->snapshot().position;
  EXPECT_GT(moving, 0);
  EXPECT_LT(moving, 10000);

  clearAccesses();
  EXPECT_TRUE(SendStopSequence());
  EXPECT_EQ(accesses(), kStop);
  ASSERT_TRUE(runUntil([&] { return drive_->snapshot().velocity == 0; }));
  EXPECT_EQ(drive_->snapshot().motionState, 3) << "halted";
  EXPECT_LT(drive_->snapshot().position, 10000);

  // Started again from the halted state, the same sequence takes the profile to its end.
  EXPECT_TRUE(SendStartSequence(kModeProfilePosition));
  ASSERT_TRUE(runUntil([&] { return drive_->snapshot().motionState == 2; }));
  EXPECT_EQ(drive_->snapshot().position, 10000);
}

TEST_P(MotionCommandsTestStyles, HomingStartDiffersOnlyInTheMode) {
  ASSERT_TRUE(WriteObject(0x6098, 0, 1, 35));  // take the actual position as the reference
  clearAccesses();
  EXPECT_TRUE(SendStartSequence(kModeHoming));
  EXPECT_EQ(accesses(), kStartHoming);
  ASSERT_TRUE(runUntil([&] { return drive_->snapshot().referenced == 2; }));
}

TEST_F(MotionCommandsTest, EveryWriteGoesOutEvenWhenTheDriveIsSilent) {
  silenceDrive(true);
  EXPECT_FALSE(SendStartSequence(kModeProfilePosition));
  // Between the writes the link reads a record to tell a late answer from the next one's (see
  // link/README.md, "Late answers"); every write still goes out, none waits on the one before.
  EXPECT_EQ(writes(), kStartProfile) << "no write waits on the answer to the one before";
  clearAccesses();
  EXPECT_FALSE(SendStopSequence());
  EXPECT_EQ(writes(), kStop);

  silenceDrive(false);
  EXPECT_TRUE(SendStopSequence());
}

INSTANTIATE_TEST_SUITE_P(Drives, MotionCommandsTestStyles, ::testing::ValuesIn(test::kSimReplyStyles),
                         test::ReplyStyleName);

}  // namespace
}  // namespace axtune
