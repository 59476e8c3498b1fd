#include "sim/tool/rfc2217_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "sim/tool/console_commands.h"
#include "sim/tool/rfc2217_drive_session.h"

namespace axtune::sim {
namespace {

constexpr size_t kMaxOutgoing = 4 << 20;  // a client this far behind is not reading any more

uint64_t steadyMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void setNoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

bool ParseListenAddress(const std::string& where, std::string& address, int& port, std::string& error) {
  std::string number = where;
  address = "127.0.0.1";
  const size_t colon = where.rfind(':');
  if (colon != std::string::npos) {
    address = where.substr(0, colon);
    number = where.substr(colon + 1);
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
      address = address.substr(1, address.size() - 2);
    }
    if (address.empty()) {
      error = "the address before ':' is empty (write [ADDR:]PORT, for example 4001 or 0.0.0.0:4001)";
      return false;
    }
  }
  if (number.empty() || number.size() > 5 ||
      !std::all_of(number.begin(), number.end(), [](unsigned char c) { return c >= '0' && c <= '9'; }) ||
      std::stoi(number) > 65535) {
    error = "'" + number + "' is not a TCP port (0..65535; 0 takes a free one)";
    return false;
  }
  port = std::stoi(number);
  return true;
}

Rfc2217Server::Rfc2217Server(SimulatedDrive& drive) : drive_(drive) {}

void Rfc2217Server::setClientTimeouts(uint32_t negotiationMs, uint32_t idleMs) {
  negotiationMs_ = negotiationMs;
  idleMs_ = idleMs;
}

void Rfc2217Server::expireClient(bool quiet) {
  const uint64_t now = steadyMs();
  if (!session_->negotiated() && now - connectedAtMs_ >= negotiationMs_) {
    // Most likely a person with a plain TCP tool: tell them why.
    const std::string text = "qmx-sim: no RFC 2217 com port negotiation within " +
                             std::to_string(negotiationMs_) + " ms; closing the connection.\r\n";
    (void)!::send(client_, text.data(), text.size(), MSG_NOSIGNAL);
    if (!quiet) std::fprintf(stderr, "qmx-sim: dropped a client that did not negotiate\n");
    endClient(quiet);
  } else if (idleMs_ > 0 && now - lastHeardMs_ >= idleMs_) {
    if (!quiet) std::fprintf(stderr, "qmx-sim: dropped a client silent for %u ms\n", idleMs_);
    endClient(quiet);
  }
}

Rfc2217Server::~Rfc2217Server() {
  session_.reset();
  if (client_ >= 0) ::close(client_);
  if (listener_ >= 0) ::close(listener_);
}

bool Rfc2217Server::open(const std::string& where, std::string& error) {
  std::string address;
  int port = 0;
  if (!ParseListenAddress(where, address, port, error)) return false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int resolved = ::getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (resolved != 0) {
    error = "cannot listen on " + address + ": " + ::gai_strerror(resolved);
    return false;
  }
  error = "cannot listen on " + where;
  for (addrinfo* a = found; a != nullptr && listener_ < 0; a = a->ai_next) {
    const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (s < 0) continue;
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(s, a->ai_addr, a->ai_addrlen) != 0 || ::listen(s, 4) != 0) {
      error = "cannot listen on " + address + " port " + std::to_string(port) + ": " + std::strerror(errno);
      ::close(s);
      continue;
    }
    listener_ = s;
  }
  ::freeaddrinfo(found);
  if (listener_ < 0) return false;

  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &size);
  char host[NI_MAXHOST] = {};
  char service[NI_MAXSERV] = {};
  ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), size, host, sizeof host, service, sizeof service,
                NI_NUMERICHOST | NI_NUMERICSERV);
  std::string shown = host;
  // Listening on every address: the URL names the loopback one, which always reaches it.
  if (shown == "0.0.0.0") shown = "127.0.0.1";
  if (shown == "::") shown = "::1";
  if (shown.find(':') != std::string::npos) shown = "[" + shown + "]";
  url_ = std::string("rfc2217://") + shown + ":" + service;
  return true;
}

void Rfc2217Server::acceptClient(bool quiet) {
  const int incoming = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (incoming < 0) return;
  // A client that has just closed may not have been noticed yet: read what it left first.
  if (client_ >= 0 && !serviceClient()) endClient(quiet);
  if (client_ >= 0) {
    const std::string refusal =
        "qmx-sim: the simulated drive is in use by another client; close that connection first.\r\n";
    (void)!::send(incoming, refusal.data(), refusal.size(), MSG_NOSIGNAL);
    ::close(incoming);
    if (!quiet) std::fprintf(stderr, "qmx-sim: refused a second client\n");
    return;
  }
  auto session = std::make_unique<Rfc2217DriveSession>(drive_, style_);
  if (!session->claimed()) {
    ::close(incoming);
    return;
  }
  setNoDelay(incoming);
  client_ = incoming;
  session_ = std::move(session);
  outgoing_.clear();
  connectedAtMs_ = lastHeardMs_ = steadyMs();
  if (!quiet) std::fprintf(stderr, "qmx-sim: client connected\n");
}

bool Rfc2217Server::serviceClient() {
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
    if (n > 0) {
#ifdef TCP_QUICKACK
      // A client that keeps Nagle's algorithm on (a device server chained in front) is not held
      // back by delayed acknowledgements, as a UART is not.
      const int on = 1;
      ::setsockopt(client_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
      lastHeardMs_ = steadyMs();
      session_->receive(buffer, static_cast<size_t>(n), outgoing_);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

void Rfc2217Server::endClient(bool quiet) {
  session_.reset();  // releases the drive's host end
  if (client_ >= 0) ::close(client_);
  client_ = -1;
  outgoing_.clear();
  if (!quiet) std::fprintf(stderr, "qmx-sim: client disconnected\n");
}

bool Rfc2217Server::flush() {
  size_t sent = 0;
  while (sent < outgoing_.size()) {
    const ssize_t n = ::send(client_, outgoing_.data() + sent, outgoing_.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else {
      return false;
    }
  }
  outgoing_.erase(outgoing_.begin(), outgoing_.begin() + static_cast<std::ptrdiff_t>(sent));
  return outgoing_.size() < kMaxOutgoing;
}

void Rfc2217Server::run(volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t& powerCycle,
                        int commandFd, bool quiet) {
  // SIGINT, SIGTERM and SIGUSR1 are blocked except while waiting, so none slips between check and wait.
  sigset_t blocked, waiting;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGUSR1);
  sigprocmask(SIG_BLOCK, &blocked, &waiting);
  sigdelset(&waiting, SIGINT);
  sigdelset(&waiting, SIGTERM);
  sigdelset(&waiting, SIGUSR1);

  ConsoleInput console(commandFd);
  while (!stop) {
    if (powerCycle) {
      powerCycle = 0;
      drive_.powerCycle();
      if (!quiet) std::fprintf(stderr, "qmx-sim: power cycled\n");
    }
    const uint64_t now = drive_.nowUs();
    const uint64_t next = drive_.nextArrivalUs();
    // Wake when the next byte is due, and at least every 10 ms to follow the modem lines.
    const uint64_t waitUs = next <= now ? 0 : std::min<uint64_t>(next - now, 10000);
    timespec timeout{0, static_cast<long>(waitUs * 1000)};
    pollfd fds[3] = {{listener_, POLLIN, 0},
                     {client_, static_cast<short>(POLLIN | (outgoing_.empty() ? 0 : POLLOUT)), 0},
                     {console.fd(), POLLIN, 0}};
    const int count = ::ppoll(fds, 3, &timeout, &waiting);
    if (count < 0 && errno != EINTR) break;
    if (count > 0 && client_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      if (!serviceClient()) endClient(quiet);
    }
    if (count > 0 && (fds[0].revents & POLLIN)) acceptClient(quiet);
    if (count > 0 && console.fd() >= 0 && (fds[2].revents & (POLLIN | POLLHUP))) {
      if (!console.pump(drive_)) stop = 1;
    }
    if (client_ >= 0) {
      session_->poll(outgoing_);
      if (!flush()) endClient(quiet);
    }
    if (client_ >= 0) expireClient(quiet);
  }
  sigprocmask(SIG_SETMASK, &waiting, nullptr);
}

}  // namespace axtune::sim
