// The operating system's serial port backend (termios on POSIX, the communications API on Windows).
// Internal to the link library; everybody else goes through createSerialPort().
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace axtune {

std::unique_ptr<SerialPort> createPlatformSerialPort(const std::string& device);

// The device the platform names each of the slots 1..12 with (element 0 is slot 1): Windows every
// slot's COM port, POSIX those set in AXTUNE_COM<n>; an empty string leaves the slot to the devices
// discovered. Overrides set by the program are applied on top.
std::vector<std::string> namedPortSlotDevices();

}  // namespace axtune
