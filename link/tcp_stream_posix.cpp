#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/tcp_stream.h"

namespace axtune {
namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

ConnectError classify(int error) {
  switch (error) {
    case ECONNREFUSED:
      return ConnectError::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
      return ConnectError::Unreachable;
    case ETIMEDOUT:
      return ConnectError::TimedOut;
    default:
      return ConnectError::Other;
  }
}

int fd(uintptr_t socket) {
  return static_cast<int>(socket);
}

}  // namespace

TcpStream::~TcpStream() {
  close();
}

bool TcpStream::isOpen() const {
  return socket_ != kNoSocket;
}

bool TcpStream::connect(const std::string& host, uint16_t port, int timeoutMs, ConnectError& error,
                        std::string& text) {
  close();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int resolved = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (resolved != 0) {
    error = resolved == EAI_SYSTEM ? ConnectError::Other : ConnectError::UnknownHost;
    text = resolved == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(resolved);
    return false;
  }
  error = ConnectError::Other;
  text = "no address to connect to";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (s < 0) {
      error = ConnectError::Other;
      text = std::strerror(errno);
      continue;
    }
    int result = ::connect(s, a->ai_addr, a->ai_addrlen);
    int failure = result == 0 ? 0 : errno;
    if (failure == EINPROGRESS || failure == EINTR) {
      pollfd p{s, POLLOUT, 0};
      int ready = 0;
      do {
        ready = ::poll(&p, 1, millisecondsLeft(deadline));
      } while (ready < 0 && errno == EINTR);
      if (ready <= 0) {
        failure = ready == 0 ? ETIMEDOUT : errno;
      } else {
        socklen_t size = sizeof failure;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &failure, &size) != 0) failure = errno;
      }
    }
    if (failure == 0) {
      const int on = 1;
      ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // requests are small and wait for answers
      socket_ = static_cast<uintptr_t>(s);
      ::freeaddrinfo(found);
      error = ConnectError::None;
      text.clear();
      return true;
    }
    ::close(s);
    error = classify(failure);
    text = failure == ETIMEDOUT ? "no answer within " + std::to_string(timeoutMs) + " ms"
                                : std::strerror(failure);
    if (millisecondsLeft(deadline) == 0) break;
  }
  ::freeaddrinfo(found);
  return false;
}

size_t TcpStream::send(const uint8_t* data, size_t n, int timeoutMs) {
  if (!isOpen() || data == nullptr) return 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  size_t sent = 0;
  while (sent < n) {
    // MSG_NOSIGNAL: a closed peer gives EPIPE here instead of killing the process with SIGPIPE.
    const ssize_t r = ::send(fd(socket_), data + sent, n - sent, MSG_NOSIGNAL);
    if (r > 0) {
      sent += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    pollfd p{fd(socket_), POLLOUT, 0};
    const int ready = ::poll(&p, 1, millisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (p.revents & POLLOUT) == 0) break;
  }
  return sent;
}

long TcpStream::receive(uint8_t* buffer, size_t n, int waitMs) {
  if (!isOpen() || buffer == nullptr || n == 0) return -1;
  pollfd p{fd(socket_), POLLIN, 0};
  int ready = 0;
  do {
    ready = ::poll(&p, 1, waitMs < 0 ? -1 : waitMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return -1;
  if (ready == 0) return 0;
  for (;;) {
    const ssize_t r = ::recv(fd(socket_), buffer, n, 0);
    if (r > 0) {
#ifdef TCP_QUICKACK
      // Acknowledge at once, every time (the kernel falls back to delayed acknowledgements): a
      // device server that keeps Nagle's algorithm on (ser2net does by default) holds its next small
      // packet until this one is acknowledged, which would add up to 40 ms to every kernel packet's
      // answer.
      const int on = 1;
      ::setsockopt(fd(socket_), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
      return static_cast<long>(r);
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return -1;  // 0: the peer closed; anything else: the connection failed
  }
}

void TcpStream::shutdown() {
  if (isOpen()) ::shutdown(fd(socket_), SHUT_RDWR);
}

void TcpStream::close() {
  if (!isOpen()) return;
  ::close(fd(socket_));
  socket_ = kNoSocket;
}

}  // namespace axtune
