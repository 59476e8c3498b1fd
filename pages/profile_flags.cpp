#include "pages/profile_flags.h"

namespace axtune {

int ProfileIconId(uint16_t flags) {
  switch (flags & kProfileChainingBits) {
    case kProfileNext:
    case kProfileNext | kProfileNextVelocity:
    case kProfileNext | kProfileNextVelocity | kProfileWait:
      return kIconProfileThenNext;
    case kProfileNext | kProfileWithoutStop:
    case kProfileNext | kProfileWithoutStop | kProfileWait:
      return kIconProfileOnAtOwnVelocity;
    case kProfileNext | kProfileWithoutStop | kProfileNextVelocity:
    case kProfileNext | kProfileWithoutStop | kProfileNextVelocity | kProfileWait:
      return kIconProfileOnAtNextVelocity;
    case kProfileNext | kProfileWait:
      return kIconProfileWaitThenNext;
    default:
      return (flags & kProfileWait) ? kIconProfileWait : kIconProfileSingle;
  }
}

ProfileEnabling ProfileEnablingFor(uint16_t flags) {
  const bool next = flags & kProfileNext;
  const bool withoutStop = flags & kProfileWithoutStop;
  return ProfileEnabling{
      .withoutStop = next,
      .targetVelocity = next && withoutStop,
      .waiting = next && !withoutStop,
      .nextProfile = next,
  };
}

int PositionLabelTextId(uint16_t flags) {
  return (flags & kProfileRelative) ? kTextDistance : kTextTargetPosition;
}

}  // namespace axtune
