// What a homing run is doing, from the drive's statusword in the homing mode of operation: bit 10
// (target reached), bit 12 (homing attained) and bit 13 (homing error) of a CiA 402 drive. Outside
// the homing mode bits 12 and 13 mean other things, so the mode of operation (0x6061) decides
// whether the bits are read at all. No Qt: the status bar, the Homing page and the command line
// share it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "res/strings.h"

namespace axtune {

enum class HomingState {
  NotCompleted,  // interrupted, or not started since the homing mode was chosen
  Running,       // homing in progress
  Found,         // the reference is found, the axis is still moving to its end position
  Finished,      // homing attained and target reached
  Failed,        // homing error (the axis moving or standing)
};

inline constexpr uint16_t kStatuswordTargetReached = 0x0400;
inline constexpr uint16_t kStatuswordHomingAttained = 0x1000;
inline constexpr uint16_t kStatuswordHomingError = 0x2000;

// True for the homing mode of operation, -7 (0x6061 delivers it zero- or sign-extended).
bool IsHomingMode(int32_t modeOfOperation);
HomingState DecodeHomingState(uint16_t statusword);
// The homing state when the drive is in the homing mode and both values were read; empty otherwise.
std::optional<HomingState> HomingStateOf(std::optional<int32_t> modeOfOperation,
                                         std::optional<uint16_t> statusword);
// "Referenzfahrt läuft" / "Homing running", and so on.
std::string HomingStateText(HomingState state, Language language);
std::string HomingStateText(HomingState state);

}  // namespace axtune
