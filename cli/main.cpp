// axtune-cli: gathers what the terminal offers (is there a person to ask, can a progress bar be
// drawn, Ctrl-C and SIGTERM) and runs the command line.
#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#ifdef AXTUNE_HAVE_PDF
#include "report/report_pdf.h"
#endif
#include "res/strings.h"

#ifdef _WIN32
#include <io.h>
#define AXTUNE_ISATTY _isatty
#define AXTUNE_FILENO _fileno
#else
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#define AXTUNE_ISATTY isatty
#define AXTUNE_FILENO fileno
#endif

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// The first SIGINT or SIGTERM asks the running command to stop (it ends within a second, closes the
// port and removes what it had half written); the handler then steps aside, so a second one ends the
// process at once.
extern "C" void OnInterrupt(int) {
  g_stop = true;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

void InstallInterruptHandlers() {
#ifdef _WIN32
  std::signal(SIGINT, OnInterrupt);  // Ctrl-C in the console; Windows has no SIGTERM to send
  std::signal(SIGTERM, OnInterrupt);
#else
  // Without SA_RESTART: a read from the terminal (the switch-on prompt of flash) returns at once
  // instead of waiting for Enter. The waits on ports and clocks go on by themselves after EINTR.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

// This program's file, which batch starts for each drive.
std::string ProgramPath(const char* argv0) {
#ifdef __linux__
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) return std::string(path, static_cast<size_t>(n));
#endif
  return argv0;
}

}  // namespace

int main(int argc, char** argv) {
  axtune::SetLanguage(axtune::ChooseLanguage(argc, argv));
  InstallInterruptHandlers();

  axtune::cli::CliEnvironment environment;
  environment.input = &std::cin;
  environment.interactive = AXTUNE_ISATTY(AXTUNE_FILENO(stdin)) != 0;
  environment.progressTerminal = AXTUNE_ISATTY(AXTUNE_FILENO(stderr)) != 0;
  environment.stop = &g_stop;
#ifndef _WIN32
  environment.inputReady = [](int ms) {
    pollfd standardInput{STDIN_FILENO, POLLIN, 0};
    return poll(&standardInput, 1, ms) != 0;  // readable, at its end, or failed: the read tells
  };
#endif
  environment.programPath = ProgramPath(argc > 0 ? argv[0] : "axtune-cli");
#ifdef AXTUNE_HAVE_PDF
  environment.writePdf = axtune::WriteHtmlAsPdf;
#endif

  const std::vector<std::string> args(argv + 1, argv + argc);
  const int code = axtune::cli::RunCli(args, std::cout, std::cerr, environment);
  std::cout.flush();
  return code;
}
