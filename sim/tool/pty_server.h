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
  // A symbolic link to the terminal that comes and goes with the adapter (below); made at once.
  bool setLink(const std::string& path);
  void removeLink();

  // A USB adapter pulled out: the host's terminal hangs up and the link goes. Plugged back in, the
  // adapter comes back as another terminal (another device name), and the link points at it again.
  void unplugAdapter();
  bool plugAdapter(std::string& error);
  bool adapterPlugged() const { return master_ >= 0; }
  // Handles "unplug", "replug"/"plug" as the adapter's while a link is set; false for other lines.
  bool adapterCommand(const std::string& line, bool quiet);

  // Serves until `stop` becomes non-zero (set from a signal handler). `powerCycle` is a request
  // from SIGUSR1. Console commands are read from `commandFd` (-1: none); a "quit" ends the loop.
  void run(volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t& powerCycle, int commandFd,
           bool quiet);

 private:
  void pollBaudRate();
  // Opens a new terminal pair; the old slave (if any) is held until the new one exists so that the
  // system cannot give the new terminal the old one's number.
  bool openTerminal(std::string& error);

  SimulatedDrive& drive_;
  int master_ = -1;
  int slave_ = -1;  // held open so the terminal survives the host closing it
  std::string path_;
  std::string linkPath_;
  int baud_ = 38400;
};

// The baud rate a termios speed constant stands for (0 when unknown).
int BaudFromSpeed(unsigned speed);

}  // namespace axtune::sim
