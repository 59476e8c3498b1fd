// The serial port on a simulated drive, and its registration with the serial port layer.
#include <algorithm>

#include "sim/simulated_drive.h"

namespace axtune::sim {

namespace {

class SimulatedPort : public SerialPort {
 public:
  SimulatedPort(std::shared_ptr<SimulatedDrive> drive, std::string name)
      : drive_(std::move(drive)), name_(std::move(name)) {}
  ~SimulatedPort() override { close(); }

  bool open(const SerialSettings& settings) override {
    if (open_) {
      error_ = PortOpenError::Busy;
      return false;
    }
    if (settings.baudRate <= 0) {
      error_ = PortOpenError::BadSettings;
      return false;
    }
    if (!drive_->hostOpen(settings.baudRate, settings.dtr)) {
      error_ = PortOpenError::Busy;
      errorText_ = name_ + " is in use by another port";
      return false;
    }
    open_ = true;
    baud_ = settings.baudRate;
    error_ = PortOpenError::None;
    errorText_.clear();
    return true;
  }

  bool close() override {
    if (open_) drive_->hostClose();
    open_ = false;
    return true;
  }

  bool isOpen() const override { return open_; }

  bool setTimeouts(const SerialTimeouts& timeouts) override {
    if (!open_) return false;
    timeouts_ = timeouts;
    return true;
  }

  size_t read(uint8_t* buffer, size_t n) override { return readSome(buffer, n, n); }

  size_t readSome(uint8_t* buffer, size_t min, size_t max) override {
    if (!open_ || min == 0) return 0;
    const uint64_t total = uint64_t{timeouts_.readPerByteMs} * min + timeouts_.readConstantMs;
    return drive_->hostRead(buffer, min, std::max(min, max),
                            static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX)));
  }

  size_t write(const uint8_t* data, size_t n) override {
    if (!open_) return 0;
    drive_->hostWrite(data, n);
    return n;
  }

  bool purge() override {
    if (!open_) return false;
    drive_->hostPurge();
    return true;
  }
  bool clearErrors() override { return open_; }
  bool setDtr(bool on) override {
    if (!open_) return false;
    drive_->hostSetDtr(on);
    return true;
  }
  bool setRts(bool) override { return open_; }
  bool modemStatus(ModemStatus& status) override {
    if (!open_) return false;
    status = drive_->modemStatus();
    return true;
  }
  bool setBaudRate(int rate) override {
    if (!open_ || rate <= 0) return false;
    baud_ = rate;
    drive_->hostSetBaudRate(rate);
    return true;
  }
  int baudRate() const override { return baud_; }
  size_t bytesWaiting() override { return open_ ? drive_->hostBytesWaiting() : 0; }
  uint64_t clockUs() override { return drive_->nowUs(); }
  std::string deviceName() const override { return name_; }
  PortOpenError lastOpenError() const override { return error_; }
  std::string lastErrorText() const override { return errorText_; }

 private:
  std::shared_ptr<SimulatedDrive> drive_;
  std::string name_;
  bool open_ = false;
  int baud_ = 0;
  SerialTimeouts timeouts_;
  PortOpenError error_ = PortOpenError::None;
  std::string errorText_;
};

}  // namespace

std::unique_ptr<SerialPort> createSimulatedPort(std::shared_ptr<SimulatedDrive> drive,
                                                const std::string& deviceName) {
  return std::make_unique<SimulatedPort>(std::move(drive), deviceName);
}

std::shared_ptr<SimulatedDrive> registerSimulatedDrive(const std::string& deviceName, SimConfig config) {
  auto drive = std::make_shared<SimulatedDrive>(std::move(config));
  registerInProcessPort(deviceName,
                        [drive](const std::string& device) { return createSimulatedPort(drive, device); });
  return drive;
}

void unregisterSimulatedDrive(const std::string& deviceName) {
  unregisterInProcessPort(deviceName);
}

}  // namespace axtune::sim
