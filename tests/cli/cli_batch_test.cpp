// axtune-cli batch, the real program, over several qmx-sim drives on pseudo-terminals: an update of
// three drives of which one is unplugged during its update, and drives taken one after another.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/json_reader.h"

namespace axtune::cli {
namespace {

using ::testing::HasSubstr;

const std::string kFirmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";

// A child process with its standard input, output and error on pipes.
class Process {
 public:
  Process(const std::string& program, const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return;
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
      ::execv(program.c_str(), pointers.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = ::fdopen(out[0], "r");
    err_ = ::fdopen(err[0], "r");
  }
  ~Process() {
    if (in_ >= 0) ::close(in_);
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      wait();
    }
    if (out_ != nullptr) std::fclose(out_);
    if (err_ != nullptr) std::fclose(err_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // One line of the output or error stream, false at its end.
  static bool Line(FILE* stream, std::string& line) {
    line.clear();
    for (int c; (c = std::fgetc(stream)) != EOF;) {
      if (c == '\n') return true;
      line += static_cast<char>(c);
    }
    return !line.empty();
  }
  bool outLine(std::string& line) { return Line(out_, line); }
  bool errLine(std::string& line) { return Line(err_, line); }
  std::string rest(FILE* stream) {
    std::string text, line;
    while (Line(stream, line)) text += line + '\n';
    return text;
  }
  std::string restOut() { return rest(out_); }
  void send(const std::string& text) {
    ASSERT_EQ(::write(in_, text.data(), text.size()), ssize_t(text.size()));
  }
  int wait() {
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  FILE* out_ = nullptr;
  FILE* err_ = nullptr;
};

// qmx-sim with an F28335 flash, on a pseudo-terminal or as an RFC 2217 server (whose DTR line
// resets the drive after its update, so that it answers again); `paced` delivers at the line's rate.
struct Drive {
  Drive(bool paced, bool network) {
    // An F28335 drive identifies as the QMX10-ET.
    std::vector<std::string> args = {"--flash-geometry", "F28335", "--turnaround-us", "0", "--quiet"};
    if (!paced) args.push_back("--unpaced");
    if (network) args.insert(args.end(), {"--rfc2217", "0"});
    sim = std::make_unique<Process>(QMX_SIM_PATH, args);
    sim->outLine(device);
  }
  std::unique_ptr<Process> sim;
  std::string device;
};

class CliBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("axtune_batch_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(CliBatchTest, ADrivePulledDuringItsUpdateFailsAloneAndIsListedForTheNextRun) {
  if (!std::filesystem::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  Drive first(false, true), pulled(true, false), third(false, true);
  ASSERT_FALSE(first.device.empty() || pulled.device.empty() || third.device.empty());
  const std::string failed = (dir_ / "failed.txt").string();
  Process batch(AXTUNE_CLI_PATH,
                {"batch", "--port", first.device, "--port", pulled.device, "--port", third.device, "--json",
                 "--failed", failed, "--", "flash", kFirmware, "--yes", "--processor", "F28335"});
  // The progress lines name the drive and its step; the cable comes out once it programs.
  std::string line, progress;
  bool unplugged = false;
  while (batch.errLine(line)) {
    progress += line + '\n';
    if (!unplugged && line.rfind(pulled.device + "  ", 0) == 0 &&
        line.find("programming") != std::string::npos) {
      pulled.sim->send("unplug\n");
      unplugged = true;
    }
  }
  ASSERT_TRUE(unplugged) << progress;
  EXPECT_THAT(progress, HasSubstr(first.device + "  QMX10-ET 4.1.7  "));
  const std::string out = batch.restOut();
  EXPECT_EQ(batch.wait(), 1) << progress;

  const testing::JsonValue j = testing::JsonReader::parse(out);
  EXPECT_FALSE(j["ok"].boolean) << out;
  const auto& drives = j["drives"].items;
  ASSERT_EQ(drives.size(), 3u) << out;
  EXPECT_EQ(drives[0]["port"].string, first.device);
  EXPECT_EQ(drives[0]["outcome"].string, "Verify ok") << out;
  EXPECT_EQ(drives[2]["outcome"].string, "Verify ok") << out;
  EXPECT_TRUE(drives[0]["ok"].boolean);
  EXPECT_FALSE(drives[1]["ok"].boolean);
  EXPECT_EQ(drives[1]["exitCode"].integer(), 1);
  EXPECT_FALSE(drives[1]["reason"].string.empty()) << out;
  EXPECT_EQ(drives[1]["drive"].string, "QMX10-ET 4.1.7");

  std::ifstream file(failed);
  const std::string listed((std::istreambuf_iterator<char>(file)), {});
  EXPECT_EQ(listed, pulled.device + "\n");

  // The documented rerun, with no options: the drive, switched off and on with its flash incomplete,
  // waits in its boot loader and says nothing; the update log names the processor of its port, and
  // the flash verifies. A pseudo-terminal carries no DTR, so the drive is not restarted after it:
  // the table says so and counts it as failed.
  pulled.sim->send("replug\n");
  pulled.sim->send("power cycle\n");
  Process rerun(AXTUNE_CLI_PATH, {"batch", "--ports", failed, "--", "flash", kFirmware, "--yes"});
  const std::string table = rerun.restOut();
  EXPECT_EQ(rerun.wait(), 1) << table;
  EXPECT_THAT(table, ::testing::ContainsRegex(pulled.device + " +- +Verify ok, not restarted +[0-9.]+ s"));
  EXPECT_THAT(table, HasSubstr("0 of 1 drives succeeded"));
}

TEST_F(CliBatchTest, OneJobTakesTheDrivesInTurnAndTheTableNamesEachOutcome) {
  Drive a(false, false), b(false, true);
  const std::string absent = (dir_ / "no-such-device").string();
  {
    Process batch(AXTUNE_CLI_PATH, {"batch", "--jobs", "1", "--port", a.device, "--port", absent, "--port",
                                    b.device, "--json", "--", "identify"});
    const std::string out = batch.restOut();
    EXPECT_EQ(batch.wait(), 1);
    const testing::JsonValue j = testing::JsonReader::parse(out);
    const auto& drives = j["drives"].items;
    ASSERT_EQ(drives.size(), 3u) << out;
    for (size_t i = 0; i + 1 < drives.size(); ++i) {
      // Both are rounded to milliseconds.
      EXPECT_GE(drives[i + 1]["startSeconds"].number + 0.002,
                drives[i]["startSeconds"].number + drives[i]["seconds"].number)
          << "drive " << i + 1 << " started before drive " << i << " ended: " << out;
    }
    EXPECT_TRUE(drives[0]["ok"].boolean);
    EXPECT_FALSE(drives[1]["ok"].boolean);
    EXPECT_TRUE(drives[2]["ok"].boolean);
  }
  // The same as a table, from a ports file with a comment.
  const std::string ports = (dir_ / "cabinet.txt").string();
  std::ofstream(ports) << "# cabinet 1\n" << a.device << "   # axis X\n\n" << absent << "\n";
  Process batch(AXTUNE_CLI_PATH, {"batch", "--ports", ports, "--", "identify"});
  const std::string table = batch.restOut();
  EXPECT_EQ(batch.wait(), 1);
  EXPECT_THAT(table, HasSubstr("PORT"));
  EXPECT_THAT(table, ::testing::ContainsRegex(a.device + " +QMX10-ET 4.1.7 +ok "));
  EXPECT_THAT(table, ::testing::ContainsRegex(absent + " +- +failed +[0-9.]+ s +.*" + absent));
  EXPECT_THAT(table, HasSubstr("1 of 2 drives succeeded"));
}

// Three drives saved to one file each by the {port} in the name, and loaded back: each drive gets
// its own values again.
TEST_F(CliBatchTest, SavePerPortLeavesAFilePerDriveThatLoadsBackToIt) {
  Drive drives[3] = {Drive(false, false), Drive(false, false), Drive(false, false)};
  auto cli = [](std::vector<std::string> args) {
    Process p(AXTUNE_CLI_PATH, args);
    const std::string out = p.restOut();
    const int code = p.wait();
    return std::make_pair(code, out);
  };
  for (int i = 0; i < 3; ++i) {
    ASSERT_FALSE(drives[i].device.empty());
    ASSERT_EQ(
        cli({"--port", drives[i].device, "set", "motor-current=" + std::to_string(1100 + 100 * i)}).first, 0);
  }
  std::vector<std::string> batch = {"batch"};
  for (const Drive& d : drives) batch.insert(batch.end(), {"--port", d.device});
  batch.insert(batch.end(), {"--", "save", (dir_ / "line-{port}.qmx").string()});
  ASSERT_EQ(cli(batch).first, 0);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    files += entry.path().extension() == ".qmx";
  EXPECT_EQ(files, 3u);

  for (const Drive& d : drives) ASSERT_EQ(cli({"--port", d.device, "set", "motor-current=500"}).first, 0);
  batch[batch.size() - 2] = "load";
  ASSERT_EQ(cli(batch).first, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_THAT(cli({"--port", drives[i].device, "get", "motor-current"}).second,
                HasSubstr("motor-current=" + std::to_string(1100 + 100 * i)))
        << drives[i].device;
  }
}

}  // namespace
}  // namespace axtune::cli
