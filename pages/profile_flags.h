// The flag word of a motion profile (word 8 of its record) and what the Profiles page derives from
// it: which controls are enabled, which pictogram shows the chaining, and what the position means.
// No window here, so the rules are tested on their own.
#pragma once

#include <cstdint>

namespace axtune {

enum ProfileFlag : uint16_t {
  kProfileRelative = 0x0001,      // the position is a distance from the start
  kProfileNext = 0x0008,          // a next profile follows
  kProfileWithoutStop = 0x0010,   // go on into the next profile without stopping
  kProfileWait = 0x0080,          // wait before the next profile
  kProfileNextVelocity = 0x0100,  // end with the next profile's velocity
  kProfileSiUnits = 0x2000,
};

// The bits that choose the pictogram.
inline constexpr uint16_t kProfileChainingBits =
    kProfileNext | kProfileWithoutStop | kProfileWait | kProfileNextVelocity;

inline constexpr int kIconProfileThenNext = 157;
inline constexpr int kIconProfileSingle = 158;
inline constexpr int kIconProfileOnAtOwnVelocity = 159;
inline constexpr int kIconProfileOnAtNextVelocity = 160;
inline constexpr int kIconProfileWait = 161;
inline constexpr int kIconProfileWaitThenNext = 162;

// The pictogram (icon 157..162) for a flag word.
int ProfileIconId(uint16_t flags);

// Which chaining controls may be used: the check boxes mirror the flag bits, so the rules read
// the bits directly.
struct ProfileEnabling {
  bool withoutStop;     // check box "next profile without stop"
  bool targetVelocity;  // combo box of the velocity the move ends with
  bool waiting;         // waiting-time check box and edit
  bool nextProfile;     // next-profile number
};
ProfileEnabling ProfileEnablingFor(uint16_t flags);

inline constexpr int kTextTargetPosition = 57671;
inline constexpr int kTextDistance = 57672;
// The label of the position field: a distance for a relative profile, else a target position.
int PositionLabelTextId(uint16_t flags);

}  // namespace axtune
