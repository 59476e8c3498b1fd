// The command line of axtune. Arguments that are not options of axtune are ignored, as are the
// ones Qt itself takes (-platform, -style, ...).
#pragma once

#include <string>
#include <vector>

#include "res/strings.h"

namespace axtune {

struct AppOptions {
  Language language = Language::English;
  bool simulate = false;               // --simulate: the in-process simulated drive on COM1
  std::string simProcessor = "F2808";  // --sim-processor=F2808|F28335: the simulated drive's processor
  bool help = false;                   // --help, -h
  bool version = false;                // --version
  std::string screenshot;              // --screenshot=FILE: render the connected window to FILE and exit
  int trendMs = 0;                     // --trend[=MS]: open the trend window, sampling every MS (100)
  double trendHistoryMinutes = 0;      // --trend-history=MIN: start it with MIN minutes of made-up history
  std::vector<std::string> ignored;    // "--" options axtune does not know
};

AppOptions ParseAppOptions(int argc, const char* const* argv);

}  // namespace axtune
