// qmx-sim: the simulated QMX10 drive on a pseudo-terminal or as an RFC 2217 network device server.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "axtune_version.h"
#include "sim/drive_firmware.h"
#include "sim/simulated_drive.h"
#include "sim/tool/pty_server.h"
#include "sim/tool/rfc2217_server.h"
#include "sim/tool/sim_options.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t powerCycleRequested = 0;

void onStop(int) {
  stopRequested = 1;
}
void onPowerCycle(int) {
  powerCycleRequested = 1;
}

int Serve(int argc, char** argv);

}  // namespace

// Nothing a library throws ends qmx-sim with an abort: a message and exit code 3 instead.
int main(int argc, char** argv) {
  try {
    return Serve(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qmx-sim: stopped: %s\n", e.what());
    return 3;
  }
}

namespace {

int Serve(int argc, char** argv) {
  using namespace axtune::sim;
  ToolOptions options;
  std::string error;
  if (!ParseToolOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "qmx-sim: %s\n", error.c_str());
    return 2;
  }
  if (options.version) {
    std::printf("qmx-sim %s\n", AXTUNE_VERSION);
    return 0;
  }
  if (options.help) {
    std::fputs(ToolHelpText().c_str(), stdout);
    return 0;
  }
  options.config.timeMode = TimeMode::Real;

  struct sigaction action = {};
  action.sa_handler = onStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  action.sa_handler = onPowerCycle;
  sigaction(SIGUSR1, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  SimulatedDrive drive(options.config);
  PtyServer pty(drive);
  Rfc2217Server network(drive);
  network.setClientTimeouts(5000, options.idleTimeoutS * 1000);
  network.setStyle({options.dtrFollowsClient, options.answerModemStateMask});
  const bool overNetwork = !options.rfc2217.empty();
  if (overNetwork ? !network.open(options.rfc2217, error) : !pty.open(error)) {
    std::fprintf(stderr, "qmx-sim: %s\n", error.c_str());
    return 1;
  }
  const std::string where = overNetwork ? network.url() : pty.devicePath();
  std::printf("%s\n", where.c_str());
  std::fflush(stdout);
  if (!options.linkPath.empty() && !overNetwork) {
    if (!pty.setLink(options.linkPath)) {
      std::fprintf(stderr, "qmx-sim: cannot create the link %s\n", options.linkPath.c_str());
      options.linkPath.clear();
    }
  } else if (!options.linkPath.empty()) {
    std::fprintf(stderr, "qmx-sim: --link applies to the pseudo-terminal only\n");
    options.linkPath.clear();
  }
  drive.withFirmware([](DriveFirmware& firmware) {
    if (!firmware.imageWarning().empty()) {
      std::fprintf(stderr, "qmx-sim: %s; starting with factory parameters\n",
                   firmware.imageWarning().c_str());
    }
  });
  if (!options.quiet) {
    std::fprintf(stderr, "qmx-sim: QMX10 drive (type %u, firmware %u.%u.%u) on %s; Ctrl+C ends\n",
                 options.config.reportedDeviceType(), options.config.firmwareMajor,
                 options.config.firmwareMinor, options.config.firmwareBuild, where.c_str());
  }

  if (overNetwork) {
    network.run(stopRequested, powerCycleRequested, STDIN_FILENO, options.quiet);
  } else {
    pty.run(stopRequested, powerCycleRequested, STDIN_FILENO, options.quiet);
  }

  int result = 0;
  if (!options.config.flashExportPath.empty()) {
    if (drive.writeFlashExport(&error)) {
      if (!options.quiet)
        std::fprintf(stderr, "qmx-sim: flash written to %s\n", options.config.flashExportPath.c_str());
    } else {
      std::fprintf(stderr, "qmx-sim: flash not written: %s\n", error.c_str());
      result = 1;
    }
  }
  if (!options.linkPath.empty()) pty.removeLink();
  return result;
}

}  // namespace
