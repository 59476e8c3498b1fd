// Whether a device name is one of this program's in-process devices (a simulated drive registered
// with registerInProcessPort), for callers that treat the built-in simulated drive differently.
#pragma once

#include <string>

namespace axtune {

bool isInProcessPort(const std::string& device);

}  // namespace axtune
