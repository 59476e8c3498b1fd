// Serves a simulated drive to one network client at a time as an RFC 2217 device server: the client
// sees a serial port with a carrier that follows the cable and the power, a DTR line that resets the
// processor, a rate that the drive hears, and purge. A second client is told that the drive is taken
// and disconnected.
#pragma once

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "sim/simulated_drive.h"
#include "sim/tool/rfc2217_drive_session.h"

namespace axtune::sim {

class Rfc2217Server {
 public:
  explicit Rfc2217Server(SimulatedDrive& drive);
  ~Rfc2217Server();
  Rfc2217Server(const Rfc2217Server&) = delete;
  Rfc2217Server& operator=(const Rfc2217Server&) = delete;

  // Listens on "[ADDR:]PORT": ADDR defaults to 127.0.0.1 (loopback only), "[::1]" for IPv6, and
  // PORT 0 takes a free port. False with `error` set when the address is bad or taken.
  bool open(const std::string& where, std::string& error);
  // "rfc2217://ADDR:PORT" with the port actually bound.
  const std::string& url() const { return url_; }

  // The one client slot comes free by itself: a client that has not taken com port control
  // (RFC 2217 negotiation) within `negotiationMs`, or that has sent nothing for `idleMs` (0: never),
  // is disconnected. Defaults: 5 s and 10 minutes.
  void setClientTimeouts(uint32_t negotiationMs, uint32_t idleMs);
  // Where device servers differ (DTR on connect and leave, the modem-state mask's answer).
  void setStyle(const Rfc2217ServerStyle& style) { style_ = style; }

  // Serves until `stop` becomes non-zero, as PtyServer::run does (console on `commandFd`).
  void run(volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t& powerCycle, int commandFd,
           bool quiet);

 private:
  void acceptClient(bool quiet);
  // Reads what the client sent; false when it has gone.
  bool serviceClient();
  void endClient(bool quiet);
  bool flush();  // false when the client cannot be written to any more

  // Drops a client that did not negotiate in time or has been silent too long.
  void expireClient(bool quiet);

  SimulatedDrive& drive_;
  Rfc2217ServerStyle style_;
  uint32_t negotiationMs_ = 5000;
  uint32_t idleMs_ = 600000;
  uint64_t connectedAtMs_ = 0;  // steady clock
  uint64_t lastHeardMs_ = 0;
  int listener_ = -1;
  int client_ = -1;
  std::unique_ptr<Rfc2217DriveSession> session_;
  std::vector<uint8_t> outgoing_;
  std::string url_;
};

// Splits "[ADDR:]PORT"; false with `error` set when it does not have that form.
bool ParseListenAddress(const std::string& where, std::string& address, int& port, std::string& error);

}  // namespace axtune::sim
