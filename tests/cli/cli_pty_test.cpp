// The real axtune-cli program against qmx-sim on a pseudo-terminal, as a production line would run it.
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
      {"write-word", "2", "7", "4660"},  // word 7 of the settings
      {"write-word", "3", "0", "2"},     // word 0: the repeated request starts 0x80
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

// Device servers differ: some drop DTR when their client leaves (the processor resets), some never
// answer SET-MODEMSTATE-MASK. The update keeps one TCP session from the identification before it to
// the one after it, and waits for no answer the RFC leaves to the server.
class CliOverTheNetwork : public ::testing::TestWithParam<const char*> {};

TEST_P(CliOverTheNetwork, FirmwareUpdateIntoQmxSimEndsWithTheDriveIdentifiedAgain) {
  const std::string firmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
  if (access(firmware.c_str(), R_OK) != 0) GTEST_SKIP() << "no C28x test file at " << firmware;
  std::vector<std::string> arguments = {"--rfc2217",        "0",     "--quiet", "--unpaced",
                                        "--flash-geometry", "F28335"};
  if (*GetParam() != '\0') arguments.emplace_back(GetParam());
  QmxSim sim(arguments);
  ASSERT_THAT(sim.device(), HasSubstr("rfc2217://127.0.0.1:"));

  const Result identify = RunTool({"--port", sim.device(), "identify", "--json"});
  ASSERT_EQ(identify.code, 0) << identify.err;
  EXPECT_TRUE(JsonReader::parse(identify.out)["carrier"].boolean) << "the network port has modem lines";

  // The update ends with the programmer's DTR pulse, which resets the drive into its new firmware.
  const Result flash =
      RunTool({"--port", sim.device(), "flash", firmware, "--yes", "--json", "--processor", "F28335"});
  EXPECT_EQ(flash.code, 0) << flash.err;
  const JsonValue outcome = JsonReader::parse(flash.out);
  EXPECT_EQ(outcome["result"].string, "Verify ok") << flash.err;
  EXPECT_EQ(outcome["drive"]["deviceName"].string, "QMX10-ET") << flash.out;
}

INSTANTIATE_TEST_SUITE_P(DeviceServers, CliOverTheNetwork,
                         ::testing::Values("", "--dtr-follows-client", "--no-modemstate-mask-answer"));

// A child process that is ended with SIGTERM when the test is done.
class Child {
 public:
  explicit Child(std::vector<std::string> argv) {
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> args;
      for (std::string& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Child() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

 private:
  pid_t pid_ = -1;
};

// A free TCP port on loopback, and whether something listens on one.
int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

bool Listening(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return up;
}

// ser2net, a device server nobody here wrote, between the tool and qmx-sim's pseudo-terminal.
TEST(CliThroughSer2net, IdentifyAndAFirmwareUpdateGoThroughIt) {
  if (system("command -v ser2net >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ser2net is not installed (scripts/bootstrap installs it)";
  const std::string firmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
  if (access(firmware.c_str(), R_OK) != 0) GTEST_SKIP() << "no C28x test file at " << firmware;
  QmxSim sim({"--quiet", "--unpaced", "--flash-geometry", "F28335"});
  ASSERT_THAT(sim.device(), HasSubstr("/dev/pts/"));
  const int port = FreeLoopbackPort();
  ASSERT_GT(port, 0);
  const std::filesystem::path config =
      std::filesystem::temp_directory_path() / ("axtune_ser2net_" + std::to_string(getpid()) + ".yaml");
  std::ofstream(config) << "connection: &drive\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << port
                        << "\n  connector: serialdev," << sim.device() << ",38400n81,local\n";
  const std::string pidFile = config.string() + ".pid";
  Child ser2net({"ser2net", "-n", "-c", config.string(), "-P", pidFile});
  for (int i = 0; i < 200 && !Listening(port); ++i) usleep(50000);  // a start-up guard, not a timing
  ASSERT_TRUE(Listening(port)) << "ser2net did not start";
  const std::string url = "rfc2217://127.0.0.1:" + std::to_string(port);

  const Result identify = RunTool({"--port", url, "identify", "--json"});
  EXPECT_EQ(identify.code, 0) << identify.err;
  EXPECT_EQ(JsonReader::parse(identify.out)["deviceName"].string, "QMX10-ET") << identify.err;

  // A pseudo-terminal has no DTR: the update verifies, and the drive is not reset into its firmware.
  const Result flash =
      RunTool({"--port", url, "flash", firmware, "--yes", "--json", "--processor", "F28335"});
  const JsonValue outcome = JsonReader::parse(flash.out);
  EXPECT_EQ(outcome["result"].string, "Verify ok") << flash.err;
  EXPECT_EQ(outcome["sectionsProgrammed"].integer(), 7) << flash.err;
  std::filesystem::remove(config);
  std::filesystem::remove(pidFile);
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
