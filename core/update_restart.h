// After an update that stopped before the erase, the drive's flash still holds its firmware, but
// the processor may wait in its boot loader (the enter-boot-loader request went out). A reset
// through DTR starts the firmware again; this does it on the drive link's port and says whether
// the drive answers afterwards.
#pragma once

#include <string>

namespace axtune {

// After a reset through DTR the drive's firmware needs its start-up before it takes a request: as
// long as after its carrier came on.
inline constexpr int kFirmwareStartMs = 3000;

struct FirmwareRestart {
  bool resetSent = false;   // the port took both DTR changes
  bool identified = false;  // record 128 came back after the start-up
};

// Opens `device` as the drive link, raises DTR, lowers it (the falling edge resets the processor),
// waits kFirmwareStartMs and reads the identification record. The link is closed again either way;
// the caller opens it for its own work.
FirmwareRestart RestartDriveFirmware(const std::string& device);

// The sentence for the user: nothing was erased, and whether the drive runs its firmware again or
// waits in its boot loader until it is switched off and on.
std::string RestartText(const FirmwareRestart& restart);

}  // namespace axtune
