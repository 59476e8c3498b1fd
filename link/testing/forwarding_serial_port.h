// A port that hands every call to another port. Tests derive from it to watch or delay a few calls
// (log DTR changes, time the reads) and leave the rest alone.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "link/serial_port.h"

namespace axtune::testing {

class ForwardingSerialPort : public SerialPort {
 public:
  explicit ForwardingSerialPort(std::unique_ptr<SerialPort> inner) : inner_(std::move(inner)) {}

  bool open(const SerialSettings& settings) override { return inner_->open(settings); }
  bool close() override { return inner_->close(); }
  bool isOpen() const override { return inner_->isOpen(); }
  bool setTimeouts(const SerialTimeouts& timeouts) override { return inner_->setTimeouts(timeouts); }
  size_t read(uint8_t* buffer, size_t n) override { return inner_->read(buffer, n); }
  size_t write(const uint8_t* data, size_t n) override { return inner_->write(data, n); }
  bool purge() override { return inner_->purge(); }
  bool clearErrors() override { return inner_->clearErrors(); }
  bool setDtr(bool on) override { return inner_->setDtr(on); }
  bool setRts(bool on) override { return inner_->setRts(on); }
  bool modemStatus(ModemStatus& status) override { return inner_->modemStatus(status); }
  bool setBaudRate(int rate) override { return inner_->setBaudRate(rate); }
  int baudRate() const override { return inner_->baudRate(); }
  size_t bytesWaiting() override { return inner_->bytesWaiting(); }
  std::string deviceName() const override { return inner_->deviceName(); }
  PortOpenError lastOpenError() const override { return inner_->lastOpenError(); }
  std::string lastErrorText() const override { return inner_->lastErrorText(); }

 protected:
  SerialPort& inner() { return *inner_; }

 private:
  std::unique_ptr<SerialPort> inner_;
};

}  // namespace axtune::testing
