#include "link/testing/fake_serial_port.h"

#include <algorithm>
#include <cstdio>

namespace axtune::testing {

void FakeLine::feed(const Bytes& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
}

void FakeLine::expect(const Bytes& request, const Bytes& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (steps_.empty() && request.empty()) {
    incoming_.insert(incoming_.end(), reply.begin(), reply.end());
    return;
  }
  steps_.push_back(Step{request, reply, 0});
}

void FakeLine::setResponder(std::function<Bytes(const Bytes& written)> responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

void FakeLine::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  incoming_.clear();
  steps_.clear();
  written_.clear();
  writeCalls_.clear();
  mismatches_.clear();
  timeouts_ = 0;
  reads_ = 0;
  bytesRead_ = 0;
  timedOutBudgets_.clear();
  lineError_ = false;
  modemFailures_ = 0;
}

Bytes FakeLine::written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

std::vector<Bytes> FakeLine::writeCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeCalls_;
}

void FakeLine::clearWritten() {
  std::lock_guard<std::mutex> lock(mutex_);
  written_.clear();
  writeCalls_.clear();
}

size_t FakeLine::pendingBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return incoming_.size();
}

bool FakeLine::allExpectationsMet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return steps_.empty() && mismatches_.empty();
}

std::string FakeLine::mismatches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text = mismatches_;
  if (!steps_.empty()) text += std::to_string(steps_.size()) + " scripted request(s) never written\n";
  return text;
}

int FakeLine::timeouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeouts_;
}

uint64_t FakeLine::clockUs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clockUs_;
}

void FakeLine::advanceClockUs(uint64_t microseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  clockUs_ += microseconds;
}

std::vector<uint32_t> FakeLine::timedOutReadBudgetsMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timedOutBudgets_;
}

int FakeLine::reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

size_t FakeLine::bytesRead() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytesRead_;
}

void FakeLine::failNextOpen(PortOpenError error, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  nextOpenError_ = error;
  nextOpenErrorText_ = text;
}

void FakeLine::setModemStatusSupported(bool supported) {
  std::lock_guard<std::mutex> lock(mutex_);
  modemSupported_ = supported;
}

void FakeLine::failModemStatusReads(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  modemFailures_ = count;
}

void FakeLine::setCarrier(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  carrier_ = on;
}

bool FakeLine::dtr() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dtr_;
}

int FakeLine::baudRate() const {
  return baudRate_;
}

bool FakeLine::rts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rts_;
}

void FakeLine::raiseLineError() {
  std::lock_guard<std::mutex> lock(mutex_);
  lineError_ = true;
}

void FakeLine::setCloseFails(bool fails) {
  std::lock_guard<std::mutex> lock(mutex_);
  closeFails_ = fails;
}

int FakeLine::opens() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opens_;
}

int FakeLine::closes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closes_;
}

int FakeLine::clearErrorCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clearErrorCalls_;
}

int FakeLine::modemStatusCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return modemStatusCalls_;
}

bool FakeLine::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

SerialSettings FakeLine::lastSettings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

SerialTimeouts FakeLine::lastTimeouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lineTimeouts_;
}

// Called with the mutex held.
void FakeLine::onWrite(const uint8_t* data, size_t n) {
  written_.insert(written_.end(), data, data + n);
  writeCalls_.emplace_back(data, data + n);
  Bytes unscripted;
  for (size_t i = 0; i < n; ++i) {
    if (steps_.empty()) {
      unscripted.push_back(data[i]);
      continue;
    }
    Step& step = steps_.front();
    if (data[i] != step.request[step.matched]) {
      char line[96];
      std::snprintf(line, sizeof line, "written byte %zu: expected 0x%02X, got 0x%02X\n",
                    written_.size() - n + i, step.request[step.matched], data[i]);
      mismatches_ += line;
    }
    if (++step.matched == step.request.size()) {
      incoming_.insert(incoming_.end(), step.reply.begin(), step.reply.end());
      steps_.pop_front();
      // Steps without a request follow the one before them at once.
      while (!steps_.empty() && steps_.front().request.empty()) {
        incoming_.insert(incoming_.end(), steps_.front().reply.begin(), steps_.front().reply.end());
        steps_.pop_front();
      }
    }
  }
  if (!unscripted.empty() && responder_) {
    const Bytes reply = responder_(unscripted);
    incoming_.insert(incoming_.end(), reply.begin(), reply.end());
  }
}

FakeSerialPort::FakeSerialPort(std::string device, std::shared_ptr<FakeLine> line)
    : device_(std::move(device)), line_(line ? std::move(line) : std::make_shared<FakeLine>()) {}

FakeSerialPort::~FakeSerialPort() {
  if (open_) {
    std::lock_guard<std::mutex> lock(line_->mutex_);
    line_->open_ = false;
  }
}

bool FakeSerialPort::open(const SerialSettings& settings) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (line_->nextOpenError_ != PortOpenError::None) {
    openError_ = line_->nextOpenError_;
    errorText_ = line_->nextOpenErrorText_;
    line_->nextOpenError_ = PortOpenError::None;
    return false;
  }
  if (line_->open_) {
    openError_ = PortOpenError::Busy;
    errorText_ = device_ + ": already open";
    return false;
  }
  open_ = true;
  line_->open_ = true;
  ++line_->opens_;
  line_->settings_ = settings;
  line_->baudRate_ = settings.baudRate;
  line_->dtr_ = settings.dtr;
  line_->rts_ = settings.rts;
  line_->lineError_ = false;
  openError_ = PortOpenError::None;
  errorText_.clear();
  return true;
}

bool FakeSerialPort::close() {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (!open_) return true;
  if (line_->closeFails_) return false;
  open_ = false;
  line_->open_ = false;
  ++line_->closes_;
  return true;
}

bool FakeSerialPort::setTimeouts(const SerialTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (!open_) return false;
  line_->lineTimeouts_ = timeouts;
  return true;
}

size_t FakeSerialPort::read(uint8_t* buffer, size_t n) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ++line_->reads_;
  size_t got = 0;
  if (open_ && buffer != nullptr && !line_->lineError_) {
    got = std::min(n, line_->incoming_.size());
    std::copy_n(line_->incoming_.begin(), got, buffer);
    line_->incoming_.erase(line_->incoming_.begin(),
                           line_->incoming_.begin() + static_cast<std::ptrdiff_t>(got));
  }
  line_->bytesRead_ += got;
  if (got < n) {
    ++line_->timeouts_;
    const SerialTimeouts& t = line_->lineTimeouts_;
    const uint64_t budgetMs = uint64_t{t.readPerByteMs} * n + t.readConstantMs;
    line_->timedOutBudgets_.push_back(static_cast<uint32_t>(std::min<uint64_t>(budgetMs, UINT32_MAX)));
    line_->clockUs_ += budgetMs * 1000;
  }
  return got;
}

size_t FakeSerialPort::write(const uint8_t* data, size_t n) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (!open_ || data == nullptr || line_->lineError_) return 0;
  line_->onWrite(data, n);
  return n;
}

bool FakeSerialPort::purge() {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (!open_) return false;
  line_->incoming_.clear();
  return true;
}

bool FakeSerialPort::clearErrors() {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ++line_->clearErrorCalls_;
  if (!open_) return false;
  line_->lineError_ = false;
  return true;
}

bool FakeSerialPort::setDtr(bool on) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (!open_ || !line_->modemSupported_) return false;
  line_->dtr_ = on;
  return true;
}

bool FakeSerialPort::setRts(bool on) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (!open_ || !line_->modemSupported_) return false;
  line_->rts_ = on;
  return true;
}

bool FakeSerialPort::modemStatus(ModemStatus& status) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  ++line_->modemStatusCalls_;
  if (!open_ || !line_->modemSupported_) return false;
  if (line_->modemFailures_ > 0) {
    --line_->modemFailures_;
    return false;
  }
  status = ModemStatus{};
  status.carrier = line_->carrier_;
  return true;
}

bool FakeSerialPort::setBaudRate(int rate) {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  if (!open_ || rate <= 0) return false;
  line_->baudRate_ = rate;
  return true;
}

int FakeSerialPort::baudRate() const {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  return line_->baudRate_;
}

size_t FakeSerialPort::bytesWaiting() {
  std::lock_guard<std::mutex> lock(line_->mutex_);
  return open_ ? line_->incoming_.size() : 0;
}

ScopedFakePort::ScopedFakePort(std::string device, std::shared_ptr<FakeLine> line)
    : device_(std::move(device)) {
  registerInProcessPort(device_, [line](const std::string& name) -> std::unique_ptr<SerialPort> {
    return std::make_unique<FakeSerialPort>(name, line);
  });
}

ScopedFakePort::~ScopedFakePort() {
  unregisterInProcessPort(device_);
}

}  // namespace axtune::testing
