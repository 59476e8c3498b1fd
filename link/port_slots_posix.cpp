// POSIX slots named outright: AXTUNE_COM<n> when set. The rest come from the devices discovered.
#include <cstdlib>
#include <string>
#include <vector>

#include "link/platform_serial_port.h"
#include "link/port_slots.h"

namespace axtune {

std::vector<std::string> namedPortSlotDevices() {
  std::vector<std::string> devices(kLastPortSlot);
  for (int number = kFirstPortSlot; number <= kLastPortSlot; ++number) {
    const std::string variable = "AXTUNE_COM" + std::to_string(number);
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && *value != '\0')
      devices[number - 1] = value;
  }
  return devices;
}

}  // namespace axtune
