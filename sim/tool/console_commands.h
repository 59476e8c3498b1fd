// The console of qmx-sim: lines on standard input that act on the running drive ("unplug",
// "power cycle", "fault following", "status", ...), shared by its pseudo-terminal and network servers.
#pragma once

#include <functional>
#include <string>

#include "sim/simulated_drive.h"

namespace axtune::sim {

// Runs one console line on the drive; false when the line asks to quit.
bool RunConsoleCommand(SimulatedDrive& drive, const std::string& line);

// Console lines arriving on a descriptor in pieces.
class ConsoleInput {
 public:
  explicit ConsoleInput(int fd) : fd_(fd) {}
  // The descriptor to wait on; -1 once the input has ended (the server keeps serving then).
  int fd() const { return fd_; }
  // Reads what is there and runs each complete line; false when a line asked to quit.
  bool pump(SimulatedDrive& drive);
  // A server's own commands: a line the handler takes (returns true for) does not reach the drive.
  void setHandler(std::function<bool(const std::string&)> handler) { handler_ = std::move(handler); }

 private:
  int fd_;
  std::function<bool(const std::string&)> handler_;
  std::string pending_;
};

}  // namespace axtune::sim
