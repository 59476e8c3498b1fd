// Reading and writing parameter files on disk: whole-file reads that refuse devices and FIFOs, and
// saves that replace an existing file only once the new one is complete.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/input_file.h"
#include "core/parameter_file.h"
#include "core/save_target.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace axtune {
namespace {

// Opens a regular file for reading; a FIFO or device that took the place of the checked file in the
// meantime is refused on the open descriptor without blocking.
std::FILE* OpenRegularFileForReading(const std::string& path) {
#ifdef _WIN32
  return std::fopen(path.c_str(), "rb");
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
#endif
}

std::string SystemReason(const std::error_code& error) {
  return error.message();
}

// A read-only mount is named as such: its errno text alone reads like a permission problem.
std::string ErrnoReason(int error) {
  return FileErrorReason(error);
}

}  // namespace

std::string AbsoluteFilePath(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), error);
  if (error) return path;
  return absolute.lexically_normal().string();
}

FileWriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                                    const CancelCheck& cancelled) {
  namespace fs = std::filesystem;
  FileWriteResult result;
  fs::path target(path);
  if (target.filename().empty()) {
    result.reason = "no file name given";
    return result;
  }
  std::error_code error;
  if (fs::is_directory(target, error)) {
    result.reason = path + " is a folder";
    return result;
  }
  // Replacing an existing file must do what overwriting it in place would: write through a symbolic
  // link, refuse a file that may not be written, and keep the file's permissions.
  if (fs::is_symlink(fs::symlink_status(target, error))) {
    fs::path resolved = fs::canonical(target, error);
    if (!error) target = std::move(resolved);  // a dangling link is replaced like a missing file
  }
  const fs::file_status existing = fs::status(target, error);
  const bool replacing = !error && fs::is_regular_file(existing);
  // Renaming over a device or a FIFO would replace it with a regular file (/dev/null, say).
  if (!error && fs::exists(existing) && !replacing) {
    result.reason = "cannot save to " + path + ": it is not a regular file (a device, FIFO or socket)";
    return result;
  }
  if (replacing) {
    constexpr fs::perms kWriteBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    bool writable = (existing.permissions() & kWriteBits) != fs::perms::none;
    int denied = EACCES;
#ifndef _WIN32
    if (writable && ::access(target.c_str(), W_OK) != 0) {
      writable = false;
      denied = errno;
    }
#endif
    if (!writable) {
      result.reason =
          "cannot write " + path + ": " +
          (denied == EROFS ? ErrnoReason(EROFS) : ErrnoReason(EACCES) + " (the file is read-only)");
      return result;
    }
  }
  // A unique name beside the target, so the rename stays on one file system.
  static std::atomic<unsigned> counter{0};
  fs::path temporary = target;
  temporary += ".tmp" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
               std::to_string(counter++);

  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (file == nullptr) {
    // The temporary name means nothing to the user: say what is wrong with the file's folder.
    const int openErrno = errno;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::exists(folder, error)) {
      result.reason = "cannot save " + path + ": the folder " + folder.string() + " does not exist (" +
                      ErrnoReason(openErrno) + ")";
    } else if (!fs::is_directory(folder, error)) {
      result.reason = "cannot save " + path + ": " + folder.string() + " is not a folder (" +
                      ErrnoReason(openErrno) + ")";
    } else {
      result.reason =
          "cannot save " + path + " in the folder " + folder.string() + ": " + ErrnoReason(openErrno);
    }
    return result;
  }
  const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
  int writeErrno = written == bytes.size() ? 0 : (errno != 0 ? errno : EIO);
  if (writeErrno == 0 && std::fflush(file) != 0) writeErrno = errno != 0 ? errno : EIO;
#ifndef _WIN32
  if (writeErrno == 0 && ::fsync(::fileno(file)) != 0) writeErrno = errno;
#endif
  if (std::fclose(file) != 0 && writeErrno == 0) writeErrno = errno != 0 ? errno : EIO;
  if (writeErrno != 0) {
    fs::remove(temporary, error);
    result.reason = "cannot write " + path + ": " + ErrnoReason(writeErrno);
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
    result.reason = "cannot replace " + path + ": " + SystemReason(error);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return result;
  }
  result.ok = true;
  result.bytesWritten = bytes.size();
  return result;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason,
                   size_t maxBytes) {
  bytes.clear();
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    reason = path + " is a folder";
    return false;
  }
  if (std::string problem = NonRegularInputProblem(path); !problem.empty()) {
    reason = std::move(problem);
    return false;
  }
  std::FILE* file = OpenRegularFileForReading(path);
  if (file == nullptr) {
    reason = "cannot open " + path + ": " + ErrnoReason(errno);
    return false;
  }
  uint8_t chunk[4096];
  size_t n = 0;
  while (bytes.size() < maxBytes &&
         (n = std::fread(chunk, 1, std::min(sizeof chunk, maxBytes - bytes.size()), file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  const bool failed = std::ferror(file) != 0;
  const int readErrno = errno;
  std::fclose(file);
  if (failed) {
    reason = "cannot read " + path + ": " + ErrnoReason(readErrno != 0 ? readErrno : EIO);
    bytes.clear();
    return false;
  }
  return true;
}

}  // namespace axtune
