// axtune-cli on a made-up machine: ports names the adapters of the fake sysfs tree, and
// status --watch goes on through a USB adapter (qmx-sim behind a by-id link) pulled and plugged back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/json_reader.h"
#include "tests/firmware/programmer/qmx_sim_process.h"
#include "tests/support/fake_port_tree.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;

// axtune-cli in a child process on the made-up machine, its output read line by line.
class CliProcess {
 public:
  CliProcess(const std::string& root, const std::vector<std::string>& arguments) {
    int outPipe[2];
    if (pipe(outPipe) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(outPipe[1], STDOUT_FILENO);
      close(outPipe[0]);
      close(outPipe[1]);
      setenv("AXTUNE_PORT_ROOT", root.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(AXTUNE_CLI_PATH)};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(AXTUNE_CLI_PATH, argv.data());
      _exit(127);
    }
    close(outPipe[1]);
    out_ = outPipe[0];
  }
  ~CliProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  // The next line (without its end); empty at the end of the output. The wait is a guard against a
  // program that hangs, not a timing assertion.
  std::string line() {
    std::string text;
    char c = 0;
    pollfd p{out_, POLLIN, 0};
    while (poll(&p, 1, 20000) > 0 && read(out_, &c, 1) == 1 && c != '\n') text += c;
    return text;
  }
  // Everything up to the end, and the exit code.
  int finish(std::string& rest) {
    for (std::string l; !(l = line()).empty();) rest += l + "\n";
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void interrupt() { kill(pid_, SIGINT); }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

class CliOnFakeMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() / ("axtune-cli-ports-" + std::to_string(getpid()));
    std::filesystem::remove_all(root_);
    tree_ = std::make_unique<test::FakePortTree>(root_);
    cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(root_);  // no Axtune.ini of anybody else's
  }
  void TearDown() override {
    std::filesystem::current_path(cwd_);
    std::filesystem::remove_all(root_);
  }
  std::filesystem::path root_, cwd_;
  std::unique_ptr<test::FakePortTree> tree_;
};

TEST_F(CliOnFakeMachine, PortsJsonNamesTheAdaptersOfTheTree) {
  tree_->PlugUsb(test::FtdiAdapter("ttyUSB0"));
  tree_->PlugUsb(test::Ch340Adapter("ttyUSB1"));
  tree_->AddUart("ttyS0", 4);
  CliProcess cli(root_.string(), {"ports", "--json"});
  std::string out;
  ASSERT_EQ(cli.finish(out), 0) << out;
  const JsonValue ports = JsonReader::parse(out)["ports"];
  ASSERT_EQ(ports.items.size(), 12u);
  EXPECT_EQ(ports[0]["description"].string, "FT232R USB UART (A50285BI)");
  EXPECT_EQ(ports[0]["manufacturer"].string, "FTDI");
  EXPECT_EQ(ports[0]["byId"].string, test::FtdiAdapter().byId);
  EXPECT_EQ(ports[1]["description"].string, "USB Serial");
  EXPECT_TRUE(ports[1]["serial"].isNull());
  EXPECT_EQ(ports[2]["description"].string, "16550A");
  EXPECT_EQ(ports[2]["device"].string, tree_->Dev("ttyS0"));
  EXPECT_TRUE(ports[3]["device"].string.empty());
}

TEST_F(CliOnFakeMachine, StatusWatchSaysWhenTheAdapterGoesAndComesBack) {
  const std::string link = tree_->Roots().serialById + "/usb-Axtune_QMX_Sim_0001-if00";
  test::QmxSimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.start(QMX_SIM_PATH, {"--link", link}, error)) << error;
  ASSERT_FALSE(sim.device().empty());
  CliProcess cli(root_.string(), {"--port", link, "--lang", "en", "status", "--watch", "--interval", "50"});
  EXPECT_THAT(cli.line(), HasSubstr("Profile not started"));
  ASSERT_TRUE(sim.command("unplug"));
  std::string line;
  while (!(line = cli.line()).empty() && line.find("unplugged") == std::string::npos) {
  }
  EXPECT_EQ(line, "The USB adapter was unplugged (" + link + ")");
  ASSERT_TRUE(sim.command("replug"));
  line = cli.line();
  EXPECT_THAT(line, HasSubstr("The USB adapter is back: " + link + " (/dev/pts/"));
  EXPECT_THAT(line, HasSubstr("QMX10-BA 4.1.7"));
  EXPECT_THAT(line, ::testing::Not(HasSubstr(sim.device() + ")"))) << "another device name";
  EXPECT_THAT(cli.line(), HasSubstr("Profile not started")) << "the watch goes on";
  cli.interrupt();
  std::string rest;
  EXPECT_EQ(cli.finish(rest), 130);
}

}  // namespace
}  // namespace axtune::cli::testing
