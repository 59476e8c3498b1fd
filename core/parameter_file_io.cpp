// Reading parameter files from disk: whole-file reads that refuse devices and FIFOs. (Saves go
// through the one atomic writer in core/save_target.)
#include <algorithm>
#include <cerrno>
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
