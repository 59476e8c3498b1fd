// The user's data folder on Windows: the local application data folder.
#include <cstdlib>
#include <string>

#include "core/update_log.h"

namespace axtune {

std::string AxtuneDataDirectory() {
  const char* local = std::getenv("LOCALAPPDATA");
  if (local != nullptr && local[0] != '\0') return std::string(local) + "\\axtune";
  const char* profile = std::getenv("USERPROFILE");
  if (profile != nullptr && profile[0] != '\0') return std::string(profile) + "\\AppData\\Local\\axtune";
  return {};
}

}  // namespace axtune
