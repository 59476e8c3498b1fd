// Why a serial port did not open, in one sentence for the user, shared by the window and
// axtune-cli so that both name the same cause and the same remedy. The permission advice names the
// group that may use the device (the group that owns it), not a fixed one.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace axtune {

// The sentence for a failed open of `device` (in the current language); empty for PortOpenError::Other
// and None, where only the operating system's own text can say more, and for network ports
// (rfc2217://), whose own text says it.
std::string PortOpenReason(PortOpenError error, const std::string& device);

// The group whose members may read and write `device` (its owning group, when that group has read
// and write access); "dialout" when the device cannot be looked at; empty when no group helps (the
// group lacks access, or the platform has no groups).
std::string DeviceAccessGroup(const std::string& device);

}  // namespace axtune
