#include "app/port_memory.h"

#include <cstdio>
#include <cstring>
#include <string>

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

constexpr const char* kBaudKey = "FlashBaud=";
constexpr long kMaxMemoryBytes = 4096;  // anything longer is not ours: only its first byte counts

std::string ReadWhole(const std::string& path) {
  std::string text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return text;
  char buffer[512];
  size_t n = 0;
  while (text.size() < kMaxMemoryBytes && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    text.append(buffer, n);
  std::fclose(f);
  return text.substr(0, kMaxMemoryBytes);
}

bool WriteWhole(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && written;
}

// The lines after the port byte that are the rate's, found at the start of a line.
size_t BaudLine(const std::string& text) {
  for (size_t at = text.find(kBaudKey); at != std::string::npos; at = text.find(kBaudKey, at + 1)) {
    if (at > 0 && text[at - 1] == '\n') return at;
  }
  return std::string::npos;
}

}  // namespace

bool WritePortMemory(int port, const std::string& path) {
  const std::string digits = std::to_string(port);
  std::string text = ReadWhole(path);
  // Only the rate's line is kept: the port byte was the whole file before it.
  const size_t baud = BaudLine(text);
  text = std::string(1, digits[0]) + (baud == std::string::npos ? std::string() : "\n" + text.substr(baud));
  return WriteWhole(path, text);
}

int ReadUpdateBaudMemory(int fallback, const std::string& path) {
  const std::string text = ReadWhole(path);
  const size_t at = BaudLine(text);
  if (at == std::string::npos) return fallback;
  const std::string value = text.substr(at + std::strlen(kBaudKey), 7);
  int baud = 0;
  for (char c : value) {
    if (c < '0' || c > '9') break;
    baud = baud * 10 + (c - '0');
  }
  for (int known : {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200}) {
    if (baud == known) return baud;
  }
  return fallback;
}

bool WriteUpdateBaudMemory(int baud, const std::string& path) {
  const std::string text = ReadWhole(path);
  const char port = !text.empty() && text[0] >= '0' && text[0] <= '9' ? text[0] : '0';
  return WriteWhole(path, std::string(1, port) + "\n" + kBaudKey + std::to_string(baud) + "\n");
}

}  // namespace axtune
