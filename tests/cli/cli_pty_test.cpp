// The real axtune-cli program against qmx-sim on a pseudo-terminal, as a production line would run it.
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "link/serial_port.h"
#include "tests/cli/json_reader.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;

// qmx-sim in a child process; its first output line is the pseudo-terminal's path (or its URL).
class QmxSim {
 public:
  explicit QmxSim(std::vector<std::string> arguments = {}) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipeFds[1], STDOUT_FILENO);
      close(pipeFds[0]);
      close(pipeFds[1]);
      std::vector<char*> argv{const_cast<char*>(QMX_SIM_PATH)};
      for (std::string& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(QMX_SIM_PATH, argv.data());
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

constexpr int kCannotRun = 125;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

std::string Drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

// Runs the program with the arguments; as another user when `uid` is not negative.
Result RunTool(const std::vector<std::string>& arguments, int uid = -1) {
  Result result;
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    close(outPipe[0]);
    close(errPipe[0]);
    if (uid >= 0 && (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(uid)) != 0 ||
                     setuid(static_cast<uid_t>(uid)) != 0)) {
      _exit(126);
    }
    if (access(AXTUNE_CLI_PATH, X_OK) != 0) _exit(kCannotRun);  // the build folder is private
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(AXTUNE_CLI_PATH));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(AXTUNE_CLI_PATH, argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  result.err = Drain(errPipe[0]);  // the program's messages are short; stdout cannot fill up first
  result.out = Drain(outPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(CliOnPseudoTerminal, CommandsReachQmxSim) {
  QmxSim sim;
  ASSERT_THAT(sim.device(), HasSubstr("/dev/pts/"));

  const Result identify = RunTool({"--port", sim.device(), "identify", "--json"});
  ASSERT_EQ(identify.code, 0) << identify.out;
  const JsonValue id = JsonReader::parse(identify.out);
  EXPECT_EQ(id["deviceName"].string, "QMX10-BA");
  EXPECT_TRUE(id["carrier"].isNull());  // a pseudo-terminal has no modem lines

  const Result status = RunTool({"--port", sim.device(), "--lang", "en", "status"});
  EXPECT_EQ(status.code, 0);
  EXPECT_THAT(status.out, HasSubstr("Profile not started"));

  EXPECT_EQ(RunTool({"--port", sim.device(), "read", "300"}).code, 2);
  EXPECT_EQ(RunTool({"--port", "/dev/axtune-no-such-port", "identify"}).code, 1);
}

// A drive that repeats single-word requests and answers record writes with its record, on a
// pseudo-terminal and over the network: every write path of the tool takes its answers.
class EchoDriveOverEveryTransport : public ::testing::TestWithParam<const char*> {};

TEST_P(EchoDriveOverEveryTransport, EveryWritePathTakesTheDrivesAnswers) {
  std::vector<std::string> arguments = {"--word-reply", "echo", "--record-reply", "stored"};
  if (std::string(GetParam()) == "rfc2217") arguments.insert(arguments.end(), {"--rfc2217", "0"});
  QmxSim sim(arguments);
  ASSERT_FALSE(sim.device().empty());
  const std::string file =
      (std::filesystem::temp_directory_path() / ("axtune_echo_" + std::string(GetParam()) + ".qmx")).string();
  const std::vector<std::vector<std::string>> commands = {
      {"write-word", "2", "7", "4660"},     // word 7 of the settings
      {"write-word", "3", "0", "2"},        // word 0: the repeated request starts 0x80
      {"write-object", "0x6040", "0", "2", "6"},
      {"store"},
      {"save", file},
      {"load", file},
  };
  for (const auto& command : commands) {
    std::vector<std::string> args = {"--port", sim.device()};
    args.insert(args.end(), command.begin(), command.end());
    const Result result = RunTool(args);
    EXPECT_EQ(result.code, 0) << command.front() << ": " << result.err;
  }
  const Result read = RunTool({"--port", sim.device(), "read", "2", "--json"});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_EQ(JsonReader::parse(read.out)["words"][7].integer(), 4660);
  std::filesystem::remove(file);
}

INSTANTIATE_TEST_SUITE_P(Transports, EchoDriveOverEveryTransport, ::testing::Values("pty", "rfc2217"));

TEST(CliOnPseudoTerminal, BusyAndForbiddenPortsSayWhatToDo) {
  QmxSim sim;
  ASSERT_THAT(sim.device(), HasSubstr("/dev/pts/"));
  {
    std::unique_ptr<SerialPort> holder = createSerialPort(sim.device());
    ASSERT_TRUE(holder->open(SerialSettings{}));
    const Result busy = RunTool({"--port", sim.device(), "identify"});
    EXPECT_EQ(busy.code, 1);
    EXPECT_THAT(busy.err, HasSubstr("is busy: another program holds it"));
  }
  if (getuid() != 0) GTEST_SKIP() << "the permission check needs root to become another user";
  const Result forbidden = RunTool({"--port", sim.device(), "identify"}, 65534);
  if (forbidden.code == kCannotRun)
    GTEST_SKIP() << "another user cannot run the program from this build folder";
  EXPECT_EQ(forbidden.code, 1);
  // A pseudo-terminal's group ("tty") may only write to it: no group would help, so the advice
  // names the device and the administrator instead of a group.
  EXPECT_THAT(forbidden.err, HasSubstr("Permission denied: you may not open " + sim.device()));
}

TEST(CliOverTheNetwork, FirmwareUpdateIntoQmxSimEndsWithTheDriveIdentifiedAgain) {
  const std::string firmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
  if (access(firmware.c_str(), R_OK) != 0) GTEST_SKIP() << "no C28x test file at " << firmware;
  QmxSim sim({"--rfc2217", "0", "--quiet", "--unpaced", "--flash-geometry", "F28335"});
  ASSERT_THAT(sim.device(), HasSubstr("rfc2217://127.0.0.1:"));

  const Result identify = RunTool({"--port", sim.device(), "identify", "--json"});
  ASSERT_EQ(identify.code, 0) << identify.err;
  EXPECT_TRUE(JsonReader::parse(identify.out)["carrier"].boolean) << "the network port has modem lines";

  // The update ends with the programmer's DTR pulse, which resets the drive into its new firmware.
  const Result flash = RunTool({"--port", sim.device(), "flash", firmware, "--yes", "--json"});
  EXPECT_EQ(flash.code, 0) << flash.err;
  const JsonValue outcome = JsonReader::parse(flash.out);
  EXPECT_EQ(outcome["drive"]["deviceName"].string, "QMX10-ET") << flash.out;  // the type of its F28335
}

TEST(CliOverTheNetwork, ASecondClientIsToldTheDriveIsTaken) {
  QmxSim sim({"--rfc2217", "0", "--quiet"});
  ASSERT_THAT(sim.device(), HasSubstr("rfc2217://"));
  std::unique_ptr<SerialPort> holder = createSerialPort(sim.device());
  ASSERT_TRUE(holder->open(SerialSettings{})) << holder->lastErrorText();
  const Result busy = RunTool({"--port", sim.device(), "identify"});
  EXPECT_EQ(busy.code, 1);
  EXPECT_THAT(busy.err, HasSubstr("in use by another client"));
  holder.reset();

  const Result refused = RunTool({"--port", "rfc2217://127.0.0.1:1", "identify"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_THAT(refused.err, HasSubstr("refused"));
}

}  // namespace
}  // namespace axtune::cli::testing
