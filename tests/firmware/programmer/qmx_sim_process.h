// Runs qmx-sim as a child process on a pseudo-terminal (POSIX only): starts it with the given
// arguments, reads the device path (or network URL) it prints first, takes console lines on its
// standard input ("unplug", "replug"), and ends it with SIGTERM (it then writes its flash export
// and exits).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace axtune::test {

class QmxSimProcess {
 public:
  QmxSimProcess() = default;
  ~QmxSimProcess();
  QmxSimProcess(const QmxSimProcess&) = delete;
  QmxSimProcess& operator=(const QmxSimProcess&) = delete;

  // False with `error` set when it could not start or printed no device.
  bool start(const std::string& program, const std::vector<std::string>& args, std::string& error);
  const std::string& device() const { return device_; }
  // One console line; false when it could not be handed over.
  bool command(const std::string& line);
  // SIGTERM, then waits for the exit; true when it exited with status 0.
  bool stop();

 private:
  pid_t pid_ = -1;
  int console_ = -1;  // the write end of its standard input
  std::string device_;
};

}  // namespace axtune::test
