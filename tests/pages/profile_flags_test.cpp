// What the Profiles page derives from a profile's flag word: pictogram, enabled controls, label.
#include "pages/profile_flags.h"

#include <gtest/gtest.h>

namespace axtune {
namespace {

TEST(ProfileIcon, EveryCombinationOfTheChainingBits) {
  // Bits 3 (next), 4 (without stop), 7 (wait) and 8 (next profile's velocity).
  struct Case {
    uint16_t flags;
    int icon;
  } const cases[] = {
      {0x000, 158}, {0x008, 157}, {0x010, 158}, {0x018, 159}, {0x080, 161}, {0x088, 162},
      {0x090, 161}, {0x098, 159}, {0x100, 158}, {0x108, 157}, {0x110, 158}, {0x118, 160},
      {0x180, 161}, {0x188, 157}, {0x190, 161}, {0x198, 160},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProfileIconId(c.flags), c.icon) << std::hex << c.flags;
    // The other bits (relative, SI units, whatever the drive keeps) never change the choice.
    EXPECT_EQ(ProfileIconId(c.flags | 0xDE67), c.icon) << std::hex << c.flags;
  }
}

TEST(ProfileIcon, WithoutNextProfileOnlyTheWaitBitCounts) {
  for (uint16_t other : {0x000, 0x010, 0x100, 0x110}) {
    EXPECT_EQ(ProfileIconId(other), 158);
    EXPECT_EQ(ProfileIconId(other | 0x080), 161);
  }
}

TEST(ProfileEnabling, FollowsTheNextAndWithoutStopBits) {
  ProfileEnabling e = ProfileEnablingFor(0x0000 | 0x0190);  // no next profile: nothing of the chaining
  EXPECT_FALSE(e.withoutStop);
  EXPECT_FALSE(e.targetVelocity);
  EXPECT_FALSE(e.waiting);
  EXPECT_FALSE(e.nextProfile);

  e = ProfileEnablingFor(kProfileNext);  // next after a stop: waiting time, no target velocity
  EXPECT_TRUE(e.withoutStop);
  EXPECT_FALSE(e.targetVelocity);
  EXPECT_TRUE(e.waiting);
  EXPECT_TRUE(e.nextProfile);

  e = ProfileEnablingFor(kProfileNext | kProfileWithoutStop);  // on without stop: no waiting
  EXPECT_TRUE(e.withoutStop);
  EXPECT_TRUE(e.targetVelocity);
  EXPECT_FALSE(e.waiting);
  EXPECT_TRUE(e.nextProfile);
}

TEST(ProfileLabel, DistanceForARelativeProfile) {
  EXPECT_EQ(PositionLabelTextId(0x0000), kTextTargetPosition);
  EXPECT_EQ(PositionLabelTextId(0xFFFE), kTextTargetPosition);
  EXPECT_EQ(PositionLabelTextId(0x0001), kTextDistance);
}

}  // namespace
}  // namespace axtune
