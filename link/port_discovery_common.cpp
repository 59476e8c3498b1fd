// The description of a discovered device, the same on every platform.
#include "link/port_discovery.h"

namespace axtune {

std::string SerialDeviceInfo::Description() const {
  if (!uart.empty()) return uart;
  std::string text = !product.empty() ? product : manufacturer;
  if (text.empty() && !vendorId.empty()) text = "USB " + vendorId + ":" + productId;
  if (text.empty()) return byIdName;
  if (!serial.empty()) text += " (" + serial + ")";
  return text;
}

}  // namespace axtune
