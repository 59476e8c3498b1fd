#include "sim/boot/processor_memory.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace axtune::sim {

FlashGeometry FlashGeometry::F2808() {
  // Sector A is the highest; 16 Ki words each.
  return FlashGeometry{"F2808",
                       {{0x3F4000, 0x4000}, {0x3F0000, 0x4000}, {0x3EC000, 0x4000}, {0x3E8000, 0x4000}}};
}

FlashGeometry FlashGeometry::F28335() {
  FlashGeometry g{"F28335", {}};
  for (uint32_t i = 0; i < 8; ++i) g.sectors.push_back({0x338000 - i * 0x8000, 0x8000});
  return g;
}

ProcessorMemory::ProcessorMemory(FlashGeometry geometry)
    : geometry_(std::move(geometry)), ram_(kRamWords, 0) {
  uint32_t low = UINT32_MAX, high = 0;
  for (const FlashSector& s : geometry_.sectors) {
    low = std::min(low, s.start);
    high = std::max(high, s.start + s.words);
  }
  if (geometry_.sectors.empty()) low = high = 0;
  flashStart_ = low;
  flash_.assign(high - low, 0xFFFF);
  unverified_.assign(high - low, 0);
}

bool ProcessorMemory::isFlash(uint32_t address, uint32_t count) const {
  return address >= flashStart_ && uint64_t{address} + count <= flashEnd();
}

bool ProcessorMemory::isRam(uint32_t address, uint32_t count) const {
  return uint64_t{address} + count <= kRamWords;
}

uint16_t ProcessorMemory::flashWord(uint32_t address) const {
  return isFlash(address) ? flash_[address - flashStart_] : 0xFFFF;
}

uint16_t ProcessorMemory::ramWord(uint32_t address) const {
  return isRam(address) ? ram_[address] : 0;
}

void ProcessorMemory::setRamWord(uint32_t address, uint16_t value) {
  if (isRam(address)) ram_[address] = value;
}

ProcessorMemory::ProgramResult ProcessorMemory::program(uint32_t address, const uint16_t* words,
                                                        uint32_t count, uint32_t* failedAt) {
  if (!isFlash(address, count)) return ProgramResult::OutOfRange;
  factory_ = false;
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t& cell = flash_[address - flashStart_ + i];
    if ((words[i] & ~cell) != 0) {
      programFailed_ = true;
      if (failedAt != nullptr) *failedAt = address + i;
      return ProgramResult::BitWouldBeSet;
    }
    cell = words[i];
    uint8_t& mark = unverified_[address - flashStart_ + i];
    if (mark == 0) {
      mark = 1;
      ++unverifiedCount_;
    }
  }
  return ProgramResult::Ok;
}

bool ProcessorMemory::eraseSectors(uint32_t mask) {
  if (mask == 0 || (geometry_.sectors.size() < 32 && (mask >> geometry_.sectors.size()) != 0)) return false;
  for (size_t i = 0; i < geometry_.sectors.size(); ++i) {
    if ((mask & (1u << i)) == 0) continue;
    const FlashSector& s = geometry_.sectors[i];
    const uint32_t from = s.start - flashStart_;
    std::fill(flash_.begin() + from, flash_.begin() + from + s.words, 0xFFFF);
    for (uint32_t w = from; w < from + s.words; ++w) {
      if (unverified_[w] != 0) {
        unverified_[w] = 0;
        --unverifiedCount_;
      }
    }
  }
  factory_ = false;
  programFailed_ = false;
  return true;
}

uint16_t ProcessorMemory::flashSum(uint32_t address, uint32_t count) const {
  uint16_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) sum = static_cast<uint16_t>(sum + flashWord(address + i));
  return sum;
}

void ProcessorMemory::markVerified(uint32_t address, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (!isFlash(address + i)) continue;
    uint8_t& mark = unverified_[address + i - flashStart_];
    if (mark != 0) {
      mark = 0;
      --unverifiedCount_;
    }
  }
}

bool ProcessorMemory::firmwareValid() const {
  if (factory_) return true;
  return !flash_.empty() && flashWord(flashEntryPoint()) != 0xFFFF && !programFailed_ &&
         unverifiedCount_ == 0;
}

void ProcessorMemory::setFactoryFirmware() {
  factory_ = true;
}

bool ProcessorMemory::writeBinary(const std::string& path, std::string* error) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (uint16_t w : flash_) {
    const char bytes[2] = {static_cast<char>(w & 0xFF), static_cast<char>(w >> 8)};
    out.write(bytes, 2);
  }
  out.close();
  if (!out) {
    if (error != nullptr) *error = "cannot write the flash to " + path;
    return false;
  }
  return true;
}

// Intel hex, byte addresses (word address * 2), each word high byte first, 8 words to a record;
// records whose words are all erased are left out (a missing record reads as erased flash).
bool ProcessorMemory::writeIntelHex(const std::string& path, std::string* error) const {
  std::ofstream out(path, std::ios::trunc);
  auto record = [&out](uint8_t type, uint16_t address, const uint8_t* data, size_t n) {
    char line[64];
    uint8_t sum = static_cast<uint8_t>(n + (address >> 8) + (address & 0xFF) + type);
    int pos = std::snprintf(line, sizeof line, ":%02X%04X%02X", static_cast<unsigned>(n), address, type);
    for (size_t i = 0; i < n; ++i) {
      pos += std::snprintf(line + pos, sizeof line - static_cast<size_t>(pos), "%02X", data[i]);
      sum = static_cast<uint8_t>(sum + data[i]);
    }
    std::snprintf(line + pos, sizeof line - static_cast<size_t>(pos), "%02X\n",
                  static_cast<uint8_t>(-sum) & 0xFF);
    out << line;
  };
  uint32_t upper = UINT32_MAX;
  for (size_t i = 0; i < flash_.size(); i += 8) {
    const size_t n = std::min<size_t>(8, flash_.size() - i);
    if (std::all_of(flash_.begin() + static_cast<ptrdiff_t>(i),
                    flash_.begin() + static_cast<ptrdiff_t>(i + n), [](uint16_t w) { return w == 0xFFFF; })) {
      continue;
    }
    const uint32_t byteAddress = (flashStart_ + static_cast<uint32_t>(i)) * 2;
    if ((byteAddress >> 16) != upper) {
      upper = byteAddress >> 16;
      const uint8_t ext[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF)};
      record(0x04, 0, ext, 2);
    }
    uint8_t data[16];
    for (size_t k = 0; k < n; ++k) {
      data[2 * k] = static_cast<uint8_t>(flash_[i + k] >> 8);
      data[2 * k + 1] = static_cast<uint8_t>(flash_[i + k] & 0xFF);
    }
    record(0x00, static_cast<uint16_t>(byteAddress & 0xFFFF), data, 2 * n);
  }
  record(0x01, 0, nullptr, 0);
  out.close();
  if (!out) {
    if (error != nullptr) *error = "cannot write the flash to " + path;
    return false;
  }
  return true;
}

}  // namespace axtune::sim
