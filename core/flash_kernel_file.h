// A flash kernel chosen at run time (a file instead of the one built into the programmer): checked
// before anything is sent, and the question whether the built-in kernel is only the stand-in.
#pragma once

#include <string>

namespace axtune {

struct KernelFileCheck {
  bool ok = false;
  std::string message;  // why the file is refused, naming it
};

// A flash kernel must be a linked C28x COFF image whose loadable sections all lie in the processor's
// RAM (the boot ROM copies them there and jumps to the entry point), each one no longer than a boot
// table block can say (65535 words).
KernelFileCheck CheckKernelFile(const std::string& path);

// The built-in kernel is the generated stand-in, which only the simulated processor runs: it cannot
// program a real drive.
bool BuiltInKernelIsStandIn();

// What both front ends say before the stand-in is used on a port that is not the built-in
// simulated drive; `howToGive` is the front end's way to name the real kernel.
std::string StandInKernelWarning(const std::string& port, const std::string& howToGive);

}  // namespace axtune
