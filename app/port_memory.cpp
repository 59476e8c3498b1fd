#include "app/port_memory.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/save_target.h"
#include "link/port_slot_memory.h"
#include "link/port_slots.h"

namespace axtune {

int CarrierPort(const PortProbes& probes) {
  int carrierPort = 0;
  int lastUsable = 0;
  for (int n = 1; n <= 12; ++n) {
    if (!probes[n].usable) continue;
    lastUsable = n;
    if (probes[n].carrier) carrierPort = n;
  }
  return carrierPort != 0 ? carrierPort : lastUsable;
}

int ChoosePreferredPort(const PortProbes& probes, int rememberedPort) {
  const int carrierPort = CarrierPort(probes);
  if (carrierPort == 0) return 0;
  if (rememberedPort >= 1 && rememberedPort <= 12 && probes[rememberedPort].usable) return rememberedPort;
  return carrierPort;
}

int ReadPortMemory(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  const int c = std::fgetc(f);
  std::fclose(f);
  return (c >= '0' && c <= '9') ? c - '0' : 0;
}

namespace {

std::string ReadAll(const std::string& path) {
  std::string text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return text;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() < 65536) text.append(buffer, n);
  std::fclose(f);
  return text;
}

bool WriteAll(const std::string& path, const std::string& text) {
  return WriteBytesAtomically(path, text.data(), text.size()).ok;
}

// The lines after the port byte's line.
std::vector<std::string> SettingLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = text.find('\n');
  while (start != std::string::npos && start + 1 < text.size()) {
    const size_t end = text.find('\n', start + 1);
    std::string line = text.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end;
  }
  return lines;
}

}  // namespace

bool WritePortMemory(int port, const std::string& path) {
  const std::string digits = std::to_string(port);
  std::string text = ReadAll(path);
  const size_t lineEnd = text.find('\n');
  text = std::string(1, digits[0]) + (lineEnd == std::string::npos ? std::string() : text.substr(lineEnd));
  return WriteAll(path, text);
}

std::string ReadMemorySetting(const std::string& name, const std::string& path) {
  for (const std::string& line : SettingLines(ReadAll(path))) {
    if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 && line[name.size()] == '=')
      return line.substr(name.size() + 1);
  }
  return {};
}

bool WriteMemorySetting(const std::string& name, const std::string& value, const std::string& path) {
  const std::string text = ReadAll(path);
  // An empty file gets the "no port" byte that ReadPortMemory reads as 0.
  std::string result = text.empty() ? std::string("0") : text.substr(0, text.find('\n'));
  for (const std::string& line : SettingLines(text)) {
    if (line.compare(0, name.size() + 1, name + "=") != 0) result += "\n" + line;
  }
  if (!value.empty()) result += "\n" + name + "=" + value;
  return WriteAll(path, result + (result.find('\n') != std::string::npos ? "\n" : ""));
}

int ReadUpdateBaudMemory(int fallback, const std::string& path) {
  const std::string value = ReadMemorySetting(kFlashBaudSetting, path);
  int baud = 0;
  for (char c : value.substr(0, 7)) {
    if (c < '0' || c > '9') break;
    baud = baud * 10 + (c - '0');
  }
  for (int known : {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200}) {
    if (baud == known) return baud;
  }
  return fallback;
}

bool WriteUpdateBaudMemory(int baud, const std::string& path) {
  return WriteMemorySetting(kFlashBaudSetting, std::to_string(baud), path);
}

bool ReadUpdateReadBack(const std::string& path) {
  return ReadMemorySetting(kUpdateReadBackSetting, path) == "1";
}

bool WriteUpdateReadBack(bool on, const std::string& path) {
  return WriteMemorySetting(kUpdateReadBackSetting, on ? "1" : "", path);
}

bool WritePortSlotMemory(const std::map<int, std::string>& memory, const std::string& path) {
  const std::map<int, std::string> stored = ReadPortSlotMemoryFile(path);
  bool written = true;
  for (int slot = kFirstPortSlot; slot <= kLastPortSlot; ++slot) {
    auto now = memory.find(slot);
    auto before = stored.find(slot);
    const std::string value = now == memory.end() ? std::string() : now->second;
    if (value == (before == stored.end() ? std::string() : before->second)) continue;
    written = WriteMemorySetting(PortSlotMemoryName(slot), value, path) && written;
  }
  return written;
}

std::vector<std::string> ReadNetworkPortHistory(const std::string& path) {
  std::vector<std::string> ports;
  const std::string value = ReadMemorySetting(kNetworkPortsSetting, path);
  size_t start = 0;
  while (start < value.size() && ports.size() < kNetworkPortHistory) {
    size_t end = value.find(';', start);
    if (end == std::string::npos) end = value.size();
    if (end > start) ports.push_back(value.substr(start, end - start));
    start = end + 1;
  }
  return ports;
}

bool RememberNetworkPortUse(const std::string& hostPort, const std::string& path) {
  if (hostPort.empty() || hostPort.find(';') != std::string::npos) return false;
  std::string value = hostPort;
  size_t kept = 1;
  for (const std::string& port : ReadNetworkPortHistory(path)) {
    if (port == hostPort || kept >= kNetworkPortHistory) continue;
    value += ";" + port;
    ++kept;
  }
  return WriteMemorySetting(kNetworkPortsSetting, value, path);
}

}  // namespace axtune
