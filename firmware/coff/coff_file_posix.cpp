// File access for POSIX systems (fseeko with a 64-bit off_t).
#include <sys/types.h>

#include <limits>

#include "firmware/coff/coff_file.h"

namespace axtune::coff {

FILE* openForReading(const char* path) {
  return std::fopen(path, "rb");
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
