#include "firmware/programmer/prg_port.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "link/port_slots.h"
#include "link/sleeper.h"

namespace axtune::prg {

ProgrammerPort& Port() {
  static ProgrammerPort port;
  return port;
}

bool IsKnownPortRate(int rate) {
  switch (rate) {
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 14400:
    case 19200:
    case 38400:
    case 56000:
    case 57600:
    case 115200:
      return true;
    default:
      return false;
  }
}

bool ProgrammerPort::applyTimeouts(int rate) {
  SerialTimeouts timeouts;
  timeouts.readPerByteMs = static_cast<uint32_t>(1000000 / rate);
  timeouts.readConstantMs = kReadTimeoutFloorMs;
  timeouts.writePerByteMs = 1000;
  timeouts.writeConstantMs = 0;
  return port_->setTimeouts(timeouts);
}

int ProgrammerPort::open(const std::string& name, int rate) {
  std::lock_guard lock(mutex_);
  if (interruptedLocked()) {
    lastError_ = "closed by PRG_Close";
    return -1;
  }
  dropKept();
  if (port_) {
    port_->close();
    port_.reset();
  }
  if (!IsKnownPortRate(rate)) rate = 38400;
  std::string device = ResolvePortDevice(name);
  if (device.empty()) {
    lastError_ = "no device behind " + name;
    return -1;
  }
  std::unique_ptr<SerialPort> port = createSerialPort(device);
  SerialSettings settings;
  settings.baudRate = rate;
  settings.dtr = true;
  settings.rts = false;
  settings.exclusive = false;  // shared for reading and writing, as the boot tools open it
  settings.abortOnError = true;
  settings.keepParityCheckAndDsrFlow = false;  // parity check and DSR output flow off
  settings.restoreOnClose = true;              // the settings found at open come back at close
  if (!port || !port->open(settings)) {
    lastError_ = port ? describeOpenError(port->lastOpenError(), port->lastErrorText()) : "no port";
    return -1;
  }
  port_ = std::move(port);
  rate_ = rate;
  if (!applyTimeouts(rate)) {
    port_->close();
    port_.reset();
    lastError_ = "the port refused its timeouts";
    return -1;
  }
  return 0;
}

void ProgrammerPort::close() {
  std::lock_guard lock(mutex_);
  closeLocked();
}

void ProgrammerPort::closeLocked() {
  dropKept();
  if (!port_) return;
  port_->purge();
  port_->close();
  port_.reset();
}

void ProgrammerPort::beginSession() {
  std::lock_guard lock(mutex_);
  sessionGeneration_ = generation_;
  sessionActive_ = true;
}

void ProgrammerPort::endSession() {
  std::lock_guard lock(mutex_);
  sessionActive_ = false;
}

void ProgrammerPort::interrupt(bool close) {
  std::lock_guard lock(mutex_);
  ++generation_;
  if (close) closeLocked();
}

bool ProgrammerPort::connect(std::atomic<bool>& connected) {
  std::lock_guard lock(mutex_);
  if (interruptedLocked()) return false;
  connected = true;
  return true;
}

uint64_t ProgrammerPort::clockUs() const {
  std::lock_guard lock(mutex_);
  if (port_) return port_->clockUs();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

bool ProgrammerPort::isOpen() const {
  std::lock_guard lock(mutex_);
  return port_ != nullptr;
}

bool ProgrammerPort::purge() {
  std::lock_guard lock(mutex_);
  dropKept();
  return port_ && port_->purge();
}

bool ProgrammerPort::setRate(int rate) {
  std::lock_guard lock(mutex_);
  if (!port_ || rate <= 0) return false;
  dropKept();
  port_->purge();
  // Whatever arrived after the purge is read and dropped one byte at a time.
  for (size_t waiting = port_->bytesWaiting(); waiting > 0; --waiting) {
    uint8_t discard = 0;
    if (port_->read(&discard, 1) != 1) break;
  }
  if (!port_->setBaudRate(rate)) return false;
  rate_ = rate;
  return applyTimeouts(rate);
}

int ProgrammerPort::currentRate() const {
  std::lock_guard lock(mutex_);
  return rate_;
}

size_t ProgrammerPort::write(const uint8_t* data, size_t n) {
  std::lock_guard lock(mutex_);
  if (!port_ || n == 0) return 0;
  return port_->write(data, n);
}

size_t ProgrammerPort::takeKept(uint8_t* buffer, size_t max) {
  const size_t n = std::min(max, keptEnd_ - keptBegin_);
  if (n > 0) std::memcpy(buffer, kept_ + keptBegin_, n);
  keptBegin_ += n;
  if (keptBegin_ == keptEnd_) dropKept();
  return n;
}

size_t ProgrammerPort::readSome(uint8_t* buffer, size_t min, size_t max) {
  std::lock_guard lock(mutex_);
  if (!port_ || min == 0) return 0;
  max = std::max(min, max);
  size_t got = takeKept(buffer, max);
  if (got >= min) return got;
  // Everything kept is taken now; wait for the bytes still missing and keep what else came.
  if (min - got > sizeof kept_) return got + port_->readSome(buffer + got, min - got, max - got);
  keptEnd_ = port_->readSome(kept_, min - got, sizeof kept_);
  return got + takeKept(buffer + got, max - got);
}

bool ProgrammerPort::dtrPulse() {
  {
    std::lock_guard lock(mutex_);
    if (!port_ || !port_->setDtr(true)) return false;
  }
  SleepMs(100);
  {
    std::lock_guard lock(mutex_);
    if (!port_ || !port_->setDtr(false)) return false;
  }
  SleepMs(100);
  return true;
}

std::string ProgrammerPort::lastErrorText() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

}  // namespace axtune::prg
