// A serial port on a device server, reached over TCP with the Telnet com port control option
// (RFC 2217): "rfc2217://HOST:PORT" wherever a device name is taken.
//
// Opening connects, negotiates binary transfer both ways, suppressed go-ahead and com port control,
// then sets the rate, 8N1, no flow control, DTR and RTS, and asks to be told about the modem lines;
// it succeeds once the server has confirmed the rate. Reads and writes keep the total-timeout rules
// of the local ports. A receiving thread takes the server's bytes as they come, so the carrier is
// current whenever it is asked for and a lost connection ends every wait at once: transfers then
// fail and the carrier reads as unknown.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/rfc2217_protocol.h"
#include "link/serial_port.h"
#include "link/tcp_stream.h"

namespace axtune {

// True for names of the form "rfc2217://..." (any case of the scheme).
bool IsRfc2217Name(const std::string& device);
// Splits "rfc2217://HOST:PORT" (HOST may be "[v6 address]", a trailing "/" is allowed); false with
// `error` set when the name does not have that form.
bool ParseRfc2217Name(const std::string& device, std::string& host, uint16_t& port, std::string& error);

// How long opening waits for the connection and for the server's answers, and how long a rate
// change or a purge waits for its confirmation. Tests shorten them.
struct Rfc2217Patience {
  int connectMs = 5000;
  int answerMs = 5000;
};
void SetRfc2217Patience(const Rfc2217Patience& patience);
Rfc2217Patience GetRfc2217Patience();

class Rfc2217SerialPort final : public SerialPort {
 public:
  explicit Rfc2217SerialPort(std::string device);
  ~Rfc2217SerialPort() override;
  Rfc2217SerialPort(const Rfc2217SerialPort&) = delete;
  Rfc2217SerialPort& operator=(const Rfc2217SerialPort&) = delete;

  bool open(const SerialSettings& settings) override;
  bool close() override;
  bool isOpen() const override;

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

  // The connection is up (open and not lost): what a hand-over to the next owner needs.
  bool connectionAlive() const;
  // The DTR level last sent to the server.
  bool dtrLevel() const;

  std::string deviceName() const override { return device_; }
  PortOpenError lastOpenError() const override { return openError_; }
  std::string lastErrorText() const override { return errorText_; }

 private:
  bool failOpen(PortOpenError error, const std::string& text);
  void receiveLoop();
  // Sends protocol bytes (already encoded); false when the connection is gone.
  bool sendEncoded(const std::vector<uint8_t>& bytes, int timeoutMs);
  // Waits until `done` holds (called with the lock held), the connection is lost, or the time is up.
  template <typename Done>
  bool waitFor(std::unique_lock<std::mutex>& lock, int timeoutMs, Done done);
  std::string receivedText();    // what a server that does not negotiate said, for the error message
  void expireUnansweredPurge();  // with mutex_ held

  const std::string device_;
  std::string host_;
  uint16_t tcpPort_ = 0;
  TcpStream stream_;
  std::thread receiver_;
  std::mutex sendMutex_;  // the receiving thread answers the server while another thread writes

  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable changed_;
  rfc2217::ClientSession session_;
  std::deque<uint8_t> received_;
  bool open_ = false;
  bool lost_ = false;      // the server closed the connection or it failed
  bool stopping_ = false;  // close() is ending the receiving thread
  int baudRate_ = 0;
  bool dtr_ = false;
  bool purgeUnanswered_ = false;                       // the server once let a purge go unanswered
  std::chrono::steady_clock::time_point purgeSentAt_;  // the oldest purge still unanswered
  SerialTimeouts timeouts_;
  PortOpenError openError_ = PortOpenError::None;
  std::string errorText_;
};

}  // namespace axtune
