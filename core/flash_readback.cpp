#include "core/flash_readback.h"

#include <algorithm>
#include <cstdio>

namespace axtune {
namespace {

// Words per read: a few kernel packets each (the programmer splits them into 113-word chunks), so
// progress and a cancel are seen often and a failed read names a nearby address.
constexpr uint32_t kPieceWords = 113 * 8;

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

}  // namespace

ReadBackResult CompareFlashWithFile(FirmwareFile& file, const std::vector<FirmwareSectionInfo>& sections,
                                    FlashProgrammer& programmer,
                                    const std::function<void(uint64_t done, uint64_t total)>& progress,
                                    const std::function<bool()>& cancelled) {
  ReadBackResult result;
  uint64_t total = 0;
  for (const FirmwareSectionInfo& section : sections) total += section.sizeBytes & ~1u;
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> flash;
  for (const FirmwareSectionInfo& section : sections) {
    // The words as the programming pass sent them: little-endian pairs of the section's bytes.
    bytes.assign(section.sizeBytes, 0);
    const uint32_t got = file.readSection(section.number, bytes.data(), section.sizeBytes);
    const uint32_t words = got / 2;
    for (uint32_t start = 0; start < words; start += kPieceWords) {
      if (cancelled && cancelled()) {
        result.cancelled = true;
        return result;
      }
      const uint32_t count = std::min(kPieceWords, words - start);
      const uint32_t address = section.loadAddress + start;
      flash.assign(count, 0);
      result.sectionNumber = section.number;
      result.sectionName = section.name;
      if (!programmer.read(address, 0, count * 2, flash.data())) {
        result.readFailed = true;
        result.firstDifference = address;
        return result;
      }
      for (uint32_t i = 0; i < count; ++i) {
        const size_t at = 2 * static_cast<size_t>(start + i);
        const auto expected = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
        if (flash[i] != expected) {
          result.firstDifference = address + i;
          result.fileWord = expected;
          result.flashWord = flash[i];
          return result;
        }
      }
      result.bytesRead += uint64_t{count} * 2;
      if (progress) progress(result.bytesRead, total);
    }
  }
  result.matches = true;
  return result;
}

std::string ReadBackMessage(const ReadBackResult& result) {
  const std::string section =
      result.sectionName.empty() ? std::to_string(result.sectionNumber) : result.sectionName;
  if (result.readFailed) {
    return "the flash could not be read back at " + Hex(result.firstDifference, 8) + " (section " + section +
           "): the word-by-word comparison is incomplete";
  }
  if (result.matches || result.cancelled) return {};
  return "the flash differs from the file at " + Hex(result.firstDifference, 8) + " (section " + section +
         ": file " + Hex(result.fileWord, 4) + ", flash " + Hex(result.flashWord, 4) +
         "), although the kernel's sum check passed";
}

}  // namespace axtune
