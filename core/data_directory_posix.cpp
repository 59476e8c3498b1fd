// The user's data folder on Linux and other POSIX systems, after the XDG base directories.
#include <cstdlib>
#include <string>

#include "core/update_log.h"

namespace axtune {

std::string AxtuneDataDirectory() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/axtune";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share/axtune";
  return {};
}

}  // namespace axtune
