// Port slot names and the per-process overrides; the default devices come from the platform.
#include "link/port_slots.h"

#include <cctype>
#include <map>
#include <mutex>

#include "link/platform_serial_port.h"

namespace axtune {
namespace {

struct Overrides {
  std::mutex mutex;
  std::map<int, std::string> devices;
};

Overrides& overrides() {
  static Overrides instance;
  return instance;
}

bool overrideFor(int number, std::string& device) {
  Overrides& o = overrides();
  std::lock_guard<std::mutex> lock(o.mutex);
  auto it = o.devices.find(number);
  if (it == o.devices.end()) return false;
  device = it->second;
  return true;
}

bool isValidSlot(int number) {
  return number >= kFirstPortSlot && number <= kLastPortSlot;
}

}  // namespace

std::string PortSlotName(int number) {
  return "\\\\.\\COM" + std::to_string(number);
}

int PortSlotNumber(const std::string& name) {
  std::string rest = name;
  if (rest.rfind("\\\\.\\", 0) == 0) rest = rest.substr(4);
  if (rest.size() < 4 || rest.size() > 5) return 0;
  for (int i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(rest[i])) != "COM"[i]) return 0;
  }
  int number = 0;
  for (size_t i = 3; i < rest.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(rest[i]))) return 0;
    number = number * 10 + (rest[i] - '0');
  }
  // "COM01" is not a slot name; Windows would not know it either.
  if (rest[3] == '0') return 0;
  return isValidSlot(number) ? number : 0;
}

std::string ResolvePortDevice(const std::string& name) {
  const int number = PortSlotNumber(name);
  if (number == 0) return name;
  std::string device;
  if (overrideFor(number, device)) return device;
  const std::vector<std::string> defaults = defaultPortSlotDevices();
  return static_cast<size_t>(number - 1) < defaults.size() ? defaults[number - 1] : std::string();
}

std::vector<PortSlot> ListPortSlots() {
  const std::vector<std::string> defaults = defaultPortSlotDevices();
  std::vector<PortSlot> slots;
  for (int number = kFirstPortSlot; number <= kLastPortSlot; ++number) {
    PortSlot slot;
    slot.number = number;
    slot.label = "COM" + std::to_string(number);
    if (!overrideFor(number, slot.device) && static_cast<size_t>(number - 1) < defaults.size()) {
      slot.device = defaults[number - 1];
    }
    slots.push_back(std::move(slot));
  }
  return slots;
}

void SetPortSlotOverride(int number, const std::string& device) {
  if (!isValidSlot(number)) return;
  Overrides& o = overrides();
  std::lock_guard<std::mutex> lock(o.mutex);
  if (device.empty()) {
    o.devices.erase(number);
  } else {
    o.devices[number] = device;
  }
}

}  // namespace axtune
