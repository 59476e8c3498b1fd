#include "core/save_target.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace axtune {
namespace {

namespace fs = std::filesystem;

// This program's start, on the clock the file system stamps files with (set when the library loads).
const fs::file_time_type kRunStart = fs::file_time_type::clock::now();

bool IsSaveTemporaryOf(const std::string& name, const std::string& target) {
  const std::string prefix = target + ".tmp";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string rest = name.substr(prefix.size());
  const size_t dash = rest.find('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == rest.size()) return false;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (i != dash && (rest[i] < '0' || rest[i] > '9')) return false;
  }
  return true;
}

}  // namespace

std::string SaveTargetLookupProblem(const fs::path& target, const std::string& shownPath) {
  std::error_code error;
  (void)fs::symlink_status(target, error);
  if (!error) (void)fs::status(target, error);  // follows a link: a loop shows here
  if (!error || error == std::errc::no_such_file_or_directory) return {};
  return "cannot save to " + shownPath + ": " + FileErrorReason(error.value());
}

std::string TargetFolderProblem(const std::string& path) {
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
           (reason != 0 ? ": " + FileErrorReason(reason) : std::string());
  }
  std::fclose(file);
  fs::remove(probe, error);
  return {};
}

std::string FileErrorReason(int error) {
  if (error == EROFS) return "the file system is read-only (mounted read-only)";
  return std::error_code(error, std::generic_category()).message();
}

int RemoveStaleSaveTemporaries(const fs::path& target) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string name = target.filename().string();
  std::error_code error;
  fs::directory_iterator it(folder, error);
  int removed = 0;
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const fs::path candidate = it->path();
    if (!IsSaveTemporaryOf(candidate.filename().string(), name)) continue;
    std::error_code ignored;
    if (!fs::is_regular_file(fs::symlink_status(candidate, ignored))) continue;
    const fs::file_time_type written = fs::last_write_time(candidate, ignored);
    if (ignored || written >= kRunStart) continue;
    if (fs::remove(candidate, ignored)) ++removed;
  }
  return removed;
}

}  // namespace axtune
