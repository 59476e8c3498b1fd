// Serial devices from sysfs and /dev/serial/by-id (POSIX).
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
#include <map>
#include <mutex>
#include <optional>

#include "link/port_discovery.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;

struct RootSetting {
  std::mutex mutex;
  std::optional<PortDiscoveryRoots> roots;
};

RootSetting& rootSetting() {
  static RootSetting instance;
  return instance;
}

// The first line of a small sysfs attribute, without its line end; empty when it cannot be read.
std::string attribute(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  // A device that reports nonsense does not get to fill a menu with it.
  if (line.size() > 128) line.resize(128);
  return line;
}

fs::path canonicalOrSelf(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(path, error);
  return error ? path.lexically_normal() : resolved;
}

// Names in the tty class folder (or /dev when there is no sysfs) with the prefix and digits after
// it, ordered by their number (ttyUSB2 before ttyUSB10).
std::vector<std::string> namesWithPrefix(const fs::path& folder, const std::string& prefix) {
  std::vector<std::pair<long, std::string>> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    found.emplace_back(std::stol(digits), name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (auto& [number, name] : found) names.push_back(std::move(name));
  return names;
}

const char* uartName(int type) {
  switch (type) {
    case 1:
      return "8250";
    case 2:
      return "16450";
    case 3:
      return "16550";
    case 4:
      return "16550A";
    case 6:
      return "16650";
    case 7:
      return "16650V2";
    case 8:
      return "16750";
    case 10:
      return "16C950";
    case 11:
      return "16654";
    case 12:
      return "16850";
    case 14:
      return "NS16550A";
    default:
      return "UART";
  }
}

// An on-board ttyS node exists for every possible UART; only those with a chip behind them count.
// The serial core publishes the UART type in sysfs (0 = unknown), which needs no open and so leaves
// DTR alone; without that attribute the port is asked directly. Gives the chip's name, or nothing.
std::optional<std::string> realUart(const fs::path& sys, const std::string& device) {
  std::error_code error;
  if (!fs::exists(sys / "device" / "driver", error)) return std::nullopt;
  const std::string typeText = attribute(sys / "type");
  if (!typeText.empty()) {
    const int type = std::atoi(typeText.c_str());
    if (type == 0) return std::nullopt;
    return std::string(uartName(type));
  }
#ifdef __linux__
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string("UART");  // the driver is bound; let the open report why it fails
  serial_struct info{};
  const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != 0;
  ::close(fd);
  if (!real) return std::nullopt;
  return std::string(uartName(info.type));
#else
  return std::string("UART");
#endif
}

// Maker, product and serial number from the USB device above the tty: the interface of an ACM
// port, the port of a USB-serial converter two levels below the device.
void readUsbIdentity(const fs::path& sys, SerialDeviceInfo& info) {
  std::error_code error;
  fs::path at = canonicalOrSelf(sys / "device");
  info.driver = canonicalOrSelf(sys / "device" / "driver").filename().string();
  if (!fs::exists(sys / "device" / "driver", error)) info.driver.clear();
  for (int up = 0; up < 4 && !at.empty() && at != at.root_path(); ++up, at = at.parent_path()) {
    if (!fs::exists(at / "idVendor", error)) continue;
    info.manufacturer = attribute(at / "manufacturer");
    info.product = attribute(at / "product");
    info.serial = attribute(at / "serial");
    info.vendorId = attribute(at / "idVendor");
    info.productId = attribute(at / "idProduct");
    return;
  }
}

// by-id name for each device it points at (the device's resolved path as the key).
std::map<std::string, std::string> byIdNames(const PortDiscoveryRoots& roots) {
  std::map<std::string, std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(roots.serialById, error)) {
    std::error_code linkError;
    if (!entry.is_symlink(linkError)) continue;
    const fs::path target = fs::read_symlink(entry.path(), linkError);
    if (linkError) continue;
    const fs::path device =
        canonicalOrSelf(target.is_absolute() ? target : entry.path().parent_path() / target);
    const std::string name = entry.path().filename().string();
    // Two names for one device (a link made twice): the first by name wins, so the choice is stable.
    auto it = names.find(device.string());
    if (it == names.end() || name < it->second) names[device.string()] = name;
  }
  return names;
}

}  // namespace

PortDiscoveryRoots CurrentPortDiscoveryRoots() {
  {
    RootSetting& setting = rootSetting();
    std::lock_guard<std::mutex> lock(setting.mutex);
    if (setting.roots) return *setting.roots;
  }
  PortDiscoveryRoots roots;
  if (const char* root = std::getenv("AXTUNE_PORT_ROOT"); root != nullptr && *root != '\0') {
    const std::string base = root;
    roots.sysClassTty = base + "/sys/class/tty";
    roots.serialById = base + "/dev/serial/by-id";
    roots.dev = base + "/dev";
  }
  return roots;
}

void SetPortDiscoveryRoots(const PortDiscoveryRoots* roots) {
  RootSetting& setting = rootSetting();
  std::lock_guard<std::mutex> lock(setting.mutex);
  if (roots != nullptr) {
    setting.roots = *roots;
  } else {
    setting.roots.reset();
  }
}

std::string SerialDeviceInfo::ByIdPath() const {
  return byIdName.empty() ? std::string() : CurrentPortDiscoveryRoots().serialById + "/" + byIdName;
}

std::vector<SerialDeviceInfo> DiscoverSerialDevices() {
  const PortDiscoveryRoots roots = CurrentPortDiscoveryRoots();
  std::error_code error;
  // Without sysfs (a container, another system) the nodes in /dev are all there is to go by.
  const bool haveSysfs = fs::is_directory(roots.sysClassTty, error);
  const fs::path names = haveSysfs ? fs::path(roots.sysClassTty) : fs::path(roots.dev);
  std::map<std::string, std::string> byId = byIdNames(roots);
  std::vector<SerialDeviceInfo> usb, builtIn, linkedOnly;

  auto take = [&](SerialDeviceInfo& info) {
    auto it = byId.find(canonicalOrSelf(info.device).string());
    if (it != byId.end()) {
      info.byIdName = it->second;
      byId.erase(it);
    }
  };
  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    for (const std::string& name : namesWithPrefix(names, prefix)) {
      SerialDeviceInfo info;
      info.device = roots.dev + "/" + name;
      if (haveSysfs) readUsbIdentity(fs::path(roots.sysClassTty) / name, info);
      take(info);
      usb.push_back(std::move(info));
    }
  }
  for (const std::string& name : namesWithPrefix(names, "ttyS")) {
    SerialDeviceInfo info;
    info.device = roots.dev + "/" + name;
    const std::optional<std::string> uart = realUart(fs::path(roots.sysClassTty) / name, info.device);
    if (!uart) continue;
    info.uart = *uart;
    info.driver =
        canonicalOrSelf(fs::path(roots.sysClassTty) / name / "device" / "driver").filename().string();
    take(info);
    builtIn.push_back(std::move(info));
  }
  // Links to devices of no class above (a simulator's terminal, a converter of another kind). A link
  // whose device is gone is left out: an adapter being unplugged can leave it for a moment.
  std::vector<std::pair<std::string, std::string>> rest;
  for (const auto& [device, name] : byId) {
    if (fs::exists(device, error)) rest.emplace_back(name, device);
  }
  std::sort(rest.begin(), rest.end());
  for (const auto& [name, device] : rest) {
    SerialDeviceInfo info;
    info.device = device;
    info.byIdName = name;
    linkedOnly.push_back(std::move(info));
  }
  std::vector<SerialDeviceInfo> all = std::move(usb);
  for (auto& info : linkedOnly) all.push_back(std::move(info));
  for (auto& info : builtIn) all.push_back(std::move(info));
  return all;
}

std::string DeviceForByIdName(const std::string& name) {
  const PortDiscoveryRoots roots = CurrentPortDiscoveryRoots();
  std::string bare = name;
  const std::string folder = roots.serialById + "/";
  if (bare.compare(0, folder.size(), folder) == 0) {
    bare = bare.substr(folder.size());
  } else if (bare.compare(0, 18, "/dev/serial/by-id/") == 0) {
    bare = bare.substr(18);
  } else if (bare.find('/') != std::string::npos || bare.empty()) {
    return {};
  }
  if (bare.find('/') != std::string::npos || bare == "." || bare == "..") return {};
  std::error_code error;
  const fs::path link = fs::path(roots.serialById) / bare;
  if (!fs::is_symlink(link, error)) return {};
  const fs::path device = canonicalOrSelf(link);
  return fs::exists(device, error) ? device.string() : std::string();
}

}  // namespace axtune
