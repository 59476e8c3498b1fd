// The GUI's processor share (idle, and with the trend window open) and the COFF reader's throughput.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench/table/bench_support.h"
#include "coff_writer.h"
#include "firmware/coff/coff_reader.h"

extern char** environ;

namespace axtune::bench {
namespace {

// User plus system time of a process so far, in seconds (fields 14 and 15 of /proc/PID/stat).
double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');  // the command name may hold blanks
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Resident memory of a process in kB (VmRSS in /proc/PID/status), -1 when unknown.
long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

}  // namespace

Row IdleGuiRow(const Programs& programs, int seconds) {
  return GuiCpuRow(programs, Format("idle GUI: axtune --simulate, connected, over %d s", seconds), {},
                   seconds, 2.0);
}

Row GuiCpuRow(const Programs& programs, const std::string& what, const std::vector<std::string>& options,
              int seconds, double goalPercent) {
  Row row;
  row.what = what;
  row.goal = Format("< %g %% of a core", goalPercent);
  if (programs.axtune.empty() || access(programs.axtune.c_str(), X_OK) != 0) {
    row.measured = "left out: the GUI is not built";
    return row;
  }
  // Without a display the GUI runs on Qt's offscreen platform; it still polls and paints.
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  if (getenv("DISPLAY") == nullptr && getenv("WAYLAND_DISPLAY") == nullptr)
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = {programs.axtune, "--simulate"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    row.measured = "failed: the GUI did not start";
    row.ok = false;
    return row;
  }
  // Start, identify, first pages shown (and a trend's made-up history filled).
  std::this_thread::sleep_for(std::chrono::seconds(options.empty() ? 3 : 6));
  const double before = CpuSeconds(pid);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double after = CpuSeconds(pid);
  const double wall = Seconds(start, Clock::now());
  const long rssKb = ResidentKb(pid);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  if (before < 0 || after < 0) {
    row.measured = "failed: the GUI ended early";
    row.ok = false;
    return row;
  }
  const double share = 100.0 * (after - before) / wall;
  row.measured =
      Format("%.2f %% (%.2f s of processor time, %ld MB resident)", share, after - before, rssKb / 1024);
  row.ok = share < goalPercent;
  return row;
}

Row CoffRow() {
  Row row;
  row.what = "COFF reading: open a 2 MB C28x file and read its 32 loadable sections";
  coff::testing::Image image;
  for (int i = 0; i < 32; ++i) {
    const uint32_t address = 0x300000u + static_cast<uint32_t>(i) * 0x8000u;
    image.sections.emplace_back(".text" + std::to_string(i), address, address, 32 * 1024,
                                coff::testing::pattern(64 * 1024, static_cast<uint8_t>(i)));
  }
  const coff::testing::TempFile file(coff::testing::build(image));
  std::vector<uint8_t> buffer(64 * 1024);
  uint64_t bytes = 0;
  int rounds = 0;
  const auto start = Clock::now();
  while (Seconds(start, Clock::now()) < 1.0) {
    CoffHandle* handle = nullptr;
    if (COFFR_FileOpen(file.path().c_str(), nullptr, &handle) != 0) {
      row.measured = "failed: the file did not open";
      row.ok = false;
      return row;
    }
    for (uint16_t n = 1; n <= handle->info->fileHeader.sectionCount; ++n) {
      if (COFFR_IsLoadSection(handle, n) != 0) continue;
      uint32_t got = 0;
      COFFR_GetSectData(handle, n, buffer.data(), 0, static_cast<uint32_t>(buffer.size()), &got);
      bytes += got;
    }
    COFFR_FileClose(handle);
    ++rounds;
  }
  const double elapsed = Seconds(start, Clock::now());
  row.measured = Format("%.0f MB/s (%d rounds)", static_cast<double>(bytes) / elapsed / 1e6, rounds);
  return row;
}

}  // namespace axtune::bench
