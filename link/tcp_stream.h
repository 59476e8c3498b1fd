// One TCP connection to a device server, as the network serial port needs it: connect within a
// time limit, Nagle off, sends and receives that wait at most as long as they are told, and a way to
// wake a receive blocked on another thread. POSIX sockets in tcp_stream_posix.cpp, Winsock in
// tcp_stream_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace axtune {

enum class ConnectError {
  None,
  UnknownHost,  // the name does not resolve
  Refused,      // the host answered, nothing listens on the port
  Unreachable,  // no route to the host or network
  TimedOut,     // no answer within the time limit
  Other,
};

class TcpStream {
 public:
  TcpStream() = default;
  ~TcpStream();
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  // Resolves `host` and connects to each of its addresses in turn until one answers, all within
  // `timeoutMs`. On failure `error` and `text` (the system's words) say why and nothing stays open.
  bool connect(const std::string& host, uint16_t port, int timeoutMs, ConnectError& error, std::string& text);
  bool isOpen() const;

  // Sends all n bytes, waiting at most `timeoutMs` for room; returns how many went out (fewer when
  // the time ran out or the connection broke).
  size_t send(const uint8_t* data, size_t n, int timeoutMs);
  // Waits at most `waitMs` (negative: no limit) for bytes. Returns how many were read, 0 when none
  // came in time, -1 when the peer closed the connection or it failed.
  long receive(uint8_t* buffer, size_t n, int waitMs);
  // Ends both directions: a receive() waiting on another thread returns -1 at once.
  void shutdown();
  void close();

 private:
  // The socket (a file descriptor or a Winsock SOCKET); kNoSocket when closed.
  static constexpr uintptr_t kNoSocket = ~uintptr_t{0};
  uintptr_t socket_ = kNoSocket;
};

}  // namespace axtune
