// The message shown when a port cannot be opened: the fixed first line "Open com port failed",
// then which port and device, and why, when the operating system said why.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace axtune {

std::string OpenPortFailureText(int port, const std::string& device, PortOpenError error,
                                const std::string& osText);

}  // namespace axtune
