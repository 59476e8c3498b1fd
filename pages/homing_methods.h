// The homing methods the Homing page offers, in list order, with the number written to 0x6098.
// 17 to 35 are the CiA 402 methods of those numbers; 250 and 251 are the drive's own runs against the
// lower and upper mechanical stop, the only ones that use the maximum distance.
#pragma once

#include <array>
#include <cstdint>

namespace axtune {

struct HomingMethod {
  int textId;
  int16_t code;
};

inline constexpr std::array<HomingMethod, 9> kHomingMethods{{
    {32789, 35},   // actual position
    {32790, 17},   // lower limit switch
    {32791, 18},   // upper limit switch
    {32792, 24},   // lower edge of the reference switch, first move forwards
    {32795, 25},   // upper edge, forwards
    {32796, 29},   // lower edge, backwards
    {32797, 28},   // upper edge, backwards
    {32808, 250},  // lower mechanical stop
    {32809, 251},  // upper mechanical stop
}};

// List entries after this one are the mechanical-stop methods.
inline constexpr int kLastMethodWithoutMaxDistance = 6;

// Whether the maximum-distance row shows for the selected list index (-1: none selected).
constexpr bool MaxDistanceVisible(int selectedIndex) {
  return selectedIndex > kLastMethodWithoutMaxDistance;
}

}  // namespace axtune
