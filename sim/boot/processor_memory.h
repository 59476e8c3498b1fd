// The memory of the simulated processor: flash in sectors (erased words read 0xFFFF, programming can
// only clear bits) and RAM at word addresses 0x0000..0xFFFF, plus what the processor needs to decide
// at reset whether the flash holds firmware it would start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/boot/boot_processor.h"

namespace axtune::sim {

inline constexpr uint32_t kRamWords = 0x10000;

class ProcessorMemory {
 public:
  explicit ProcessorMemory(FlashGeometry geometry);

  const FlashGeometry& geometry() const { return geometry_; }
  uint32_t flashStart() const { return flashStart_; }
  uint32_t flashEnd() const { return flashStart_ + static_cast<uint32_t>(flash_.size()); }  // exclusive
  bool isFlash(uint32_t address, uint32_t count = 1) const;
  bool isRam(uint32_t address, uint32_t count = 1) const;

  uint16_t flashWord(uint32_t address) const;         // 0xFFFF outside the flash
  uint16_t ramWord(uint32_t address) const;           // 0 outside the RAM
  void setRamWord(uint32_t address, uint16_t value);  // ignored outside the RAM

  enum class ProgramResult { Ok, OutOfRange, BitWouldBeSet };
  // Programs words one after the other and stops at the first word that would need a 0 bit set to 1
  // (*failedAt then names it); the words before it stay programmed.
  ProgramResult program(uint32_t address, const uint16_t* words, uint32_t count,
                        uint32_t* failedAt = nullptr);
  // Erases the sectors whose bits are set (bit 0 = the first sector of the geometry, sector A).
  // False, erasing nothing, when the mask is 0 or names a sector the device does not have.
  bool eraseSectors(uint32_t mask);
  uint16_t flashSum(uint32_t address, uint32_t count) const;
  // A verify that matched: the words it covered count as checked.
  void markVerified(uint32_t address, uint32_t count);

  // Firmware the processor would start at reset: as shipped (until the first erase or program), or
  // the flash entry point is programmed, no write failed since the last erase, and every word
  // programmed since then was covered by a matching verify.
  bool firmwareValid() const;
  void setFactoryFirmware();
  // The word the boot-to-flash jump runs (two words below the code security password area).
  uint32_t flashEntryPoint() const { return flashEnd() - 10; }

  bool writeIntelHex(const std::string& path, std::string* error) const;
  bool writeBinary(const std::string& path, std::string* error) const;

 private:
  FlashGeometry geometry_;
  uint32_t flashStart_ = 0;
  std::vector<uint16_t> flash_;
  std::vector<uint8_t> unverified_;  // 1 for a word programmed since the last erase and not verified
  uint32_t unverifiedCount_ = 0;
  bool programFailed_ = false;
  bool factory_ = false;
  std::vector<uint16_t> ram_;
};

}  // namespace axtune::sim
