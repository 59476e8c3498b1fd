// The programmer's own serial port: opened with the settings and timeouts of the boot ROM and kernel
// line (8N1, raw, DTR on, RTS off, no flow control, read timeout of 1,000,000 / rate ms per byte asked
// plus 100 ms, write timeout 1000 ms per byte). The 100 ms keep a single echo from timing out at high
// rates (8 ms a byte at 115200) behind a USB adapter's latency timer or a busy host. Every transfer holds a
// lock, so PRG_Close from another thread can close the port between two transfers of a running operation;
// later transfers then report nothing. Each operation is a session: a PRG_Close from another thread ends
// it, and from then on the port does not open again for it and it cannot connect (PRG_Open reopens the
// port after the boot load, and must not take it back behind the close).
#pragma once

#include <atomic>
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
  // Reads n bytes within the timeout for the bytes still missing. Each call to the port takes
  // whatever has arrived, and what the caller did not ask for yet is kept for the next read (a
  // kernel's acknowledgement and its answer arrive together), so replies cost as few system calls as
  // their arrival allows. Purging, a rate change and closing drop what is kept.
  size_t read(uint8_t* buffer, size_t n) { return readSome(buffer, n, n); }
  // At least `min` bytes (or what came within the timeout for them), at most `max`.
  size_t readSome(uint8_t* buffer, size_t min, size_t max);
  // DTR high for 100 ms, then low for 100 ms (the drive's processor resets on it).
  bool dtrPulse();
  // The clock the port's timeouts run on (the steady clock when no port is open), in microseconds.
  uint64_t clockUs() const;

  // Sessions. beginSession() at the start of an operation, endSession() at its end. interrupt() (from
  // PRG_Close, on any thread) ends the running session: open() then fails for it, connect() refuses,
  // and with close = true the port is closed in the same step, so no open can come in between.
  void beginSession();
  void endSession();
  void interrupt(bool close);
  // Sets `connected` unless the running session was interrupted; false then.
  bool connect(std::atomic<bool>& connected);
  std::string lastErrorText() const;

 private:
  bool applyTimeouts(int rate);
  size_t takeKept(uint8_t* buffer, size_t max);
  void dropKept() { keptBegin_ = keptEnd_ = 0; }

  bool interruptedLocked() const { return sessionActive_ && generation_ != sessionGeneration_; }
  void closeLocked();

  mutable std::mutex mutex_;
  uint64_t generation_ = 0;  // interrupts so far
  uint64_t sessionGeneration_ = 0;
  bool sessionActive_ = false;
  std::unique_ptr<SerialPort> port_;
  int rate_ = 0;
  std::string lastError_;
  uint8_t kept_[512] = {};  // bytes read from the port that no caller asked for yet
  size_t keptBegin_ = 0;
  size_t keptEnd_ = 0;
};

ProgrammerPort& Port();

// Rates the port accepts; any other rate opens at 38400.
bool IsKnownPortRate(int rate);

}  // namespace axtune::prg
