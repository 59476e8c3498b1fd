// On Windows every slot is the COM device of the same number.
#include "link/platform_serial_port.h"
#include "link/port_slots.h"

namespace axtune {

std::vector<std::string> namedPortSlotDevices() {
  std::vector<std::string> devices;
  for (int number = kFirstPortSlot; number <= kLastPortSlot; ++number)
    devices.push_back(PortSlotName(number));
  return devices;
}

}  // namespace axtune
