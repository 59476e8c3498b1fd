#include "app/network_port_check.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "core/drive_identity.h"
#include "core/port_open_reason.h"
#include "link/drive_link.h"
#include "link/serial_port.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextAnswered = 55017;
constexpr int kTextNoDriveBehind = 55018;
constexpr int kTextCannotConnect = 55019;
constexpr int kTextEnterHostPort = 55020;
constexpr int kTextDrive = 55022;
constexpr int kTextOtherDevice = 55023;
constexpr const char* kScheme = "rfc2217://";

std::string Format(int id, const std::string& a, const std::string& b = {}) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, Text(id), a.c_str(), b.c_str());
  return buffer;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// One read of record 128 as the drive link frames it: request 0x0F, record; the answer is the
// header, fifteen little-endian words and their checksum. Empty on anything else.
bool ReadIdentification(SerialPort& port, std::array<int16_t, 15>& words) {
  SerialTimeouts timeouts;
  port.setTimeouts(timeouts);
  const uint8_t request[2] = {0x0F, static_cast<uint8_t>(kIdentificationRecord)};
  if (port.write(request, sizeof request) != sizeof request) return false;
  uint8_t frame[34] = {};
  if (port.read(frame, sizeof frame) != sizeof frame) return false;
  if (frame[0] != 0x0F || frame[1] != kIdentificationRecord) return false;
  const uint16_t sum = static_cast<uint16_t>(frame[32] | (frame[33] << 8));
  if (FrameChecksum(frame, 32) != sum) return false;
  for (size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<int16_t>(frame[2 + 2 * i] | (frame[3 + 2 * i] << 8));
  return true;
}
}  // namespace

std::string NetworkPortUrl(const std::string& hostPort) {
  std::string text = Trimmed(hostPort);
  if (text.rfind(kScheme, 0) == 0) text = text.substr(std::string(kScheme).size());
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size() || colon + 6 < text.size())
    return {};
  const std::string host = text.substr(0, colon);
  // An IPv6 address goes in brackets; a bare one has more colons than the port's.
  if (host.find(':') != std::string::npos && (host.front() != '[' || host.back() != ']')) return {};
  if (host.find_first_of(" /\\@;") != std::string::npos) return {};
  long port = 0;
  for (size_t i = colon + 1; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return {};
    port = port * 10 + (text[i] - '0');
  }
  if (port < 1 || port > 65535) return {};
  return kScheme + host + ":" + std::to_string(port);
}

std::string NetworkPortHostPort(const std::string& url) {
  return url.rfind(kScheme, 0) == 0 ? url.substr(std::string(kScheme).size()) : url;
}

NetworkPortCheck CheckNetworkPort(const std::string& hostPort) {
  NetworkPortCheck check;
  check.url = NetworkPortUrl(hostPort);
  if (check.url.empty()) {
    check.message = Text(kTextEnterHostPort);
    return check;
  }
  const std::string shown = NetworkPortHostPort(check.url);
  std::unique_ptr<SerialPort> port = createSerialPort(check.url);
  if (!port || !port->open(SerialSettings{})) {
    // A network port's own text names the host and what went wrong; the shared sentence says what to do
    // where it has one.
    std::string reason = port ? PortOpenReason(port->lastOpenError(), check.url) : std::string();
    if (reason.empty()) reason = port ? port->lastErrorText() : std::string("no port layer");
    check.message = Format(kTextCannotConnect, shown, reason);
    return check;
  }
  check.opened = true;
  std::array<int16_t, 15> words{};
  // A drive just reached may miss the first request, as at identification; the second read decides.
  bool answered = ReadIdentification(*port, words);
  if (!answered) {
    port->purge();
    answered = ReadIdentification(*port, words);
  }
  port->close();
  if (!answered) {
    check.message = Format(kTextNoDriveBehind, shown);
    return check;
  }
  check.driveAnswered = true;
  const DriveIdentity identity = DecodeIdentification(words);
  std::string what;
  if (IsSupportedDriveType(static_cast<uint16_t>(words[0]))) {
    std::string version = identity.versionText;
    while (!version.empty() && version.back() == ' ') version.pop_back();
    what = Format(kTextDrive, identity.typeText, version);
  } else {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, Text(kTextOtherDevice),
                  static_cast<int>(static_cast<uint16_t>(words[0])));
    what = buffer;
  }
  check.message = Format(kTextAnswered, shown, what);
  return check;
}

}  // namespace axtune
