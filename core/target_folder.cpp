#include "core/target_folder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace axtune {

std::string TargetFolderProblem(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) return "the folder " + folder.string() + " does not exist";
  if (!fs::is_directory(status)) return folder.string() + " is not a folder";
  // A probe file beside the target, as the atomic write makes its temporary file there: permission,
  // a read-only mount and a full directory all show the way the real write would meet them.
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path probe = folder / (".axtune-probe-" + std::to_string(stamp));
  errno = 0;
  std::FILE* file = std::fopen(probe.string().c_str(), "wb");
  if (file == nullptr) {
    const int reason = errno;
    return "cannot create a file in the folder " + folder.string() +
           (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string());
  }
  std::fclose(file);
  fs::remove(probe, error);
  return {};
}

}  // namespace axtune
