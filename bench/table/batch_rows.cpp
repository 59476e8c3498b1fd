// A production line: four qmx-sim drives updated at once by axtune-cli batch, against one drive
// updated by axtune-cli flash alone. Every drive has its own line, so the four should take the time
// of one as long as the processes wait on their lines instead of taking turns on the two cores.
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "bench/table/bench_support.h"
#include "tests/firmware/programmer/qmx_sim_process.h"

namespace axtune::bench {

int RunQuietly(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr ||
        std::freopen("/dev/null", "w", stderr) == nullptr)
      ::_exit(126);
    ::execv(program.c_str(), pointers.data());
    ::_exit(127);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

Row BatchRow(const Programs& programs, const std::string& cli) {
  Row row;
  row.what =
      "four qmx-sim drives over RFC 2217 updated at once (`axtune-cli batch -- flash`) against one "
      "(`axtune-cli flash`), c28x_f28335_debug_flash.out with the default rates";
  row.goal = "<= 1.2 x one";
  std::vector<std::unique_ptr<test::QmxSimProcess>> sims;
  std::string error;
  for (int i = 0; i < 4; ++i) {
    sims.push_back(std::make_unique<test::QmxSimProcess>());
    // Over RFC 2217 the drive has its DTR line: it is reset after the update and answers again, as
    // on a serial cable (a pseudo-terminal has no DTR, and the update ends waiting for a power cycle).
    if (!sims.back()->start(programs.qmxSim, {"--quiet", "--flash-geometry", "F28335", "--rfc2217", "0"},
                            error)) {
      row.measured = "qmx-sim did not start: " + error;
      row.ok = false;
      return row;
    }
  }
  auto start = Clock::now();
  // The simulated F28335 is named, as a user names the processor of such a drive.
  const int one = RunQuietly(
      cli, {"--port", sims[0]->device(), "flash", programs.firmware, "--yes", "--processor", "F28335"});
  const double oneSeconds = Seconds(start, Clock::now());
  std::vector<std::string> args = {"batch"};
  for (auto& sim : sims) args.insert(args.end(), {"--port", sim->device()});
  args.insert(args.end(), {"--", "flash", programs.firmware, "--yes", "--processor", "F28335"});
  start = Clock::now();
  const int four = RunQuietly(cli, args);
  const double fourSeconds = Seconds(start, Clock::now());
  if (one != 0 || four != 0) {
    row.measured = Format("failed (flash exit %d, batch exit %d)", one, four);
    row.ok = false;
    return row;
  }
  row.measured = Format("%.2f s", fourSeconds);
  row.reference = Format("%.2f s (one drive)", oneSeconds);
  row.ratio = fourSeconds / oneSeconds;
  row.ok = row.ratio <= 1.2;
  return row;
}

}  // namespace axtune::bench
