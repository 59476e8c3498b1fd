#include "core/save_target.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

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

std::atomic<int> injectedWriteError{0};

std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to) {
  if (const size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Where a write to `path` lands: the file itself, or the file a symbolic link (a chain of them)
// resolves to. A link that loops or dangles is refused: writing there would replace the link with a
// regular file, or create a file the user never named.
bool ResolveWriteTarget(const std::string& path, fs::path& target, std::string& reason) {
  target = fs::path(path);
  std::error_code error;
  const fs::file_status own = fs::symlink_status(target, error);
  if (error && error != std::errc::no_such_file_or_directory) {
    reason = "cannot save to " + path + ": " + FileErrorReason(error.value());
    return false;
  }
  if (!fs::is_symlink(own)) {
    reason = SaveTargetLookupProblem(target, path);
    return reason.empty();
  }
  fs::path resolved = fs::canonical(target, error);
  if (error == std::errc::too_many_symbolic_link_levels) {
    reason = "cannot save to " + path + ": the symbolic link loops (" + FileErrorReason(error.value()) + ")";
    return false;
  }
  if (error) {
    std::error_code ignored;
    const fs::path points = fs::read_symlink(target, ignored);
    reason = "cannot save to " + path + ": the symbolic link points to " + points.string() +
             ", which does not exist; remove the link or create its target";
    return false;
  }
  target = std::move(resolved);
  return true;
}

// The reason a new file cannot be created in `target`'s folder, in the user's words.
std::string CreateProblem(const std::string& path, const fs::path& target, int openErrno) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code error;
  if (!fs::exists(folder, error))
    return "cannot save " + path + ": the folder " + folder.string() + " does not exist (" +
           FileErrorReason(openErrno) + ")";
  if (!fs::is_directory(folder, error))
    return "cannot save " + path + ": " + folder.string() + " is not a folder (" +
           FileErrorReason(openErrno) + ")";
  return "cannot save " + path + " in the folder " + folder.string() + ": " + FileErrorReason(openErrno);
}

// An existing regular file that may not be written is refused, as writing it in place would be.
std::string ReadOnlyProblem(const std::string& path, const fs::path& target,
                            const fs::file_status& existing) {
  constexpr fs::perms kWriteBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  bool writable = (existing.permissions() & kWriteBits) != fs::perms::none;
  int denied = EACCES;
#ifdef _WIN32
  (void)target;  // the permission bits are all Windows tells
#else
  if (writable && ::access(target.c_str(), W_OK) != 0) {
    writable = false;
    denied = errno;
  }
#endif
  if (writable) return {};
  return "cannot write " + path + ": " +
         (denied == EROFS ? FileErrorReason(EROFS) : FileErrorReason(EACCES) + " (the file is read-only)");
}

// Writes, flushes and closes; the errno of the first failure, 0 when every byte is on the disk.
int WriteAndClose(std::FILE* file, const void* data, size_t size) {
  const int injected = injectedWriteError.load();
  const size_t written = size == 0 ? 0 : std::fwrite(data, 1, size, file);
  int writeErrno = written == size ? 0 : (errno != 0 ? errno : EIO);
  if (writeErrno == 0 && std::fflush(file) != 0) writeErrno = errno != 0 ? errno : EIO;
#ifndef _WIN32
  if (writeErrno == 0 && ::fsync(::fileno(file)) != 0) writeErrno = errno;
#endif
  if (std::fclose(file) != 0 && writeErrno == 0) writeErrno = errno != 0 ? errno : EIO;
  return writeErrno != 0 ? writeErrno : injected;
}

}  // namespace

void InjectWriteErrorForTesting(int error) {
  injectedWriteError = error;
}

FileWriteResult WriteBytesAtomically(const std::string& path, const void* data, size_t size,
                                     const CancelCheck& cancelled) {
  FileWriteResult result;
  if (fs::path(path).filename().empty()) {
    result.reason = "no file name given";
    return result;
  }
  fs::path target;
  if (!ResolveWriteTarget(path, target, result.reason)) return result;
  std::error_code error;
  const fs::file_status existing = fs::status(target, error);
  if (fs::is_directory(existing)) {
    result.reason = path + " is a folder";
    return result;
  }
  const bool replacing = !error && fs::is_regular_file(existing);
  // Renaming over a device or a FIFO would replace it with a regular file (/dev/null, say).
  if (!error && fs::exists(existing) && !replacing) {
    result.reason = "cannot save to " + path + ": it is not a regular file (a device, FIFO or socket)";
    return result;
  }
  if (replacing) {
    result.reason = ReadOnlyProblem(path, target, existing);
    if (!result.reason.empty()) return result;
  }
  // A unique name beside the target, so the rename stays on one file system.
  static std::atomic<unsigned> counter{0};
  fs::path temporary = target;
  temporary += ".tmp" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
               std::to_string(counter++);
  errno = 0;
  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (file == nullptr) {
    // The temporary name means nothing to the user: say what is wrong with the file's folder.
    result.reason = CreateProblem(path, target, errno);
    return result;
  }
  if (const int writeErrno = WriteAndClose(file, data, size); writeErrno != 0) {
    fs::remove(temporary, error);
    result.reason = "cannot write " + path + ": " + FileErrorReason(writeErrno) +
                    (replacing ? "; the old file is kept as it was" : "");
    return result;
  }
  if (cancelled && cancelled()) {
    // The last moment at which the request can still leave everything as it was.
    fs::remove(temporary, error);
    result.cancelled = true;
    result.reason = "cancelled; " + path + " was not written";
    return result;
  }
  if (replacing) {
    std::error_code ignored;
    fs::permissions(temporary, existing.permissions(), ignored);
  }
  fs::rename(temporary, target, error);
  if (error) {
    result.reason = "cannot replace " + path + ": " + error.message();
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return result;
  }
  result.ok = true;
  result.bytesWritten = size;
  return result;
}

FileWriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                                    const CancelCheck& cancelled) {
  return WriteBytesAtomically(path, bytes.data(), bytes.size(), cancelled);
}

FileWriteResult WriteFileAtomicallyFrom(const std::string& path,
                                        const std::function<bool(std::ostream&, std::string&)>& produce) {
  std::ostringstream content;
  FileWriteResult result;
  if (!produce(content, result.reason)) {
    if (result.reason.empty()) result.reason = "cannot write " + path;
    return result;
  }
  const std::string bytes = std::move(content).str();
  return WriteBytesAtomically(path, bytes.data(), bytes.size());
}

std::string SaveTargetLookupProblem(const fs::path& target, const std::string& shownPath) {
  std::error_code error;
  // A symbolic link is written through when it resolves; one that loops or dangles is refused.
  if (fs::is_symlink(fs::symlink_status(target, error))) {
    fs::path resolved;
    std::string reason;
    if (!ResolveWriteTarget(target.string(), resolved, reason))
      return shownPath == target.string() ? reason : ReplaceFirst(reason, target.string(), shownPath);
    return {};
  }
  if (!error) (void)fs::status(target, error);  // follows a link on the way: a loop shows here
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
