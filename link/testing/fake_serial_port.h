// A scripted serial port for unit tests. It never waits: a read takes what the script has made
// available and reports the rest as a timeout at once, so a silent or short reply costs nothing.
//
//   auto line = std::make_shared<FakeLine>();
//   ScopedFakePort port("fake-drive", line);       // createSerialPort("fake-drive") now serves it
//   line->expect({0x0F, 0x05}, replyBytes);        // reply becomes readable once the request is written
//   OpenLink("fake-drive"); ReadRecord(5, words);
//   EXPECT_TRUE(line->allExpectationsMet()) << line->mismatches();
//
// A FakeLine is the drive's side of the line; each FakeSerialPort opened on it is the host's side.
// All of it is safe to use from two threads (the carrier watcher polls the modem lines).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace axtune::testing {

using Bytes = std::vector<uint8_t>;

class FakeLine {
 public:
  // Bytes the drive sends as soon as they are asked for (stale frames, unsolicited noise).
  void feed(const Bytes& bytes);
  // One scripted step: when the host has written `request`, `reply` becomes readable. Steps run in
  // order; a write that differs from the step's request is recorded as a mismatch.
  void expect(const Bytes& request, const Bytes& reply = {});
  // Called with every write that no scripted step is waiting for; its result becomes readable.
  void setResponder(std::function<Bytes(const Bytes& written)> responder);
  // Drops unread bytes, pending steps, logs and counters (the line's settings stay).
  void reset();

  // Everything the host wrote, as one stream and as the individual write calls.
  Bytes written() const;
  std::vector<Bytes> writeCalls() const;
  void clearWritten();
  // Bytes the drive has made available and the host has not read yet.
  size_t pendingBytes() const;
  bool allExpectationsMet() const;
  std::string mismatches() const;
  // Reads that got fewer bytes than requested (each would have waited for its timeout).
  int timeouts() const;
  int reads() const;
  size_t bytesRead() const;
  // The port's clock: it stands still while bytes are there and moves by a read's whole total
  // timeout when the read comes back short (what a real port would have waited).
  uint64_t clockUs() const;
  void advanceClockUs(uint64_t microseconds);
  // Reads that came back short, with the total timeout (ms) each was given.
  std::vector<uint32_t> timedOutReadBudgetsMs() const;

  // Line behaviour.
  void failNextOpen(PortOpenError error, const std::string& text);
  void setModemStatusSupported(bool supported);  // false: like a pseudo-terminal
  // The next `count` modem-status reads fail, as a read can while the port's error state is set.
  void failModemStatusReads(int count);
  void setCarrier(bool on);
  bool dtr() const;
  int baudRate() const;  // the rate the port was opened at or last set to (also from a responder)
  bool rts() const;
  // Simulates a line error under abort-on-error: reads and writes fail until clearErrors().
  void raiseLineError();
  void setCloseFails(bool fails);
  int opens() const;
  int closes() const;
  int clearErrorCalls() const;
  int modemStatusCalls() const;
  bool isOpen() const;
  SerialSettings lastSettings() const;
  SerialTimeouts lastTimeouts() const;

 private:
  friend class FakeSerialPort;
  void onWrite(const uint8_t* data, size_t n);

  mutable std::mutex mutex_;
  std::deque<uint8_t> incoming_;
  struct Step {
    Bytes request;
    Bytes reply;
    size_t matched = 0;
  };
  std::deque<Step> steps_;
  std::function<Bytes(const Bytes&)> responder_;
  Bytes written_;
  std::vector<Bytes> writeCalls_;
  std::string mismatches_;
  int timeouts_ = 0;
  int reads_ = 0;
  size_t bytesRead_ = 0;
  uint64_t clockUs_ = 0;
  std::vector<uint32_t> timedOutBudgets_;

  PortOpenError nextOpenError_ = PortOpenError::None;
  std::string nextOpenErrorText_;
  bool modemSupported_ = true;
  int modemFailures_ = 0;
  bool carrier_ = false;
  bool dtr_ = false;
  bool rts_ = false;
  bool lineError_ = false;
  bool closeFails_ = false;
  bool open_ = false;
  int opens_ = 0;
  int closes_ = 0;
  int clearErrorCalls_ = 0;
  int modemStatusCalls_ = 0;
  SerialSettings settings_;
  SerialTimeouts lineTimeouts_;
  std::atomic<int> baudRate_{0};  // read without the lock: responders run while it is held
};

class FakeSerialPort final : public SerialPort {
 public:
  FakeSerialPort(std::string device, std::shared_ptr<FakeLine> line);
  ~FakeSerialPort() override;

  bool open(const SerialSettings& settings) override;
  bool close() override;
  bool isOpen() const override { return open_; }
  bool setTimeouts(const SerialTimeouts& timeouts) override;
  size_t read(uint8_t* buffer, size_t n) override;
  size_t write(const uint8_t* data, size_t n) override;
  bool purge() override;
  bool clearErrors() override;
  bool setDtr(bool on) override;
  bool setRts(bool on) override;
  bool modemStatus(ModemStatus& status) override;
  bool setBaudRate(int rate) override;
  int baudRate() const override;
  size_t bytesWaiting() override;
  uint64_t clockUs() override { return line_->clockUs(); }
  std::string deviceName() const override { return device_; }
  PortOpenError lastOpenError() const override { return openError_; }
  std::string lastErrorText() const override { return errorText_; }

  FakeLine& line() { return *line_; }

 private:
  std::string device_;
  std::shared_ptr<FakeLine> line_;
  bool open_ = false;
  PortOpenError openError_ = PortOpenError::None;
  std::string errorText_;
};

// Registers `device` as an in-process port served by `line` for the lifetime of this object.
class ScopedFakePort {
 public:
  ScopedFakePort(std::string device, std::shared_ptr<FakeLine> line);
  ~ScopedFakePort();
  ScopedFakePort(const ScopedFakePort&) = delete;
  ScopedFakePort& operator=(const ScopedFakePort&) = delete;
  const std::string& device() const { return device_; }

 private:
  std::string device_;
};

}  // namespace axtune::testing
