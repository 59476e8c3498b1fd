// The few file operations the reader needs, with 64-bit offsets on every platform. The Windows
// variant opens UTF-8 paths through the wide-character API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace axtune::coff {

// Opens a UTF-8 path for reading as untranslated bytes; nullptr when it cannot be opened.
FILE* openForReading(const char* path);

// Positions the stream at an absolute offset; false when the seek fails.
bool seekTo(FILE* file, uint64_t offset);

// Reads up to `count` bytes; returns how many were read.
size_t readBytes(FILE* file, void* buffer, size_t count);

// Seeks and reads exactly `count` bytes; false on any failure or short read.
inline bool readAt(FILE* file, uint64_t offset, void* buffer, size_t count) {
  return seekTo(file, offset) && readBytes(file, buffer, count) == count;
}

}  // namespace axtune::coff
