// axtune-cli: the scriptable front end. The program's main() only gathers what the terminal offers
// and calls RunCli, so the tests run every subcommand in-process.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace axtune::sim {
class SimulatedDrive;
}

namespace axtune::cli {

// Exit codes.
enum ExitCode : int {
  kExitOk = 0,
  kExitDrive = 1,        // drive or link failure (port cannot be opened, no drive answering, transfer failed)
  kExitUsage = 2,        // bad command line
  kExitFile = 3,         // a file cannot be read or written, or its content is refused
  kExitCancelled = 130,  // stopped by SIGINT or SIGTERM (128 + SIGINT, as shells report Ctrl-C)
};

struct CliEnvironment {
  std::istream* input = nullptr;  // where answers to prompts come from
  bool interactive = false;       // input is a terminal, so the tool may ask
  bool progressTerminal = false;  // the error stream is a terminal: draw a progress bar
  // Set (by SIGINT or SIGTERM) to cancel save, load, flash and status --watch; the command ends
  // within a second with kExitCancelled, its port closed and no partial file left.
  const std::atomic<bool>* stop = nullptr;
  // True once `input` holds something to read, false after `ms` milliseconds without: a prompt
  // waits in slices and looks at `stop` between them, so a Ctrl-C that comes just before the read
  // starts cannot leave it waiting for Enter. Empty: the prompt reads at once.
  std::function<bool(int ms)> inputReady;
  // A simulated drive already registered under simDeviceName; --port sim then uses it instead of
  // creating its own (tests inspect it afterwards).
  std::shared_ptr<sim::SimulatedDrive> simDrive;
  std::string simDeviceName;
  // This program's executable, which batch starts once per drive (main() sets it; tests give the
  // built axtune-cli).
  std::string programPath;
  // Turns the report's HTML into a PDF file (html, path, error): set by a program built with Qt.
  // Empty: report writes HTML only and refuses FILE.pdf with a reason.
  std::function<bool(const std::string&, const std::string&, std::string&)> writePdf;
};

// Runs one command line (without the program name). Results go to `out`, diagnostics and progress
// to `err`. Returns the exit code.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment);

}  // namespace axtune::cli
