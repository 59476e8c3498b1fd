#include "tests/firmware/programmer/qmx_sim_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace axtune::test {

QmxSimProcess::~QmxSimProcess() {
  stop();
}

bool QmxSimProcess::start(const std::string& program, const std::vector<std::string>& args,
                          std::string& error) {
  int out[2];
  int in[2];
  if (pipe(out) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe(in) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    close(out[0]);
    close(out[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_addclose(&actions, in[1]);
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(in[0]);
  console_ = in[1];
  if (rc != 0) {
    close(out[0]);
    close(console_);
    console_ = -1;
    pid_ = -1;
    error = "cannot start " + program + ": " + std::strerror(rc);
    return false;
  }
  // The first line is the device; wait for it at most 10 s.
  std::string line;
  pollfd pfd{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&pfd, 1, 10000) > 0) {
    char buffer[256];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  const size_t end = line.find('\n');
  if (end == std::string::npos || end == 0) {
    error = program + " printed no device";
    stop();
    return false;
  }
  device_ = line.substr(0, end);
  return true;
}

bool QmxSimProcess::command(const std::string& line) {
  const std::string text = line + "\n";
  return console_ >= 0 && write(console_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool QmxSimProcess::stop() {
  if (console_ >= 0) close(console_);
  console_ = -1;
  if (pid_ <= 0) return false;
  kill(pid_, SIGTERM);
  int status = 0;
  const pid_t done = waitpid(pid_, &status, 0);
  pid_ = -1;
  return done > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace axtune::test
