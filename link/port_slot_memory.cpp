#include "link/port_slot_memory.h"

#include <fstream>
#include <iterator>

#include "link/port_slots.h"

namespace axtune {

std::string PortSlotMemoryName(int slot) {
  return "COM" + std::to_string(slot);
}

std::map<int, std::string> ParsePortSlotMemory(const std::string& text) {
  std::map<int, std::string> memory;
  // The first line is the port byte's, whatever it holds.
  size_t start = text.find('\n');
  while (start != std::string::npos && start + 1 < text.size()) {
    const size_t end = text.find('\n', start + 1);
    std::string line = text.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    start = end;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals + 1 >= line.size()) continue;
    const int slot = PortSlotNumber(line.substr(0, equals));
    if (slot == 0 || line.compare(0, 3, "COM") != 0) continue;
    memory[slot] = line.substr(equals + 1);
  }
  return memory;
}

std::map<int, std::string> ReadPortSlotMemoryFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text(65536, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  return ParsePortSlotMemory(text);
}

}  // namespace axtune
