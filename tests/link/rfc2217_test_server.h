// A small RFC 2217 server on loopback for the network port's tests: it records every byte the
// client sends, answers negotiation and com port commands as its mode says, and sends what the test
// tells it to. One client at a time; it serves the next after the first has gone.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/rfc2217_protocol.h"

namespace axtune::test {

using Bytes = std::vector<uint8_t>;

class Rfc2217TestServer : private rfc2217::TelnetEvents {
 public:
  enum class Mode {
    Rfc2217,        // agrees to com port control and answers every command with its value
    RefuseComPort,  // answers WILL COM-PORT-OPTION with DONT
    Banner,         // a server of something else: says hello and ignores everything
    BusyAndClose,   // says it is busy and hangs up at once
  };

  explicit Rfc2217TestServer(Mode mode = Mode::Rfc2217) : mode_(mode) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listener_, 4) != 0)
      return;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    if (::pipe(wake_) != 0) return;
    thread_ = std::thread([this] { run(); });
  }

  ~Rfc2217TestServer() override {
    if (thread_.joinable()) {
      const char stop = 's';
      [[maybe_unused]] ssize_t n = ::write(wake_[1], &stop, 1);
      thread_.join();
    }
    for (int fd : {listener_, client_, wake_[0], wake_[1]}) {
      if (fd >= 0) ::close(fd);
    }
  }

  std::string url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
  uint16_t port() const { return port_; }

  // The rate the server claims to have set, whatever the client asked (0: echo the request).
  void answerRatesWith(uint32_t rate) { answerRate_ = rate; }
  // Keeps the server from answering com port commands (it still agrees to the option).
  void stopAnswering() { answering_ = false; }
  // Leaves one com port command unanswered, as servers do with the ones the RFC leaves to them
  // (pyserial's example server and ser2net never answer SET-MODEMSTATE-MASK).
  void neverAnswer(uint8_t code) { unanswered_ = code; }

  Bytes raw() {
    std::lock_guard<std::mutex> lock(mutex_);
    return raw_;
  }
  Bytes data() {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
  }
  void clearRecords() {
    std::lock_guard<std::mutex> lock(mutex_);
    raw_.clear();
    data_.clear();
  }
  int connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
  }

  // Raw bytes to the client (already encoded).
  void send(const Bytes& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (client_ < 0) return;
    [[maybe_unused]] const ssize_t n = ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  void sendData(const Bytes& data) {
    Bytes escaped;
    rfc2217::AppendEscaped(escaped, data.data(), data.size());
    send(escaped);
  }
  void notifyModemState(uint8_t lines) {
    Bytes out;
    rfc2217::AppendComPortCommand(out, rfc2217::kNotifyModemState + rfc2217::kServerOffset, lines);
    send(out);
  }
  // Hangs up on the current client.
  void closeClient() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (client_ >= 0) ::shutdown(client_, SHUT_RDWR);
  }

  // Waits (a guard against a hang, not a timing check) until `done` holds for the records.
  bool waitFor(const std::function<bool(const Bytes& raw, const Bytes& data)>& done) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return done(raw_, data_); });
  }

 private:
  void run() {
    while (true) {
      pollfd fds[3] = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}, {client_, POLLIN, 0}};
      if (::poll(fds, 3, -1) < 0) continue;
      if (fds[0].revents) return;
      if (fds[2].revents) serveClient();
      if ((fds[1].revents & POLLIN) && client_ < 0) acceptClient();
    }
  }

  void acceptClient() {
    const int incoming = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (incoming < 0) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      client_ = incoming;
      ++connections_;
      decoder_.reset();
      options_ = rfc2217::OptionNegotiator();
      options_.acceptLocal(rfc2217::kOptionBinary);
      options_.acceptLocal(rfc2217::kOptionSuppressGoAhead);
      options_.acceptRemote(rfc2217::kOptionBinary);
      options_.acceptRemote(rfc2217::kOptionSuppressGoAhead);
      if (mode_ == Mode::Rfc2217) options_.acceptRemote(rfc2217::kOptionComPort);
    }
    if (mode_ == Mode::Banner)
      send(Bytes{'S', 'S', 'H', '-', '2', '.', '0', '-', 't', 'e', 's', 't', '\r', '\n'});
    if (mode_ == Mode::BusyAndClose) {
      send(Bytes{'P', 'o', 'r', 't', ' ', 'i', 'n', ' ', 'u', 's', 'e', '\r', '\n'});
      dropClient();
    }
  }

  void dropClient() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (client_ >= 0) ::close(client_);
    client_ = -1;
    changed_.notify_all();
  }

  void serveClient() {
    uint8_t buffer[4096];
    const ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      dropClient();
      return;
    }
    out_.clear();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (mode_ != Mode::Banner) decoder_.feed(buffer, static_cast<size_t>(n), *this);
    }
    if (!out_.empty()) send(out_);
    {
      // Recorded once answered: a test that waits for a command knows that its answer went out.
      std::lock_guard<std::mutex> lock(mutex_);
      raw_.insert(raw_.end(), buffer, buffer + n);
    }
    changed_.notify_all();
  }

  // Called with mutex_ held.
  void onData(const uint8_t* data, size_t n) override { data_.insert(data_.end(), data, data + n); }
  void onNegotiation(uint8_t verb, uint8_t option) override {
    if (mode_ == Mode::RefuseComPort && option == rfc2217::kOptionComPort && verb == rfc2217::kWill) {
      rfc2217::AppendNegotiation(out_, rfc2217::kDont, option);
      return;
    }
    options_.receive(verb, option, out_);
  }
  void onSubnegotiation(uint8_t option, const uint8_t* data, size_t n) override {
    if (option != rfc2217::kOptionComPort || n == 0 || !answering_ || data[0] == unanswered_) return;
    const uint8_t answer = static_cast<uint8_t>(data[0] + rfc2217::kServerOffset);
    if (data[0] == rfc2217::kSetBaudRate && answerRate_ != 0) {
      rfc2217::AppendComPortCommand32(out_, answer, answerRate_);
    } else {
      rfc2217::AppendComPortCommand(out_, answer, data + 1, n - 1);
    }
  }

  const Mode mode_;
  int listener_ = -1;
  int client_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<uint32_t> answerRate_{0};
  std::atomic<bool> answering_{true};
  std::atomic<int> unanswered_{-1};
  std::mutex mutex_;
  std::condition_variable changed_;
  rfc2217::TelnetDecoder decoder_;
  rfc2217::OptionNegotiator options_;
  Bytes raw_;
  Bytes data_;
  Bytes out_;  // owned by the server thread
  int connections_ = 0;
};

}  // namespace axtune::test
