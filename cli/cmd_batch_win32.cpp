// batch starts one child axtune-cli per drive through POSIX processes and pipes; the Windows build
// does not have that yet.
#include "cli/cli_internal.h"

namespace axtune::cli {

int CmdBatch(Context& context) {
  return Fail(context, kExitUsage,
              "batch is not available on Windows yet; run one axtune-cli per drive (start /b) instead");
}

}  // namespace axtune::cli
