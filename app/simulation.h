// axtune --simulate: a simulated QMX10 drive in this process, put on port slot COM1 with its carrier
// on, so every window works without hardware.
#pragma once

#include <string>

namespace axtune {

inline constexpr const char* kSimulatedDeviceName = "sim:qmx";
inline constexpr int kSimulatedPortSlot = 1;

// False (with the reason) when this build carries no simulated drive. `processor` picks the
// simulated drive's processor ("F2808" or "F28335"); its type follows it, as a real drive's does.
bool StartSimulation(std::string* error, const std::string& processor = "F2808");

// Pulls the simulated drive's cable (carrier off, nothing passes) or plugs it back in, as a
// technician would to see what the program makes of a lost drive. False without a simulation.
bool SetSimulatedCablePulled(bool pulled);

}  // namespace axtune
