// One child axtune-cli of batch (POSIX): started in a process group of its own with its standard
// input on /dev/null (so a Ctrl-C at the terminal reaches only batch, which passes one SIGINT on to
// each child, and a child never waits for the terminal), its output and error streams on pipes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace axtune::cli {

class BatchChild {
 public:
  BatchChild() = default;
  ~BatchChild();
  BatchChild(const BatchChild&) = delete;
  BatchChild& operator=(const BatchChild&) = delete;

  // False with `error` when the program could not be started.
  bool start(const std::string& program, const std::vector<std::string>& args, std::string& error);
  bool running() const { return pid_ > 0; }
  int outFd() const { return out_; }
  int errFd() const { return err_; }
  // Reads what the stream has now into `into`; false at its end (the descriptor is closed then).
  bool drain(int& fd, std::string& into);
  bool drainOut(std::string& into) { return drain(out_, into); }
  bool drainErr(std::string& into) { return drain(err_, into); }
  // Once both streams ended: waits for the exit and returns the exit code (128 + signal when a
  // signal ended it).
  int reap();
  void interrupt();  // SIGINT: stop at the next safe point

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

}  // namespace axtune::cli
