// Windows: the slots are the COM ports of their number; there is nothing to discover here.
#include "link/port_discovery.h"

namespace axtune {

PortDiscoveryRoots CurrentPortDiscoveryRoots() {
  return {};
}

void SetPortDiscoveryRoots(const PortDiscoveryRoots*) {}

std::string SerialDeviceInfo::ByIdPath() const {
  return {};
}

std::vector<SerialDeviceInfo> DiscoverSerialDevices() {
  return {};
}

std::string DeviceForByIdName(const std::string&) {
  return {};
}

}  // namespace axtune
