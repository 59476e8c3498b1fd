// Win32 communications backend of SerialPort. Compiled only for Windows.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "link/serial_port.h"

namespace axtune {

// Why CreateFile failed, from its error code.
PortOpenError ClassifyOpenError(DWORD error);

// The device control block that open() writes: `found` is what the port had, changed as settings ask.
DCB BuildDeviceControlBlock(const DCB& found, const SerialSettings& settings);

class Win32SerialPort final : public SerialPort {
 public:
  explicit Win32SerialPort(std::string device);
  ~Win32SerialPort() override;
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  bool open(const SerialSettings& settings) override;
  bool close() override;
  bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  bool setTimeouts(const SerialTimeouts& timeouts) override;
  size_t read(uint8_t* buffer, size_t n) override;
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
  bool failOpen(PortOpenError error, DWORD osError);

  std::string device_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DCB savedState_{};
  COMMTIMEOUTS savedTimeouts_{};
  bool haveSavedTimeouts_ = false;
  bool restoreOnClose_ = false;
  int baudRate_ = 0;
  PortOpenError openError_ = PortOpenError::None;
  std::string errorText_;
};

}  // namespace axtune
