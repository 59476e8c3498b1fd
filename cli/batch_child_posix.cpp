#include "cli/batch_child.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace axtune::cli {

BatchChild::~BatchChild() {
  if (out_ >= 0) ::close(out_);
  if (err_ >= 0) ::close(err_);
  if (pid_ > 0) {
    // Only when batch itself fails half-way: the child is not left running unseen.
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

bool BatchChild::start(const std::string& program, const std::vector<std::string>& args, std::string& error) {
  int outPipe[2], errPipe[2];
  // Close-on-exec: a child must not inherit the pipes of the others (they would stay open until the
  // last child ends, and each child would hold every other's descriptors).
  if (::pipe2(outPipe, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return false;
  }
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    ::dup2(outPipe[1], STDOUT_FILENO);
    ::dup2(errPipe[1], STDERR_FILENO);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    ::execv(program.c_str(), pointers.data());
    const char* message = "axtune-cli: cannot start the child program\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, std::strlen(message));
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (pid < 0) {
    error = std::strerror(errno);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return false;
  }
  ::setpgid(pid, pid);  // also from this side, so a Ctrl-C right after the fork misses the child
  pid_ = pid;
  out_ = outPipe[0];
  err_ = errPipe[0];
  ::fcntl(out_, F_SETFL, ::fcntl(out_, F_GETFL) | O_NONBLOCK);
  ::fcntl(err_, F_SETFL, ::fcntl(err_, F_GETFL) | O_NONBLOCK);
  return true;
}

bool BatchChild::drain(int& fd, std::string& into) {
  if (fd < 0) return false;
  char buffer[4096];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    ::close(fd);  // end of the stream, or an error that ends it
    fd = -1;
    return false;
  }
}

int BatchChild::reap() {
  if (pid_ <= 0) return -1;
  int status = 0;
  pid_t got = 0;
  while ((got = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (got < 0) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

void BatchChild::interrupt() {
  if (pid_ > 0) ::kill(pid_, SIGINT);
}

}  // namespace axtune::cli
