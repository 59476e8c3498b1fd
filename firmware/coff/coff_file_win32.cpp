// File access for Windows: UTF-8 paths go through _wfopen, offsets through _fseeki64.
#include <windows.h>

#include <cstdint>
#include <string>

#include "firmware/coff/coff_file.h"

namespace axtune::coff {

FILE* openForReading(const char* path) {
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (length <= 0) return std::fopen(path, "rb");  // not UTF-8: try it as an ANSI name
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), length) <= 0) return nullptr;
  return _wfopen(wide.c_str(), L"rb");
}

bool seekTo(FILE* file, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  std::clearerr(file);
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

size_t readBytes(FILE* file, void* buffer, size_t count) {
  if (count == 0) return 0;
  return std::fread(buffer, 1, count, file);
}

}  // namespace axtune::coff
