#include "core/port_open_reason.h"

#include <cstdio>

#include "link/rfc2217_serial_port.h"
#include "res/strings.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#endif

namespace axtune {
namespace {
constexpr int kTextPermissionGroup = 40011;
constexpr int kTextBusy = 40012;
constexpr int kTextNotFound = 40013;
constexpr int kTextBadSettings = 40015;
constexpr int kTextPermissionNoGroup = 40610;

std::string Format(int id, const std::string& a, const std::string& b = {}) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, Text(id), a.c_str(), b.c_str());
  return buffer;
}
}  // namespace

std::string DeviceAccessGroup(const std::string& device) {
#ifdef _WIN32
  (void)device;
  return {};
#else
  struct stat info {};
  if (device.empty() || ::stat(device.c_str(), &info) != 0) return "dialout";
  // A group that may only write (a terminal's "tty" group) would not help the user.
  if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  const struct group* owner = ::getgrgid(info.st_gid);
  if (owner == nullptr || owner->gr_name == nullptr) return {};
  return owner->gr_name;
#endif
}

std::string PortOpenReason(PortOpenError error, const std::string& device) {
  // A network port's own text names the cause and the remedy (host, refusal, protocol); the
  // sentences below speak of local devices and cables.
  if (IsRfc2217Name(device)) return {};
  switch (error) {
    case PortOpenError::PermissionDenied: {
      const std::string group = DeviceAccessGroup(device);
      if (group.empty()) return Format(kTextPermissionNoGroup, device.empty() ? "?" : device);
      return Format(kTextPermissionGroup, group, group);
    }
    case PortOpenError::Busy:
      return Text(kTextBusy);
    case PortOpenError::NotFound:
      return Text(kTextNotFound);
    case PortOpenError::BadSettings:
      return Text(kTextBadSettings);
    case PortOpenError::Other:
    case PortOpenError::None:
      break;
  }
  return {};
}

}  // namespace axtune
