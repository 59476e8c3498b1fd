// The operating system's serial port backend (termios on POSIX, the communications API on Windows).
// Internal to the link library; everybody else goes through createSerialPort().
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace axtune {

std::unique_ptr<SerialPort> createPlatformSerialPort(const std::string& device);

// The device behind each of the slots 1..12 by the platform's default rule (element 0 is slot 1);
// an empty string for a slot without a device. Overrides set by the program are applied on top.
std::vector<std::string> defaultPortSlotDevices();

}  // namespace axtune
