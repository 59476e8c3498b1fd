// The programmer's own serial port: opened with the settings and timeouts of the boot ROM and kernel
// line (8N1, raw, DTR on, RTS off, no flow control, read timeout of 1,000,000 / rate ms per byte asked
// plus 100 ms, write timeout 1000 ms per byte). The 100 ms keep a single echo from timing out at high
// rates (8 ms a byte at 115200) behind a USB adapter's latency timer or a busy host. Every transfer holds a
// lock, so PRG_Close from another thread can close the port between two transfers of a running operation;
// later transfers then report nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/serial_port.h"

namespace axtune::prg {

inline constexpr uint32_t kReadTimeoutFloorMs = 100;

class ProgrammerPort {
 public:
  // Opens the device behind `name` (a port-slot name or a device) at `rate`; a rate the port does not
  // know gives 38400. 0 on success, -1 when any step fails (nothing stays open then).
  int open(const std::string& name, int rate);
  // Drops both directions' buffers, restores the settings found at open and closes. Safe when closed.
  void close();
  bool isOpen() const;
  bool purge();
  // Purges, reads and discards what the driver still holds, then switches the rate and timeouts.
  bool setRate(int rate);
  int currentRate() const;
  size_t write(const uint8_t* data, size_t n);
  size_t read(uint8_t* buffer, size_t n);
  // DTR high for 100 ms, then low for 100 ms (the drive's processor resets on it).
  bool dtrPulse();
  std::string lastErrorText() const;

 private:
  bool applyTimeouts(int rate);

  mutable std::mutex mutex_;
  std::unique_ptr<SerialPort> port_;
  int rate_ = 0;
  std::string lastError_;
};

ProgrammerPort& Port();

// Rates the port accepts; any other rate opens at 38400.
bool IsKnownPortRate(int rate);

}  // namespace axtune::prg
