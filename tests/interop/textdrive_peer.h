// The reference drive written apart from this project (../shared/peers/textdrive.py), run as a child
// process on a pseudo-terminal or as an RFC 2217 server, for the tests that claim interoperability.
// It varies every reply content the protocol leaves open (--open echo|zeros|sdo|random, --seed) and
// logs every request as one JSON object per line; the tests assert on that log (what the drive got)
// and on what our programs said.
//
// One process per style serves every test of a test program (starting Python costs more than most
// tests), so a test reads only the log lines written since its own mark and never assumes the drive's
// values from an earlier test.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/cli/json_reader.h"

namespace axtune::interop {

using cli::testing::JsonValue;

struct PeerStyle {
  const char* open;  // echo, zeros, sdo, random
  int seed;
  bool rfc2217;   // an RFC 2217 server on an ephemeral port, else a pseudo-terminal
  int fault = 0;  // non-zero: the drive starts (and restarts) in fault with this error number
};
// The same style with a drive that starts in fault.
PeerStyle InFault(PeerStyle style, int errorNumber);
// Every style the tests run in: the four open styles (random with two seeds), each on a pty and over
// RFC 2217.
std::vector<PeerStyle> AllPeerStyles();
// "echo_pty", "random7_rfc2217": a test name suffix.
std::string PeerStyleName(const PeerStyle& style);

// Where the reference drive is; empty when it is absent (the tests then skip and say so).
std::string TextDriveScript();
// The sentence a skipped test gives.
std::string TextDriveAbsentReason();

class TextDrive {
 public:
  // The running drive of this style, started on first use and ended when the program ends; null
  // (with `why` set) when it cannot be started.
  static TextDrive* For(const PeerStyle& style, std::string* why);

  ~TextDrive();
  TextDrive(const TextDrive&) = delete;
  TextDrive& operator=(const TextDrive&) = delete;

  // What our programs open: /dev/pts/N or rfc2217://127.0.0.1:PORT.
  const std::string& device() const { return device_; }
  const PeerStyle& style() const { return style_; }

  // RFC 2217: waits (up to 5 s) until the drive has seen every client hang up. It serves one client
  // at a time and notices a hang-up on its next look at the socket, so a program that connects
  // again at once would be turned away as a second client. Nothing to wait for on a pty.
  void awaitNoClient() const;

  // Waits (up to 5 s) until the drive's last state change is `state`, doing `nudge` once first and
  // again each time the state is another (a request that moves the drive towards it).
  void awaitState(const std::string& state, const std::function<void()>& nudge) const;

  // The number of log lines so far: a test's mark.
  size_t mark() const;
  // The log entries after `mark`, only those of `kind` when it is not empty.
  std::vector<JsonValue> since(size_t mark, const std::string& kind = {}) const;

 private:
  explicit TextDrive(const PeerStyle& style) : style_(style) {}
  bool start(std::string* why);
  std::vector<std::string> lines() const;

  PeerStyle style_;
  pid_t pid_ = -1;
  std::string device_;
  std::string logPath_;
};

// Reads the log entries of one kind with field `field` equal to `value`.
std::vector<JsonValue> Where(const std::vector<JsonValue>& entries, const std::string& field,
                             long long value);

}  // namespace axtune::interop
