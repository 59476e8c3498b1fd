// Arbitrary bytes as "Axtune.ini". The file is written to a private temporary file and read back
// with the GUI's own reader: the remembered port is 0..9, a digit first gives that digit and
// anything else 0, and the port chosen from it is always a usable one (or 0 without any).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/port_memory.h"
#include "link/port_slot_memory.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

const std::string& memoryPath() {
  static const std::string path = [] {
    char name[] = "/tmp/port_memory_fuzz.XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    std::atexit([] { std::remove(memoryPath().c_str()); });
    return std::string(name);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = memoryPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  const int remembered = axtune::ReadPortMemory(path);
  const int expected = (size > 0 && data[0] >= '0' && data[0] <= '9') ? data[0] - '0' : 0;
  check(remembered == expected);

  // The rest of the input says which of the twelve ports are usable and which show carrier.
  axtune::PortProbes probes{};
  for (int n = 1; n <= 12; ++n) {
    const size_t at = 1 + static_cast<size_t>(n - 1) / 4;
    const uint8_t bits = at < size ? data[at] : 0;
    probes[n].usable = (bits >> (2 * ((n - 1) % 4))) & 1;
    probes[n].carrier = (bits >> (2 * ((n - 1) % 4) + 1)) & 1;
  }
  const int chosen = axtune::ChoosePreferredPort(probes, remembered);
  bool anyUsable = false;
  for (int n = 1; n <= 12; ++n) anyUsable = anyUsable || probes[n].usable;
  check(anyUsable ? (chosen >= 1 && chosen <= 12 && probes[chosen].usable) : chosen == 0);

  // The slots' lines: only slots 1..12, each with something remembered; the network history stays
  // within its length and holds no empty names.
  for (const auto& [slot, key] : axtune::ReadPortSlotMemoryFile(path))
    check(slot >= 1 && slot <= 12 && !key.empty());
  const std::vector<std::string> history = axtune::ReadNetworkPortHistory(path);
  check(history.size() <= axtune::kNetworkPortHistory);
  for (const std::string& port : history) check(!port.empty());
  return 0;
}
