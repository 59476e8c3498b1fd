// flash --kernel FILE, and the word before the built-in stand-in kernel goes to a real port.
#include <istream>
#include <ostream>

#include "cli/cli_internal.h"
#include "core/flash_kernel_file.h"
#include "link/in_process_port.h"

namespace axtune::cli {

int ChooseFlashKernel(Context& context, FlashKernelChoice& choice) {
  const Options& options = context.options;
  choice.file = options.kernel;
  if (!choice.file.empty()) {
    const KernelFileCheck check = CheckKernelFile(choice.file);
    if (!check.ok) return Fail(context, kExitFile, check.message + "; nothing was sent");
    return kExitOk;
  }
  choice.standIn = BuiltInKernelIsStandIn();
  // The built-in simulated drive is what the stand-in is for.
  if (!choice.standIn || options.port == kSimPort || isInProcessPort(options.port)) return kExitOk;
  choice.warned = true;
  Warn(context, StandInKernelWarning(options.port.empty() ? std::string("the port") : options.port,
                                     "with --kernel FILE"));
  if (context.env.interactive && !options.yes && context.env.input != nullptr) {
    context.err << "Go on with the stand-in kernel anyway? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(*context.env.input, answer) || (answer != "y" && answer != "Y" && answer != "yes")) {
      if (!context.env.input->good()) context.err << '\n';
      return Fail(context, kExitDrive, "not started; nothing was sent to the drive");
    }
  }
  return kExitOk;
}

}  // namespace axtune::cli
