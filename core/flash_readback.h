// The word-by-word comparison of the programmed flash with the file, after the kernel's sum check.
//
// The kernel's verify compares a 16-bit sum of each section: it catches every single wrong word,
// but two errors that cancel (bit 15 flipped in two words, two words swapped, +1 in one and -1 in
// another) pass it, and the write packets carry no checksum of their own. Reading the flash back and
// comparing every word catches those too, at the cost of reading the whole image over the line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/firmware_update.h"

namespace axtune {

struct ReadBackResult {
  bool matches = false;          // every word of every section reads back as in the file
  bool readFailed = false;       // a read got no data (the address is where it was asked)
  uint32_t firstDifference = 0;  // word address of the first word that differs, or of the failed read
  uint16_t fileWord = 0;         // at a difference: the file's word and the flash's
  uint16_t flashWord = 0;
  int sectionNumber = 0;  // the section it lies in
  std::string sectionName;
  uint64_t bytesRead = 0;
  bool cancelled = false;
};

// Reads each section back in pieces and compares it with the file's words; stops at the first
// difference or failed read. `progress` gets (bytes compared, total) after each piece; `cancelled`
// is asked between pieces.
ReadBackResult CompareFlashWithFile(FirmwareFile& file, const std::vector<FirmwareSectionInfo>& sections,
                                    FlashProgrammer& programmer,
                                    const std::function<void(uint64_t done, uint64_t total)>& progress,
                                    const std::function<bool()>& cancelled);

// "the flash differs from the file at 0x003380E4 (section .text: file 0x1234, flash 0x9234)", or
// the failed read, for the outcome's message.
std::string ReadBackMessage(const ReadBackResult& result);

}  // namespace axtune
