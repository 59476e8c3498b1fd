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
  // Marks the flash as holding valid firmware without programming it (the drive as shipped); a boot
  // ROM that has not started a load hands over to that firmware. Valid firmware otherwise means: the
  // flash entry point (flash end - 10) is programmed, no write failed since the last erase, and every
  // word programmed since then was covered by a matching verify.
  void setFactoryFirmware();

  // True while the stand-in flash kernel runs (waiting for its autobaud or speaking packets).
  bool kernelRunning() const;
  // True when the processor runs something that does not talk (a loaded image that is not the
  // kernel, a line garbled by a rate change); only reset() helps. (A wrong boot key without valid
  // firmware does not halt it: the watchdog brings the boot ROM back.)
  bool halted() const;

  // Flash contents (0xFFFF where erased) and export. Intel hex: byte addresses (word address * 2),
  // each word high byte first, erased records left out. Binary: the whole flash from its lowest
  // address, each word low byte first.
  uint16_t flashWord(uint32_t address) const;
  uint16_t ramWord(uint32_t address) const;  // RAM is word addresses 0x0000..0xFFFF
  const FlashGeometry& geometry() const;
  bool writeFlashIntelHex(const std::string& path, std::string* error) const;
  bool writeFlashBinary(const std::string& path, std::string* error) const;

  // The SCI autobaud (of the boot ROM and of the kernel) does not lock above `rate`; 0: at any rate.
  void setAutobaudLimit(int rate);

  void onByte(uint8_t byte, std::vector<uint8_t>& out) override;
  void onHostBaudRate(int rate) override;
  void advance(uint64_t microseconds) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace axtune::sim
