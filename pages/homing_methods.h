// The homing methods the Homing page offers come from the parameter dictionary ("homing-method"),
// in list order with the number written to 0x6098: 17 to 35 are the CiA 402 methods of those
// numbers; 250 and 251, the last two entries, are the drive's own runs against the lower and upper
// mechanical stop, the only ones that use the maximum distance.
#pragma once

namespace axtune {

// List entries after this one are the mechanical-stop methods.
inline constexpr int kLastMethodWithoutMaxDistance = 6;

// Whether the maximum-distance row shows for the selected list index (-1: none selected).
constexpr bool MaxDistanceVisible(int selectedIndex) {
  return selectedIndex > kLastMethodWithoutMaxDistance;
}

}  // namespace axtune
