// doctor looks at what Linux puts between a program and a serial adapter (groups, udev, ModemManager,
// brltty, /proc); Windows has none of that.
#include "cli/cli_internal.h"

namespace axtune::cli {

int CmdDoctor(Context& context) {
  return Fail(context, kExitUsage,
              "doctor is for Linux; on Windows the Device Manager shows the COM ports and their drivers");
}

}  // namespace axtune::cli
