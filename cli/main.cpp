// axtune-cli: gathers what the terminal offers (is there a person to ask, can a progress bar be
// drawn, Ctrl-C) and runs the command line.
#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "res/strings.h"

#ifdef _WIN32
#include <io.h>
#define AXTUNE_ISATTY _isatty
#define AXTUNE_FILENO _fileno
#else
#include <unistd.h>
#define AXTUNE_ISATTY isatty
#define AXTUNE_FILENO fileno
#endif

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnInterrupt(int) {
  g_stop = true;
}

}  // namespace

int main(int argc, char** argv) {
  axtune::SetLanguage(axtune::ChooseLanguage(argc, argv));
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  axtune::cli::CliEnvironment environment;
  environment.input = &std::cin;
  environment.interactive = AXTUNE_ISATTY(AXTUNE_FILENO(stdin)) != 0;
  environment.progressTerminal = AXTUNE_ISATTY(AXTUNE_FILENO(stderr)) != 0;
  environment.stop = &g_stop;

  const std::vector<std::string> args(argv + 1, argv + argc);
  const int code = axtune::cli::RunCli(args, std::cout, std::cerr, environment);
  std::cout.flush();
  return code;
}
