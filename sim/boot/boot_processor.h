// The drive's processor below its firmware: the SCI boot ROM, the flash kernel that a boot table
// can load, the flash and the RAM. The simulated drive hands the line to this object when the
// firmware is told to enter its boot loader (record 127, sub-command 9), or at reset when the flash
// holds no valid firmware.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/byte_device.h"

namespace axtune::sim {

struct FlashSector {
  uint32_t start = 0;  // word address
  uint32_t words = 0;
};

struct FlashGeometry {
  std::string name;  // "F2808", "F28335"
  std::vector<FlashSector> sectors;
  static FlashGeometry F2808();   // 0x3E8000..0x3F7FFF, four sectors
  static FlashGeometry F28335();  // 0x300000..0x33FFFF, eight sectors
};

class BootProcessor : public ByteDevice {
 public:
  explicit BootProcessor(FlashGeometry geometry = FlashGeometry::F2808());
  ~BootProcessor() override;

  // The firmware jumps into the boot ROM: from now on the ROM owns the line.
  void enterBootRom();
  // Power-on or reset: the boot ROM runs again (the simulated drive then asks firmwareValid()).
  void reset();
  // True while the boot ROM or the kernel owns the line (the drive firmware is not running).
  bool active() const;
  // True when the flash holds firmware the processor would start at reset. A drive whose flash is
  // erased or half-programmed stays in the boot ROM, so a new update can always reach it.
  bool firmwareValid() const;
  // Marks the flash as holding valid firmware without programming it (the drive as shipped).
  void setFactoryFirmware();

  // Flash contents (0xFFFF where erased) and export.
  uint16_t flashWord(uint32_t address) const;
  const FlashGeometry& geometry() const;
  bool writeFlashIntelHex(const std::string& path, std::string* error) const;
  bool writeFlashBinary(const std::string& path, std::string* error) const;

  void onByte(uint8_t byte, std::vector<uint8_t>& out) override;
  void onHostBaudRate(int rate) override;
  void advance(uint64_t microseconds) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace axtune::sim
