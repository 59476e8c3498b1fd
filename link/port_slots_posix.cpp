// POSIX slots: AXTUNE_COM<n> when set, else the n-th real serial device of the machine.
#include <fcntl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/platform_serial_port.h"
#include "link/port_slots.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;

// Device names with the given prefix ("ttyUSB"), ordered by their number (ttyUSB2 before ttyUSB10).
std::vector<std::string> devicesWithPrefix(const std::string& prefix) {
  std::vector<std::pair<long, std::string>> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    if (digits.size() > 6) continue;
    found.emplace_back(std::stol(digits), name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (auto& [number, name] : found) names.push_back(std::move(name));
  return names;
}

// An on-board ttyS node exists for every possible UART; only those with a chip behind them count.
// The serial core publishes the UART type in sysfs (0 = PORT_UNKNOWN), which needs no open and so
// leaves DTR alone; without that attribute the port is asked directly.
bool hasRealUart(const std::string& name) {
  const fs::path sys = fs::path("/sys/class/tty") / name;
  std::error_code error;
  if (!fs::exists(sys / "device" / "driver", error)) return false;
#ifdef __linux__
  std::ifstream typeFile(sys / "type");
  int type = 0;
  if (typeFile >> type) return type != PORT_UNKNOWN;
  const int fd = ::open(("/dev/" + name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;  // the driver is bound; let the open report why it cannot be used
  serial_struct info{};
  const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return real;
#else
  return true;
#endif
}

std::vector<std::string> discoverSerialDevices() {
  std::vector<std::string> devices;
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    for (const std::string& name : devicesWithPrefix(prefix)) devices.push_back("/dev/" + name);
  }
  for (const std::string& name : devicesWithPrefix("ttyS")) {
    if (hasRealUart(name)) devices.push_back("/dev/" + name);
  }
  return devices;
}

}  // namespace

std::vector<std::string> defaultPortSlotDevices() {
  std::vector<std::string> devices(kLastPortSlot);
  std::vector<std::string> discovered;
  bool scanned = false;
  for (int number = kFirstPortSlot; number <= kLastPortSlot; ++number) {
    const std::string variable = "AXTUNE_COM" + std::to_string(number);
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && *value != '\0') {
      devices[number - 1] = value;
      continue;
    }
    if (!scanned) {
      discovered = discoverSerialDevices();
      scanned = true;
    }
    if (static_cast<size_t>(number - 1) < discovered.size()) devices[number - 1] = discovered[number - 1];
  }
  return devices;
}

}  // namespace axtune
