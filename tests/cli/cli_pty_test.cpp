// The real axtune-cli program against qmx-sim on a pseudo-terminal, as a production line would run it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "tests/cli/json_reader.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;

// qmx-sim in a child process; its first output line is the pseudo-terminal's path.
class QmxSim {
 public:
  QmxSim() {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipeFds[1], STDOUT_FILENO);
      close(pipeFds[0]);
      close(pipeFds[1]);
      execl(QMX_SIM_PATH, QMX_SIM_PATH, static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeFds[1]);
    out_ = pipeFds[0];
    // A guard against a simulator that never starts, not a timing assertion.
    pollfd p{out_, POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 20000) > 0 && read(out_, &c, 1) == 1 && c != '\n') device_ += c;
  }
  ~QmxSim() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (out_ >= 0) close(out_);
  }
  const std::string& device() const { return device_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string device_;
};

struct Result {
  int code = -1;
  std::string out;
};

Result RunTool(const std::string& arguments) {
  Result result;
  const std::string command = std::string(AXTUNE_CLI_PATH) + " " + arguments + " 2>/dev/null </dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer;
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
  const int status = pclose(pipe);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(CliOnPseudoTerminal, CommandsReachQmxSim) {
  QmxSim sim;
  ASSERT_THAT(sim.device(), HasSubstr("/dev/pts/"));

  const Result identify = RunTool("--port " + sim.device() + " identify --json");
  ASSERT_EQ(identify.code, 0) << identify.out;
  const JsonValue id = JsonReader::parse(identify.out);
  EXPECT_EQ(id["deviceName"].string, "QMX10-BA");
  EXPECT_TRUE(id["carrier"].isNull());  // a pseudo-terminal has no modem lines

  const Result status = RunTool("--port " + sim.device() + " --lang en status");
  EXPECT_EQ(status.code, 0);
  EXPECT_THAT(status.out, HasSubstr("Profile not started"));

  EXPECT_EQ(RunTool("--port " + sim.device() + " read 300").code, 2);
  EXPECT_EQ(RunTool("--port /dev/axtune-no-such-port identify").code, 1);
}

}  // namespace
}  // namespace axtune::cli::testing
