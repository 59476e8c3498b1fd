// The drive commands of the Profiles and Homing pages: fixed sequences of single object writes,
// sent back to back without waiting on the drive between them.
//
//   start: modes of operation (0x6060), then controlword (0x6040) 0x000D, 0x000D, 0x001D; the
//          rising bit 4 starts the selected profile (mode -1) or homing (mode -7)
//   stop:  controlword 0x010D (bit 8, halt)
#pragma once

#include <cstdint>

namespace axtune {

inline constexpr int8_t kModeProfilePosition = -1;  // the status panel's "Lage"
inline constexpr int8_t kModeHoming = -7;           // the status panel's "Referenzfahrt"

inline constexpr uint16_t kObjectModesOfOperation = 0x6060;
inline constexpr uint16_t kObjectControlword = 0x6040;
inline constexpr uint16_t kControlwordEnable = 0x000D;
inline constexpr uint16_t kControlwordNewSetPoint = 0x001D;
inline constexpr uint16_t kControlwordHalt = 0x010D;

// Each sends every write of its sequence whatever the earlier ones gave, and returns whether the
// drive answered all of them (false: the link's error code tells why).
bool SendStartSequence(int8_t mode);
bool SendStopSequence();

// Messages for a start or stop the drive did not answer.
inline constexpr int kTextStartNotReceived = 47500;
inline constexpr int kTextStopNotReceived = 47501;

}  // namespace axtune
