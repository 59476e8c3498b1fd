#include "app/app_options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace axtune {

AppOptions ParseAppOptions(int argc, const char* const* argv) {
  AppOptions options;
  options.language = ChooseLanguage(argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    const std::string arg = argv[i];
    if (arg == "--simulate") {
      options.simulate = true;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.help = true;
    } else if ((arg == "--sim-processor" && i + 1 < argc && argv[i + 1] != nullptr) ||
               arg.rfind("--sim-processor=", 0) == 0) {
      // An unknown name is kept and refused at start, so the user hears of the typo.
      options.simProcessor =
          arg == "--sim-processor" ? std::string(argv[++i]) : arg.substr(arg.find('=') + 1);
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg.rfind("--screenshot=", 0) == 0) {
      options.screenshot = arg.substr(std::strlen("--screenshot="));
    } else if (arg == "--trend") {
      options.trendMs = 100;
    } else if (arg.rfind("--trend=", 0) == 0) {
      options.trendMs = std::clamp(std::atoi(arg.c_str() + std::strlen("--trend=")), 1, 10000);
    } else if (arg.rfind("--trend-history=", 0) == 0) {
      options.trendHistoryMinutes =
          std::clamp(std::atof(arg.c_str() + std::strlen("--trend-history=")), 0.0, 30.0);
      if (options.trendMs == 0) options.trendMs = 100;
    } else if (arg == "/english" || arg == "--lang=en" || arg == "--lang=de") {
      // taken by ChooseLanguage
    } else if (arg.rfind("--", 0) == 0) {
      options.ignored.push_back(arg);
    }
  }
  return options;
}

}  // namespace axtune
