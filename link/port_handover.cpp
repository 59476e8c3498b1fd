#include "link/port_handover.h"

#include <map>
#include <mutex>

#include "link/rfc2217_serial_port.h"

namespace axtune {
namespace {

struct Parking {
  std::mutex mutex;
  std::map<std::string, int> handOvers;  // device -> live PortHandOver objects
  std::map<std::string, std::unique_ptr<Rfc2217SerialPort>> parked;
};

Parking& parking() {
  static Parking p;
  return p;
}

// Takes the parked connection of `device`, if there is one.
std::unique_ptr<Rfc2217SerialPort> takeParked(const std::string& device) {
  Parking& p = parking();
  std::lock_guard<std::mutex> lock(p.mutex);
  auto it = p.parked.find(device);
  if (it == p.parked.end()) return nullptr;
  std::unique_ptr<Rfc2217SerialPort> port = std::move(it->second);
  p.parked.erase(it);
  return port;
}

class HandOverNetworkPort final : public SerialPort {
 public:
  explicit HandOverNetworkPort(std::string device)
      : device_(std::move(device)), inner_(std::make_unique<Rfc2217SerialPort>(device_)) {}

  bool open(const SerialSettings& settings) override {
    inner_->close();
    if (std::unique_ptr<Rfc2217SerialPort> parked = takeParked(device_)) {
      // The connection stays; only what the new owner asks for changes. A connection that broke
      // while parked is given up and a new one made.
      if (parked->connectionAlive() && adopt(*parked, settings)) {
        inner_ = std::move(parked);
        return true;
      }
      parked->close();
    }
    return inner_->open(settings);
  }

  bool close() override {
    if (inner_->isOpen() && inner_->connectionAlive()) {
      Parking& p = parking();
      std::lock_guard<std::mutex> lock(p.mutex);
      auto it = p.handOvers.find(device_);
      if (it != p.handOvers.end() && it->second > 0) {
        std::unique_ptr<Rfc2217SerialPort>& slot = p.parked[device_];
        if (slot) slot->close();
        slot = std::move(inner_);
        inner_ = std::make_unique<Rfc2217SerialPort>(device_);
        return true;
      }
    }
    return inner_->close();
  }

  bool isOpen() const override { return inner_->isOpen(); }
  bool setTimeouts(const SerialTimeouts& timeouts) override { return inner_->setTimeouts(timeouts); }
  size_t read(uint8_t* buffer, size_t n) override { return inner_->read(buffer, n); }
  size_t readSome(uint8_t* buffer, size_t min, size_t max) override {
    return inner_->readSome(buffer, min, max);
  }
  size_t write(const uint8_t* data, size_t n) override { return inner_->write(data, n); }
  bool purge() override { return inner_->purge(); }
  bool clearErrors() override { return inner_->clearErrors(); }
  bool setDtr(bool on) override { return inner_->setDtr(on); }
  bool setRts(bool on) override { return inner_->setRts(on); }
  bool modemStatus(ModemStatus& status) override { return inner_->modemStatus(status); }
  bool setBaudRate(int rate) override { return inner_->setBaudRate(rate); }
  int baudRate() const override { return inner_->baudRate(); }
  size_t bytesWaiting() override { return inner_->bytesWaiting(); }
  uint64_t clockUs() override { return inner_->clockUs(); }
  std::string deviceName() const override { return device_; }
  PortOpenError lastOpenError() const override { return inner_->lastOpenError(); }
  std::string lastErrorText() const override { return inner_->lastErrorText(); }

 private:
  // The settings of an open on a connection that stays: the rate (answered by the server), the
  // lines, and empty buffers, as a fresh open has. DTR is sent only when it changes, so the
  // processor sees no edge that the owners did not ask for.
  static bool adopt(Rfc2217SerialPort& port, const SerialSettings& settings) {
    if (port.baudRate() != settings.baudRate && !port.setBaudRate(settings.baudRate)) return false;
    if (port.dtrLevel() != settings.dtr && !port.setDtr(settings.dtr)) return false;
    if (!port.setRts(settings.rts)) return false;
    if (!port.setTimeouts(SerialTimeouts{})) return false;
    return port.purge();
  }

  const std::string device_;
  std::unique_ptr<Rfc2217SerialPort> inner_;
};

}  // namespace

PortHandOver::PortHandOver(std::string device) : device_(std::move(device)) {
  if (!IsRfc2217Name(device_)) return;
  Parking& p = parking();
  std::lock_guard<std::mutex> lock(p.mutex);
  ++p.handOvers[device_];
}

PortHandOver::~PortHandOver() {
  if (!IsRfc2217Name(device_)) return;
  std::unique_ptr<Rfc2217SerialPort> left;
  {
    Parking& p = parking();
    std::lock_guard<std::mutex> lock(p.mutex);
    if (--p.handOvers[device_] > 0) return;
    p.handOvers.erase(device_);
    auto it = p.parked.find(device_);
    if (it != p.parked.end()) {
      left = std::move(it->second);
      p.parked.erase(it);
    }
  }
  if (left) left->close();  // outside the lock: closing joins the receiving thread
}

bool HasParkedConnection(const std::string& device) {
  Parking& p = parking();
  std::lock_guard<std::mutex> lock(p.mutex);
  auto it = p.parked.find(device);
  return it != p.parked.end() && it->second != nullptr;
}

std::unique_ptr<SerialPort> CreateHandOverNetworkPort(const std::string& device) {
  return std::make_unique<HandOverNetworkPort>(device);
}

}  // namespace axtune
