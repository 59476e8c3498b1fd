#include "app/port_memory.h"

#include <cstdio>
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

bool WritePortMemory(int port, const std::string& path) {
  const std::string digits = std::to_string(port);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fputc(digits[0], f) != EOF;
  return std::fclose(f) == 0 && written;
}

}  // namespace axtune
