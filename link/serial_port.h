// The serial port layer: one small interface that the drive link, the flash programmer and the
// tests share. Backends: POSIX termios, Win32, the in-process simulated drive, and a scripted fake.
//
// Thread rules: one thread uses a port at a time, except modemStatus()/clearErrors(), which the
// carrier watcher may call while the GUI thread transfers (both only query or reset line state).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace axtune {

// Line settings applied at open. Data format is always 8N1.
struct SerialSettings {
  int baudRate = 38400;
  bool dtr = false;          // DTR raised after open
  bool rts = true;           // RTS raised after open
  bool exclusive = true;     // no other process may open the device while we hold it
  bool abortOnError = true;  // a line error fails transfers until clearErrors()
  // The drive link keeps the parity-check flag and DSR output flow control that the port had; the
  // flash programmer turns both off, since a port left with DSR flow on stalls the boot load.
  bool keepParityCheckAndDsrFlow = true;
  // Windows: put back the settings found at open before the handle closes. The programmer does; the
  // drive link does not, because re-applying old settings can raise DTR, and an edge on DTR resets
  // the drive's processor in the middle of the hand-over to its boot loader. (The termios backend
  // always restores the terminal settings, which leaves the modem lines alone.)
  bool restoreOnClose = false;
};

// Total-timeout model of the Windows communications interface: a read of n bytes may take at
// most n * readPerByteMs + readConstantMs milliseconds in all, then returns what arrived.
struct SerialTimeouts {
  uint32_t readPerByteMs = 1;
  uint32_t readConstantMs = 1000;
  uint32_t writePerByteMs = 1;
  uint32_t writeConstantMs = 1000;
};

// Why an open failed, kept for the user interface.
enum class PortOpenError { None, NotFound, PermissionDenied, Busy, BadSettings, Other };

struct ModemStatus {
  bool carrier = false;  // DCD / RLSD
  bool dsr = false;
  bool cts = false;
  bool ring = false;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Opens the device and applies the settings. On failure nothing stays held and
  // lastOpenError()/lastErrorText() say why (the OS text where the OS gave one).
  virtual bool open(const SerialSettings& settings) = 0;
  // Closes the port, restoring the settings found at open. True when closed (or already closed).
  virtual bool close() = 0;
  virtual bool isOpen() const = 0;

  virtual bool setTimeouts(const SerialTimeouts& timeouts) = 0;
  // Reads up to n bytes; returns when n arrived or the total read timeout ran out.
  virtual size_t read(uint8_t* buffer, size_t n) = 0;
  // Waits for `min` bytes as read() does (the total timeout counts `min` bytes) and takes whatever
  // else has already arrived, up to `max`: what is there, in as few calls to the system as it allows.
  // The default reads `min`, then what bytesWaiting() reports.
  virtual size_t readSome(uint8_t* buffer, size_t min, size_t max);
  // Writes n bytes within the total write timeout; returns how many were written.
  virtual size_t write(const uint8_t* data, size_t n) = 0;

  virtual bool purge() = 0;        // drop everything queued in both directions
  virtual bool clearErrors() = 0;  // clear the line-error state that abort-on-error set
  virtual bool setDtr(bool on) = 0;
  virtual bool setRts(bool on) = 0;
  // False when the lines cannot be read (pseudo-terminals, for example).
  virtual bool modemStatus(ModemStatus& status) = 0;
  // True once the device under an open port went away (a USB adapter pulled out: the system hangs
  // the terminal up). Asks without waiting and without touching the line; may be called from the
  // carrier watcher's thread, as modemStatus() is.
  virtual bool deviceGone() { return false; }
  virtual bool setBaudRate(int rate) = 0;
  virtual int baudRate() const = 0;
  // Bytes received and not yet read; 0 when unknown.
  virtual size_t bytesWaiting() = 0;
  // The clock the port's timeouts run on, in microseconds from an arbitrary start: the steady clock
  // for real ports, the drive's clock for a simulated one, a scripted clock for the test fake. The
  // link bounds a whole transfer (resynchronisation included) by it.
  virtual uint64_t clockUs();

  virtual std::string deviceName() const = 0;
  virtual PortOpenError lastOpenError() const = 0;
  virtual std::string lastErrorText() const = 0;
};

// Creates an (unopened) port for a device name. Names registered with registerInProcessPort()
// (the simulated drive, test doubles) are served in-process; every other name goes to the
// platform backend (termios on POSIX, Win32 on Windows).
std::unique_ptr<SerialPort> createSerialPort(const std::string& device);

// A factory for in-process devices. The factory is called once per createSerialPort().
using InProcessPortFactory = std::function<std::unique_ptr<SerialPort>(const std::string& device)>;
void registerInProcessPort(const std::string& device, InProcessPortFactory factory);
void unregisterInProcessPort(const std::string& device);

// A user-facing sentence for a failed open ("permission denied: add yourself to the dialout group").
std::string describeOpenError(PortOpenError error, const std::string& osText);

}  // namespace axtune
