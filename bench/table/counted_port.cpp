// A serial port that forwards to the platform's port and counts every byte both ways, with its wire
// time at the rate the port had when the byte went.
#include <memory>

#include "bench/table/bench_support.h"
#include "link/platform_serial_port.h"

namespace axtune::bench {
namespace {

class CountedPort : public SerialPort {
 public:
  CountedPort(std::unique_ptr<SerialPort> inner, std::string name, LineCount* count)
      : inner_(std::move(inner)), name_(std::move(name)), count_(count) {}

  bool open(const SerialSettings& settings) override {
    rate_ = settings.baudRate;
    return inner_->open(settings);
  }
  bool close() override { return inner_->close(); }
  bool isOpen() const override { return inner_->isOpen(); }
  bool setTimeouts(const SerialTimeouts& timeouts) override { return inner_->setTimeouts(timeouts); }
  size_t read(uint8_t* buffer, size_t n) override { return counted(inner_->read(buffer, n), false); }
  size_t readSome(uint8_t* buffer, size_t min, size_t max) override {
    return counted(inner_->readSome(buffer, min, max), false);
  }
  size_t write(const uint8_t* data, size_t n) override { return counted(inner_->write(data, n), true); }
  bool purge() override { return inner_->purge(); }
  bool clearErrors() override { return inner_->clearErrors(); }
  bool setDtr(bool on) override { return inner_->setDtr(on); }
  bool setRts(bool on) override { return inner_->setRts(on); }
  bool modemStatus(ModemStatus& status) override { return inner_->modemStatus(status); }
  bool setBaudRate(int rate) override {
    const bool ok = inner_->setBaudRate(rate);
    if (ok) rate_ = rate;
    return ok;
  }
  int baudRate() const override { return inner_->baudRate(); }
  size_t bytesWaiting() override { return inner_->bytesWaiting(); }
  std::string deviceName() const override { return name_; }  // reopened by this name, still counted
  PortOpenError lastOpenError() const override { return inner_->lastOpenError(); }
  std::string lastErrorText() const override { return inner_->lastErrorText(); }

 private:
  size_t counted(size_t n, bool written) {
    (written ? count_->written : count_->read) += n;
    if (rate_ > 0) count_->wireSeconds += WireSeconds(n, rate_);
    return n;
  }

  std::unique_ptr<SerialPort> inner_;
  std::string name_;
  LineCount* count_;
  int rate_ = 0;
};

}  // namespace

void RegisterCountedDevice(const std::string& name, const std::string& device, LineCount* count) {
  registerInProcessPort(name, [device, count](const std::string& as) -> std::unique_ptr<SerialPort> {
    return std::make_unique<CountedPort>(createPlatformSerialPort(device), as, count);
  });
}

}  // namespace axtune::bench
