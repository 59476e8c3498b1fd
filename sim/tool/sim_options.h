// Command-line options of qmx-sim: every setting of the simulated drive, plus the tool's own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace axtune::sim {

struct ToolOptions {
  SimConfig config;
  std::string linkPath;  // a symbolic link to the pty, for a stable name
  std::string rfc2217;   // "[ADDR:]PORT": serve over the network instead of a pseudo-terminal
  uint32_t idleTimeoutS = 600;
  bool dtrFollowsClient = false;     // --dtr-follows-client
  bool answerModemStateMask = true;  // --no-modemstate-mask-answer clears it  // --idle-timeout: a network
                                     // client silent this long is dropped (0: never)
  bool help = false;
  bool version = false;  // --version
  bool quiet = false;
};

// Parses argv[1..]; false with `error` set when an option is unknown or its value is not valid.
bool ParseToolOptions(const std::vector<std::string>& args, ToolOptions& options, std::string& error);
std::string ToolHelpText();

}  // namespace axtune::sim
