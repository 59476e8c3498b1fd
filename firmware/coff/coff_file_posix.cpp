// File access for POSIX systems (fseeko with a 64-bit off_t).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include <limits>

#include "firmware/coff/coff_file.h"

namespace axtune::coff {

// Only a regular file is opened: opening a FIFO would block until a writer comes, and a device
// never ends. The file is opened without blocking, checked on the descriptor itself (so it cannot be
// swapped between a check and the open), and only then put in blocking mode.
FILE* openForReading(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
}

bool seekTo(FILE* file, uint64_t offset) {
  static_assert(sizeof(off_t) >= 8, "the reader needs 64-bit file offsets");
  if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
  std::clearerr(file);
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

size_t readBytes(FILE* file, void* buffer, size_t count) {
  if (count == 0) return 0;
  return std::fread(buffer, 1, count, file);
}

}  // namespace axtune::coff
