// The command line's files and signals under faults: a save never replaces what is not a regular
// file, a file saved with any names loads back, a FIFO given as input is refused at once, Ctrl-C and
// SIGTERM stop save, load, flash and status --watch within a second with exit code 130 and leave no
// partial file, a watch whose polls failed says so, and JSON stays valid UTF-8 whatever bytes a file
// holds.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <fstream>
#include <thread>

#include "core/parameter_file.h"
#include "link/drive_link.h"
#include "link/testing/fake_serial_port.h"
#include "link/testing/forwarding_serial_port.h"
#include "sim/boot/boot_processor.h"
#include "tests/cli/cli_fixture.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

const std::string kFirmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
constexpr uint32_t kTextStart = 0x338000;  // where the test firmware's .text goes

bool IsValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Everything in the folder but `keep`: a save must leave no temporary behind.
std::vector<std::string> Leftovers(const fs::path& dir, const std::string& keep = {}) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename() != keep) names.push_back(entry.path().filename().string());
  }
  return names;
}

using CliFaults = CliTest;

TEST_F(CliFaults, SaveNeverReplacesWhatIsNotARegularFile) {
  const std::string fifo = path("target.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const RunResult save = run({"save", fifo});
  EXPECT_EQ(save.code, kExitFile);
  EXPECT_THAT(save.err, HasSubstr("not a regular file"));
  EXPECT_TRUE(fs::is_fifo(fifo)) << "the FIFO was replaced by a file";
}

TEST_F(CliFaults, AFileSavedWithAnyNamesLoadsBack) {
  const std::string file = path("names.qmx");
  ASSERT_EQ(run({"save", file, "--user", "A\tB", "--company",
                 "\x01\xE4\xFF"
                 "Co"})
                .code,
            kExitOk);
  const RunResult load = run({"load", file, "--json"});
  EXPECT_EQ(load.code, kExitOk) << load.err;
  EXPECT_EQ(load.json()["recordsConfirmed"].integer(), 63);
}

TEST_F(CliFaults, AFifoAsAnInputFileIsRefusedBeforeItIsOpened) {
  const std::string fifo = path("input.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const char* command : {"load", "coff", "flash"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> args = {command, fifo};
    if (std::string(command) == "flash") args.push_back("--yes");
    const RunResult result = run(args);  // would block for ever if it opened the FIFO
    EXPECT_EQ(result.code, kExitFile);
    EXPECT_THAT(result.err, HasSubstr("FIFO"));
  }
  EXPECT_TRUE(drive_->snapshot().firmwareRunning) << "flash must not have told the drive anything";
}

TEST_F(CliFaults, ACancelledSaveOrLoadSaysSoAndLeavesNoPartialFile) {
  std::atomic<bool> stop{false};
  env_.stop = &stop;
  const std::string file = path("kept.qmx");
  ASSERT_EQ(run({"save", file}).code, kExitOk);
  const std::string before = ReadText(file);

  stop = true;  // Ctrl-C came
  const RunResult save = run({"save", file});
  EXPECT_EQ(save.code, kExitCancelled);
  EXPECT_THAT(save.err, HasSubstr("axtune-cli: cancelled; nothing was saved (" + file + " is unchanged)"));
  EXPECT_EQ(ReadText(file), before);
  EXPECT_THAT(Leftovers(dir_, "kept.qmx"), ::testing::IsEmpty());
  EXPECT_FALSE(IsLinkOpen()) << "the port is closed";

  const RunResult fresh = run({"save", path("new.qmx"), "--json"});
  EXPECT_EQ(fresh.code, kExitCancelled);
  EXPECT_FALSE(fs::exists(path("new.qmx")));
  EXPECT_TRUE(fresh.json()["cancelled"].boolean);
  EXPECT_EQ(fresh.json()["exitCode"].integer(), 130);

  const RunResult load = run({"load", file});
  EXPECT_EQ(load.code, kExitCancelled);
  EXPECT_THAT(load.err, HasSubstr("took 0 of 63 records (0 sent)"));
  EXPECT_THAT(load.err, HasSubstr("load the file again"));
  EXPECT_FALSE(IsLinkOpen());
}

// The cable pulled while the drive sends record 27: ten bytes of its body come, then nothing.
class MidReplyCutPort : public axtune::testing::ForwardingSerialPort {
 public:
  MidReplyCutPort(std::unique_ptr<SerialPort> inner, sim::SimulatedDrive& drive)
      : ForwardingSerialPort(std::move(inner)), drive_(drive) {}
  size_t write(const uint8_t* data, size_t n) override {
    if (n == 2 && data[0] == 0x0F && data[1] == 27) armed_ = true;
    return inner().write(data, n);
  }
  size_t read(uint8_t* buffer, size_t n) override {
    if (!armed_ || n != 32) return inner().read(buffer, n);
    armed_ = false;
    const size_t got = inner().read(buffer, 10);
    drive_.unplug();
    return got;
  }
  uint64_t clockUs() override { return inner().clockUs(); }

 private:
  sim::SimulatedDrive& drive_;
  bool armed_ = false;
};

TEST_F(CliFaults, ASavePulledMidReplySaysTheDriveStoppedAnsweringAndToCheckTheCable) {
  registerInProcessPort(kDevice, [this](const std::string& device) {
    return std::make_unique<MidReplyCutPort>(sim::createSimulatedPort(drive_, device), *drive_);
  });
  const std::string file = path("cut.qmx");
  const RunResult save = run({"save", file});
  EXPECT_EQ(save.code, kExitDrive);
  EXPECT_THAT(save.err, HasSubstr("record 27"));
  EXPECT_THAT(save.err, HasSubstr("the drive stopped answering in the middle of its reply: check the cable"));
  EXPECT_THAT(save.err, Not(HasSubstr("unkown error")));
  EXPECT_FALSE(fs::exists(file));
}

// Paths the file system refuses, given to every command that takes a file: each is a file error
// (exit 3) with the system's reason, never an abort; flash tells the drive nothing.
struct BadPathCase {
  const char* what;
  const char* reason;  // the system's words for it
};

class BadPaths : public CliTest, public ::testing::WithParamInterface<BadPathCase> {
 protected:
  // The path of the kind under test, made in the test folder; empty when it cannot be made here.
  std::string make(const std::string& kind) {
    if (kind == "symlink loop") {
      const std::string loop = path("loop.qmx");
      fs::create_symlink(loop, loop);
      return loop;
    }
    if (kind == "300-character name") return path(std::string(296, 'n') + ".qmx");
    // A folder the user may not search: its files cannot be reached (root may search anything).
    if (::geteuid() == 0) return {};
    const fs::path locked = dir_ / "locked";
    fs::create_directories(locked);
    std::ofstream(locked / "inside.qmx") << "x";
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_write);
    return (locked / "inside.qmx").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_ / "locked", fs::perms::owner_all, ignored);
    CliTest::TearDown();
  }
};

TEST_P(BadPaths, SaveLoadCoffAndFlashSayWhatIsWrongAndExitThree) {
  const BadPathCase& c = GetParam();
  const std::string bad = make(c.what);
  if (bad.empty()) GTEST_SKIP() << "root searches every folder";
  for (const char* command : {"save", "load", "coff", "flash"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> args = {command, bad};
    if (std::string(command) == "flash") args.push_back("--yes");
    const RunResult result = run(args);
    EXPECT_EQ(result.code, kExitFile) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.reason));
  }
  EXPECT_TRUE(drive_->snapshot().firmwareRunning) << "flash must not have told the drive anything";
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path("loop.qmx"))) || std::string(c.what) != "symlink loop")
      << "the save replaced the link";
}

INSTANTIATE_TEST_SUITE_P(LoopLongNameLockedFolder, BadPaths,
                         ::testing::Values(BadPathCase{"symlink loop", "Too many levels of symbolic links"},
                                           BadPathCase{"300-character name", "File name too long"},
                                           BadPathCase{"unsearchable folder", "Permission denied"}),
                         [](const ::testing::TestParamInfo<BadPathCase>& info) {
                           std::string name = info.param.what;
                           for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                           return name;
                         });

// A refused parameter file: no record goes out, and the message says what did (the end-of-load
// command, sent after every load) instead of "nothing was sent".
class RefusedFiles : public CliTest, public ::testing::WithParamInterface<int> {};

TEST_P(RefusedFiles, SayNoRecordWasSentAndThatTheEndOfLoadCommandWas) {
  const std::string file = path("refused.qmx");
  ASSERT_EQ(run({"save", file}).code, kExitOk);
  std::string bytes = ReadText(file);
  if (GetParam() == 0) bytes[3] = 'X';             // the identification
  if (GetParam() == 1) bytes.resize(9 + 30 * 10);  // ends after ten records
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  ASSERT_EQ(run({"write-word", "14", "0", "4321"}).code, kExitOk);
  const RunResult load = run({"load", file});
  EXPECT_EQ(load.code, kExitFile);
  EXPECT_THAT(load.err, HasSubstr("no record was sent (the end-of-load command was, as after every load"));
  EXPECT_THAT(load.err, Not(HasSubstr("nothing was sent")));
  EXPECT_EQ(record(14)[0], 4321);
}

INSTANTIATE_TEST_SUITE_P(DamagedOrShort, RefusedFiles, ::testing::Values(0, 1));

// A save killed in its write window leaves TARGET.tmp<n>-<n>; the next save of that file removes it,
// and leaves a younger one (another save still running) and the user's own files alone.
TEST_F(CliFaults, ASaveRemovesTheTemporariesAnEarlierKilledSaveLeft) {
  const std::string file = path("kept.qmx");
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(2);
  std::ofstream(file + ".tmp1234-0") << "killed";
  fs::last_write_time(file + ".tmp1234-0", old);
  std::ofstream(file + ".tmp99-1") << "another save's, still running";
  fs::last_write_time(file + ".tmp99-1", fs::file_time_type::clock::now() + std::chrono::hours(1));
  std::ofstream(file + ".tmp-notes") << "the user's";
  fs::last_write_time(file + ".tmp-notes", old);
  ASSERT_EQ(run({"save", file}).code, kExitOk);
  std::vector<std::string> left = Leftovers(dir_, "kept.qmx");
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"kept.qmx.tmp-notes", "kept.qmx.tmp99-1"}));
}

TEST(FileCancel, ACancelAtTheLastMomentRemovesTheTemporaryAndKeepsTheTarget) {
  const fs::path dir = fs::temp_directory_path() / "axtune_cancel_write";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string target = (dir / "drive.qmx").string();
  std::ofstream(target) << "the old file";

  const FileWriteResult cancelled = WriteFileAtomically(target, {1, 2, 3}, [] { return true; });
  EXPECT_FALSE(cancelled.ok);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_EQ(ReadText(target), "the old file");
  EXPECT_THAT(Leftovers(dir, "drive.qmx"), ::testing::IsEmpty());

  const FileWriteResult written = WriteFileAtomically(target, {1, 2, 3}, [] { return false; });
  EXPECT_TRUE(written.ok);
  EXPECT_EQ(ReadText(target), std::string("\x01\x02\x03", 3));
  fs::remove_all(dir);
}

TEST_F(CliFaults, AWatchEndsNonZeroWhenAnyPollFailed) {
  const RunResult good = run({"status", "--watch", "--count", "3", "--interval", "100"});
  EXPECT_EQ(good.code, kExitOk) << good.err;

  // Some answers lost: the lines that came are printed, and the end says how many failed.
  sim::FaultConfig faults;
  faults.silence = 0.2;
  faults.seed = 3;
  drive_->setFaults(faults);
  const RunResult some = run({"status", "--watch", "--count", "10", "--interval", "100"});
  EXPECT_EQ(some.code, kExitDrive);
  EXPECT_THAT(some.err, HasSubstr("no answer from the drive on sim in "));
  EXPECT_THAT(some.err, HasSubstr(" of 10 polls (last: "));
  EXPECT_THAT(some.out, HasSubstr(" | ")) << "the polls that were answered are shown";

  drive_->setFaults({});
  drive_->unplug();
  const RunResult none = run({"status", "--watch", "--count", "3", "--interval", "100"});
  EXPECT_EQ(none.code, kExitDrive);
  EXPECT_THAT(none.err, HasSubstr("no status from the drive on sim in 3 of 3 polls"));

  std::atomic<bool> stop{true};
  env_.stop = &stop;
  const RunResult cancelled = run({"status", "--watch", "--interval", "100"});
  EXPECT_EQ(cancelled.code, kExitCancelled);
  EXPECT_THAT(cancelled.err, HasSubstr("axtune-cli: cancelled; the watch ended after "));
}

// Ctrl-C once .text has started to be programmed: the update stops at its next packet, says that
// the drive waits in its boot loader, and the next flash finishes the job on the same drive.
TEST_F(CliFaults, AFlashCancelledWhileProgrammingLeavesTheBootLoaderAndFlashAgainFinishes) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.flashGeometry = "F28335";
  makeDrive(config);
  std::atomic<bool> stop{false};
  env_.stop = &stop;

  // The programmer pauses after every chunk; on simulated time the whole update takes milliseconds,
  // so the pause is where Ctrl-C comes, and it holds the update there until the cancel has reset the
  // processor (the kernel no longer runs), as the real line would.
  const std::thread::id updater = std::this_thread::get_id();
  SleepFunction simulated = drive_->sleeper();
  bool interrupted = false;
  ScopedSleeper interrupting([&](int ms) {
    simulated(ms);
    if (interrupted || std::this_thread::get_id() != updater) return;
    bool programming = false;
    drive_->withProcessor([&](sim::BootProcessor& p) { programming = p.flashWord(kTextStart) != 0xFFFF; });
    if (!programming) return;
    interrupted = true;
    stop = true;
    for (int i = 0; i < 1000; ++i) {  // a hang guard, not a timing assertion
      bool kernel = true;
      drive_->withProcessor([&](sim::BootProcessor& p) { kernel = p.kernelRunning(); });
      if (!kernel) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const RunResult cancelled = run({"flash", kFirmware, "--yes", "--processor", "F28335"});
  ASSERT_TRUE(interrupted);
  EXPECT_EQ(cancelled.code, kExitCancelled) << cancelled.err;
  EXPECT_THAT(cancelled.err, HasSubstr("axtune-cli: cancelled; the flash was erased"));
  EXPECT_THAT(cancelled.err, HasSubstr("the drive waits in its boot loader"));
  EXPECT_THAT(cancelled.err, HasSubstr("run flash again to finish the update"));
  EXPECT_THAT(cancelled.out + cancelled.err, Not(HasSubstr("Verify failed")));
  EXPECT_FALSE(drive_->snapshot().firmwareRunning);
  EXPECT_FALSE(IsLinkOpen());

  // The drive in its boot loader does not say what it is: the last update on its port (the
  // interrupted one) names the processor, and a plain flash finishes the job.
  stop = false;
  nameProcessor_ = false;
  const RunResult again = run({"flash", kFirmware, "--yes", "--json"});
  EXPECT_EQ(again.code, kExitOk) << again.err;
  EXPECT_THAT(again.err, HasSubstr("no drive answered on "));
  EXPECT_THAT(again.err, HasSubstr("taking the F28335, as the last update on "));
  EXPECT_EQ(again.json()["result"].string, "Verify ok");
  EXPECT_EQ(again.json()["processor"].string, "F28335");
  EXPECT_EQ(again.json()["drive"]["deviceName"].string, "QMX10-ET");
  EXPECT_TRUE(drive_->snapshot().firmwareRunning);
}

// The link's side of the cancel: with the hook saying stop, a silent line costs one slice, not the
// full timeout; with the hook saying go on, the slices add up to the same bound as before.
TEST(LinkCancel, ASilentLineHoldsACancelledTransferForOneSliceOnly) {
  auto line = std::make_shared<axtune::testing::FakeLine>();
  axtune::testing::ScopedFakePort registration("fake-cancel", line);
  ASSERT_TRUE(OpenLink("fake-cancel"));
  RecordWords words{};

  bool stop = false;
  SetLinkCancel([&stop] { return stop; });
  uint64_t start = line->clockUs();
  EXPECT_FALSE(ReadRecord(2, words));
  const uint64_t fullUs = line->clockUs() - start;
  EXPECT_GE(fullUs, 1000'000u);
  EXPECT_LE(fullUs, 1034'000u);
  for (uint32_t budget : line->timedOutReadBudgetsMs()) EXPECT_LE(budget, uint32_t{kLinkCancelSliceMs});

  stop = true;
  start = line->clockUs();
  EXPECT_FALSE(ReadRecord(2, words));
  EXPECT_EQ(LinkError.load(), kLinkNoReply);
  EXPECT_LE(line->clockUs() - start, uint64_t{kLinkCancelSliceMs} * 1000);

  SetLinkCancel({});
  CloseLink();
}

TEST_F(CliFaults, JsonIsValidUtf8WhateverBytesAFileHolds) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  std::string bytes = ReadText(kFirmware);
  // Section names stand in the section headers, eight bytes each: give one bytes of a code page.
  const size_t at = bytes.find(std::string(".cinit\0\0", 8));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 2] = '\xE4';
  bytes[at + 3] = '\xFF';
  const std::string file = path("names.out");
  std::ofstream(file, std::ios::binary) << bytes;
  const RunResult coff = run({"coff", file, "--json"}, false);
  ASSERT_EQ(coff.code, kExitOk) << coff.err;
  EXPECT_TRUE(IsValidUtf8(coff.out));
  EXPECT_THAT(coff.out, HasSubstr(".c\\u00e4\\u00ffit"));
}

// ---- The real program, signalled -----------------------------------------------------------------

// axtune-cli in a child process; the test waits for a line on its error stream before it signals.
// With `terminal`, its standard streams are a pseudo-terminal (as at a keyboard: flash asks before it
// goes on) and `err` collects everything it shows there.
class CliProcess {
 public:
  CliProcess(std::vector<std::string> arguments, const fs::path& dir, bool terminal = false) {
    if (terminal) {
      pid_ = forkpty(&err_, nullptr, nullptr, nullptr);
      if (pid_ == 0) exec(arguments, dir);
      if (err_ >= 0) fcntl(err_, F_SETFL, O_NONBLOCK);
      return;
    }
    int errPipe[2];
    int outPipe[2];
    if (pipe(errPipe) != 0 || pipe(outPipe) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(outPipe[1], STDOUT_FILENO);
      dup2(errPipe[1], STDERR_FILENO);
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, STDIN_FILENO);
      for (int fd : {errPipe[0], errPipe[1], outPipe[0], outPipe[1], null}) close(fd);
      exec(arguments, dir);
    }
    close(errPipe[1]);
    close(outPipe[1]);
    err_ = errPipe[0];
    out_ = outPipe[0];
    fcntl(err_, F_SETFL, O_NONBLOCK);
    fcntl(out_, F_SETFL, O_NONBLOCK);
  }
  ~CliProcess() {
    if (pid_ > 0 && code_ == kRunning) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (err_ >= 0) close(err_);
    if (out_ >= 0) close(out_);
  }

  // Waits (up to 20 s, a guard against a child that never gets there) until `text` is on stderr.
  bool waitForError(const std::string& text) {
    for (int i = 0; i < 2000 && err.find(text) == std::string::npos; ++i) {
      pollfd p{err_, POLLIN, 0};
      poll(&p, 1, 10);
      drain();
      if (code_ != kRunning || exited()) break;
    }
    return err.find(text) != std::string::npos;
  }

  // Sends the signal and waits for the end; false when the child still runs 30 s later. A hang
  // guard only: a cancel that resets the drive waits for it to start again (about 3 s), longer on a
  // machine busy with other tests, while a command left waiting at its prompt never ends.
  bool signalAndWait(int signal) {
    kill(pid_, signal);
    return waitForEnd();
  }
  bool waitForEnd() {
    for (int i = 0; i < 3000; ++i) {
      drain();
      if (exited()) {
        drain();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  int code() const { return code_; }

  std::string out;
  std::string err;

 private:
  static constexpr int kRunning = -1000;

  [[noreturn]] static void exec(std::vector<std::string>& arguments, const fs::path& dir) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    std::vector<char*> argv{const_cast<char*>(AXTUNE_CLI_PATH)};
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(AXTUNE_CLI_PATH, argv.data());
    _exit(127);
  }

  bool exited() {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return true;
  }
  void drain() {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(err_, buffer, sizeof buffer)) > 0) err.append(buffer, static_cast<size_t>(n));
    while (out_ >= 0 && (n = read(out_, buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<size_t>(n));
  }

  pid_t pid_ = -1;
  int err_ = -1;
  int out_ = -1;
  int code_ = kRunning;
};

class CliSignals : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("axtune_cli_signals_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A parameter file saved from the simulated drive (simulated time: at once).
  std::string savedFile(const std::string& name) {
    CliProcess save({"--port", "sim", "save", name}, dir_);
    EXPECT_TRUE(save.waitForEnd());
    EXPECT_EQ(save.code(), 0) << save.err;
    return (dir_ / name).string();
  }

  fs::path dir_;
};

// The drive answers every request 300 ms late, so reading 65 records takes about 20 s.
const std::vector<std::string> kSlowDrive = {"--port", "sim", "--sim-real-time", "--sim-faults",
                                             "delay=1,delay-ms=300"};

TEST_F(CliSignals, SigintStopsASlowSaveAndTheOldFileStays) {
  const std::string file = savedFile("drive.qmx");
  const std::string before = ReadText(file);
  std::vector<std::string> args = kSlowDrive;
  args.insert(args.end(), {"save", "drive.qmx"});
  CliProcess save(args, dir_);
  ASSERT_TRUE(save.waitForError("reading records")) << save.err;
  ASSERT_TRUE(save.signalAndWait(SIGINT)) << "still running 30 s after Ctrl-C";
  EXPECT_EQ(save.code(), 130) << save.err;
  EXPECT_THAT(save.err, HasSubstr("axtune-cli: cancelled; nothing was saved (drive.qmx is unchanged)"));
  EXPECT_EQ(ReadText(file), before);
  EXPECT_THAT(Leftovers(dir_, "drive.qmx"), ::testing::IsEmpty());
}

TEST_F(CliSignals, SigtermStopsASlowLoadAndAnUnpluggedDriveEndsItAlone) {
  savedFile("drive.qmx");
  // Every answer 300 ms late: the load takes about 20 s, and SIGTERM stops it between records.
  std::vector<std::string> args = kSlowDrive;
  args.insert(args.end(), {"load", "drive.qmx"});
  CliProcess load(args, dir_);
  ASSERT_TRUE(load.waitForError("sending records")) << load.err;
  ASSERT_TRUE(load.signalAndWait(SIGTERM)) << "still running 30 s after SIGTERM";
  EXPECT_EQ(load.code(), 130) << load.err;
  EXPECT_THAT(load.err, HasSubstr("axtune-cli: cancelled; the drive on sim took "));
  EXPECT_THAT(load.err, HasSubstr(" of 63 records ("));
  EXPECT_THAT(load.err, HasSubstr("load the file again"));

  // The cable comes out 300 ms after the port opens: the first record without an answer ends the
  // load by itself, about a second later, and says how many records the drive took.
  CliProcess unplugged({"--port", "sim", "--sim-faults", "unplug-ms=300", "load", "drive.qmx"}, dir_);
  ASSERT_TRUE(unplugged.waitForEnd()) << unplugged.err;
  EXPECT_EQ(unplugged.code(), kExitDrive) << unplugged.err;
  EXPECT_THAT(unplugged.err, HasSubstr(" of 63 records; record "));
  EXPECT_THAT(unplugged.err, HasSubstr(" got no answer"));
}

TEST_F(CliSignals, SigintEndsAWatchOfADeadDrive) {
  CliProcess watch({"--port", "sim", "--sim-faults", "unplug-ms=0", "status", "--watch", "--json"}, dir_);
  ASSERT_TRUE(watch.waitForError("no answer")) << watch.err;
  ASSERT_TRUE(watch.signalAndWait(SIGINT)) << "still running 30 s after Ctrl-C";
  EXPECT_EQ(watch.code(), 130) << watch.err;
  EXPECT_THAT(watch.err, HasSubstr("axtune-cli: cancelled; the watch ended after "));
  EXPECT_THAT(watch.err, HasSubstr("no status from the drive on sim in "));
  EXPECT_THAT(watch.out, HasSubstr("\"exitCode\": 130"));
}

TEST_F(CliSignals, SigintWhileTheFlashKernelLoadsLeavesTheFlashUntouched) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  CliProcess flash({"--port", "sim", "--sim-real-time", "--sim-flash", "F28335", "flash", kFirmware, "--yes",
                    "--processor", "F28335"},
                   dir_);
  ASSERT_TRUE(flash.waitForError("connecting (loading the flash kernel): ")) << flash.err;
  ASSERT_TRUE(flash.signalAndWait(SIGINT)) << "still running 30 s after Ctrl-C";
  EXPECT_EQ(flash.code(), 130) << flash.err;
  // Nothing was erased: the drive was reset through DTR and runs its firmware again.
  EXPECT_THAT(flash.err,
              HasSubstr("axtune-cli: cancelled; nothing was erased; the drive runs its firmware again"));
}

// At a terminal flash asks to switch the drive on and waits for Enter; Ctrl-C there must not wait too.
TEST_F(CliSignals, SigintAtTheSwitchOnPromptEndsTheFlashAtOnce) {
  if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  CliProcess flash({"--port", "sim", "--sim-real-time", "--sim-flash", "F28335", "flash", kFirmware,
                    "--processor", "F28335"},
                   dir_,
                   /*terminal=*/true);
  ASSERT_TRUE(flash.waitForError("then press Enter")) << flash.err;
  ASSERT_TRUE(flash.signalAndWait(SIGINT)) << "still waiting for Enter 30 s after Ctrl-C";
  EXPECT_EQ(flash.code(), 130) << flash.err;
  EXPECT_THAT(flash.err,
              HasSubstr("axtune-cli: cancelled; nothing was erased; the drive runs its firmware again"));
}

}  // namespace
}  // namespace axtune::cli::testing
