// Port slot names, the per-process overrides and the slot memory; the platform names slots outright
// (Windows, AXTUNE_COM<n>) and discovers the devices that fill the rest.
#include "link/port_slots.h"

#include <cctype>
#include <map>
#include <mutex>

#include "link/platform_serial_port.h"
#include "link/port_discovery.h"

namespace axtune {
namespace {

struct SlotState {
  std::mutex mutex;
  std::map<int, std::string> overrides;
  std::map<int, std::string> memory;
};

SlotState& state() {
  static SlotState instance;
  return instance;
}

bool isValidSlot(int number) {
  return number >= kFirstPortSlot && number <= kLastPortSlot;
}

// Fills the slots: named ones first, then remembered ones, then new devices on free slots (which the
// memory then keeps). Runs under the state's lock.
std::vector<PortSlot> assignSlots(SlotState& s) {
  const std::vector<std::string> named = namedPortSlotDevices();
  const std::vector<SerialDeviceInfo> found = DiscoverSerialDevices();
  std::vector<PortSlot> slots(kLastPortSlot);
  std::vector<bool> placed(found.size(), false);
  auto fill = [&](PortSlot& slot, size_t index) {
    slot.device = found[index].device;
    slot.description = found[index].Description();
    slot.key = found[index].Key();
    slot.byIdPath = found[index].ByIdPath();
    placed[index] = true;
  };
  auto indexOf = [&](const std::string& key) -> int {
    for (size_t i = 0; i < found.size(); ++i) {
      if (found[i].Key() == key || found[i].device == key) return static_cast<int>(i);
    }
    return -1;
  };
  std::vector<bool> taken(kLastPortSlot + 1, false);
  for (int n = kFirstPortSlot; n <= kLastPortSlot; ++n) {
    PortSlot& slot = slots[n - 1];
    slot.number = n;
    slot.label = "COM" + std::to_string(n);
    std::string device;
    if (auto it = s.overrides.find(n); it != s.overrides.end()) {
      device = it->second;
    } else if (static_cast<size_t>(n - 1) < named.size()) {
      device = named[n - 1];
    }
    auto remembered = s.memory.find(n);
    // A network port the user put on a slot stands before the platform's name for it (Windows
    // names every slot), not before the program's own override.
    if (remembered != s.memory.end() && IsNetworkPortName(remembered->second) && s.overrides.count(n) == 0) {
      slot.device = slot.key = remembered->second;
      taken[n] = true;
      continue;
    }
    if (!device.empty()) {
      slot.device = device;
      taken[n] = true;
      // The device a slot is named with may be one discovery knows: describe it the same way.
      if (const int i = indexOf(device); i >= 0 && !placed[i]) {
        fill(slot, static_cast<size_t>(i));
        slot.device = device;
      }
      continue;
    }
    if (remembered == s.memory.end()) continue;
    taken[n] = true;
    slot.key = remembered->second;
    if (const int i = indexOf(remembered->second); i >= 0 && !placed[i]) {
      fill(slot, static_cast<size_t>(i));
    }
  }
  for (size_t i = 0; i < found.size(); ++i) {
    if (placed[i]) continue;
    int free = 0;
    for (int n = kFirstPortSlot; n <= kLastPortSlot && free == 0; ++n) {
      if (!taken[n]) free = n;
    }
    // Every slot taken: the first one whose adapter is away gives its place up.
    for (int n = kFirstPortSlot; n <= kLastPortSlot && free == 0; ++n) {
      if (slots[n - 1].device.empty() && s.memory.count(n) != 0) free = n;
    }
    if (free == 0) break;
    taken[free] = true;
    fill(slots[free - 1], i);
    s.memory[free] = slots[free - 1].key;
  }
  return slots;
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

bool IsNetworkPortName(const std::string& name) {
  return name.rfind("rfc2217://", 0) == 0;
}

std::string ResolvePortDevice(const std::string& name) {
  const int number = PortSlotNumber(name);
  if (number == 0) {
    const std::string device = DeviceForByIdName(name);
    return device.empty() ? name : device;
  }
  return PortSlotInfo(number).device;
}

std::vector<PortSlot> ListPortSlots() {
  SlotState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return assignSlots(s);
}

PortSlot PortSlotInfo(int number) {
  if (!isValidSlot(number)) return PortSlot{};
  return ListPortSlots()[number - 1];
}

void SetPortSlotOverride(int number, const std::string& device) {
  if (!isValidSlot(number)) return;
  SlotState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (device.empty()) {
    s.overrides.erase(number);
  } else {
    s.overrides[number] = device;
  }
}

void SetPortSlotMemory(const std::map<int, std::string>& memory) {
  SlotState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.memory.clear();
  for (const auto& [number, key] : memory) {
    if (isValidSlot(number) && !key.empty()) s.memory[number] = key;
  }
}

std::map<int, std::string> PortSlotMemory() {
  SlotState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.memory;
}

int RememberNetworkPort(const std::string& url) {
  SlotState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (const auto& [number, key] : s.memory) {
    if (key == url) return number;
  }
  const std::vector<PortSlot> slots = assignSlots(s);
  int chosen = 0;
  for (const PortSlot& slot : slots) {
    if (chosen == 0 && slot.device.empty() && slot.key.empty()) chosen = slot.number;
  }
  for (const PortSlot& slot : slots) {
    if (chosen == 0 && slot.device.empty() && !IsNetworkPortName(slot.key) &&
        s.overrides.count(slot.number) == 0)
      chosen = slot.number;
  }
  // Windows names every slot: the last one not remembered for anything else.
  for (auto it = slots.rbegin(); it != slots.rend(); ++it) {
    if (chosen == 0 && it->key.empty() && s.overrides.count(it->number) == 0) chosen = it->number;
  }
  if (chosen != 0) s.memory[chosen] = url;
  return chosen;
}

}  // namespace axtune
