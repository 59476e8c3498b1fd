#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // WSAPoll
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <mutex>
#include <string>

#include "link/tcp_stream.h"

namespace axtune {
namespace {

using Clock = std::chrono::steady_clock;

void startWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

int millisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

std::string systemText(int error) {
  char buffer[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(error), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text.empty() ? "Winsock error " + std::to_string(error) : text;
}

ConnectError classify(int error) {
  switch (error) {
    case WSAECONNREFUSED:
      return ConnectError::Refused;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN:
      return ConnectError::Unreachable;
    case WSAETIMEDOUT:
      return ConnectError::TimedOut;
    default:
      return ConnectError::Other;
  }
}

SOCKET sock(uintptr_t socket) {
  return static_cast<SOCKET>(socket);
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
  startWinsock();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (resolved != 0) {
    error = ConnectError::UnknownHost;
    text = systemText(resolved);
    return false;
  }
  error = ConnectError::Other;
  text = "no address to connect to";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      text = systemText(WSAGetLastError());
      continue;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    int failure = 0;
    if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      failure = WSAGetLastError();
      if (failure == WSAEWOULDBLOCK) {
        WSAPOLLFD p{};
        p.fd = s;
        p.events = POLLOUT;
        const int ready = WSAPoll(&p, 1, millisecondsLeft(deadline));
        if (ready == 0) {
          failure = WSAETIMEDOUT;
        } else if (ready < 0) {
          failure = WSAGetLastError();
        } else {
          int size = sizeof failure;
          failure = 0;
          if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &size) != 0) {
            failure = WSAGetLastError();
          }
        }
      }
    }
    if (failure == 0) {
      const BOOL on = TRUE;
      setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
      socket_ = static_cast<uintptr_t>(s);
      freeaddrinfo(found);
      error = ConnectError::None;
      text.clear();
      return true;
    }
    closesocket(s);
    error = classify(failure);
    text = failure == WSAETIMEDOUT ? "no answer within " + std::to_string(timeoutMs) + " ms"
                                   : systemText(failure);
    if (millisecondsLeft(deadline) == 0) break;
  }
  freeaddrinfo(found);
  return false;
}

size_t TcpStream::send(const uint8_t* data, size_t n, int timeoutMs) {
  if (!isOpen() || data == nullptr) return 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  size_t sent = 0;
  while (sent < n) {
    const size_t chunk = n - sent > 65536 ? 65536 : n - sent;
    const int r =
        ::send(sock(socket_), reinterpret_cast<const char*>(data + sent), static_cast<int>(chunk), 0);
    if (r > 0) {
      sent += static_cast<size_t>(r);
      continue;
    }
    if (r == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) break;
    WSAPOLLFD p{};
    p.fd = sock(socket_);
    p.events = POLLOUT;
    const int ready = WSAPoll(&p, 1, millisecondsLeft(deadline));
    if (ready <= 0 || (p.revents & POLLOUT) == 0) break;
  }
  return sent;
}

long TcpStream::receive(uint8_t* buffer, size_t n, int waitMs) {
  if (!isOpen() || buffer == nullptr || n == 0) return -1;
  WSAPOLLFD p{};
  p.fd = sock(socket_);
  p.events = POLLRDNORM;
  const int ready = WSAPoll(&p, 1, waitMs < 0 ? -1 : waitMs);
  if (ready < 0) return -1;
  if (ready == 0) return 0;
  const int chunk = n > 65536 ? 65536 : static_cast<int>(n);
  const int r = recv(sock(socket_), reinterpret_cast<char*>(buffer), chunk, 0);
  if (r > 0) return r;
  if (r == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
  return -1;
}

void TcpStream::shutdown() {
  if (isOpen()) ::shutdown(sock(socket_), SD_BOTH);
}

void TcpStream::close() {
  if (!isOpen()) return;
  closesocket(sock(socket_));
  socket_ = kNoSocket;
}

}  // namespace axtune
