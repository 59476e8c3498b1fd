// Serves a simulated drive on a pseudo-terminal: bytes the host writes to the terminal reach the
// drive, and the drive's reply bytes are written back when the line model says they arrive.
#pragma once

#include <csignal>
#include <string>

#include "sim/simulated_drive.h"

namespace axtune::sim {

class PtyServer {
 public:
  explicit PtyServer(SimulatedDrive& drive) : drive_(drive) {}
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Creates the pseudo-terminal; false with `error` set when the system refuses.
  bool open(std::string& error);
  const std::string& devicePath() const { return path_; }

  // Serves until `stop` becomes non-zero (set from a signal handler). `powerCycle` is a request
  // from SIGUSR1. Console commands are read from `commandFd` (-1: none); a "quit" ends the loop.
  void run(volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t& powerCycle, int commandFd,
           bool quiet);

 private:
  void pollBaudRate();

  SimulatedDrive& drive_;
  int master_ = -1;
  int slave_ = -1;  // held open so the terminal survives the host closing it
  std::string path_;
  int baud_ = 38400;
};

// The baud rate a termios speed constant stands for (0 when unknown).
int BaudFromSpeed(unsigned speed);

}  // namespace axtune::sim
