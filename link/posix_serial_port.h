// termios backend of SerialPort for real serial devices and pseudo-terminals.
#pragma once

#include <termios.h>

#include <atomic>
#include <mutex>
#include <string>

#include "link/serial_port.h"

namespace axtune {

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(std::string device);
  ~PosixSerialPort() override;
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  bool open(const SerialSettings& settings) override;
  bool close() override;
  bool isOpen() const override { return fd_ >= 0; }
  bool deviceGone() override;

  bool setTimeouts(const SerialTimeouts& timeouts) override;
  size_t read(uint8_t* buffer, size_t n) override { return readSome(buffer, n, n); }
  size_t readSome(uint8_t* buffer, size_t min, size_t max) override;
  size_t write(const uint8_t* data, size_t n) override;

  bool purge() override;
  bool clearErrors() override;
  bool setDtr(bool on) override;
  bool setRts(bool on) override;
  bool modemStatus(ModemStatus& status) override;
  bool setBaudRate(int rate) override;
  int baudRate() const override { return baudRate_; }
  size_t bytesWaiting() override;

  std::string deviceName() const override { return device_; }
  PortOpenError lastOpenError() const override { return openError_; }
  std::string lastErrorText() const override { return errorText_; }

 private:
  bool failOpen(PortOpenError error, const std::string& text);
  bool setModemLine(int line, bool on);
  // Abort-on-error: true while a line error seen since the last clearErrors() blocks transfers.
  bool lineErrorPending();
  uint64_t lineErrorCount();

  std::string device_;
  int fd_ = -1;
  termios saved_{};
  bool haveSaved_ = false;
  SerialSettings settings_;
  SerialTimeouts timeouts_;
  int baudRate_ = 0;
  PortOpenError openError_ = PortOpenError::None;
  std::string errorText_;

  std::mutex errorMutex_;  // the carrier watcher may clear errors while a transfer checks them
  bool lineError_ = false;
  uint64_t errorBaseline_ = 0;
  bool noErrorCounters_ =
      false;  // the driver has no line-error counters (a pseudo-terminal): never ask again
};

}  // namespace axtune
