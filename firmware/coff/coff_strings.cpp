// The string table: loaded in chunks of at most 65,503 bytes that never split a string, and names
// looked up in them.
#include <cstdlib>
#include <cstring>

#include "firmware/coff/byte_view.h"
#include "firmware/coff/coff_file.h"
#include "firmware/coff/coff_internal.h"

namespace axtune::coff {
namespace {

constexpr uint32_t kChunkCapacity = 65503;
constexpr uint32_t kSizeFieldBytes = 4;
constexpr size_t kZeroTail = 4;

// Length of the complete strings among the first n bytes: the position just after the last NUL.
uint32_t completeLength(const char* bytes, uint32_t n) {
  for (uint32_t end = n; end > 0; --end) {
    if (bytes[end - 1] == '\0') return end;
  }
  return 0;
}

}  // namespace

void freeStrings(CoffImageInfo& info) {
  StringChunk* chunk = info.strings;
  while (chunk) {
    StringChunk* next = chunk->next;
    std::free(chunk);
    chunk = next;
  }
  info.strings = nullptr;
}

int32_t loadStrings(CoffImageInfo& info, FILE* file) {
  freeStrings(info);
  // A size below 4 (no table, or a short read) leaves nothing to load.
  if (info.stringTableSize <= kSizeFieldBytes) return COFFR_OK;
  uint32_t remaining = info.stringTableSize - kSizeFieldBytes;
  uint32_t carry = 0;
  if (!seekTo(file, stringTableOffset(info) + kSizeFieldBytes)) return COFFR_ERR_READ;

  while (remaining != 0) {
    const uint64_t wanted = uint64_t{remaining} + carry;
    const uint32_t n = wanted > kChunkCapacity ? kChunkCapacity : static_cast<uint32_t>(wanted);
    auto* chunk = static_cast<StringChunk*>(std::calloc(1, sizeof(StringChunk) + n + kZeroTail));
    if (!chunk) return COFFR_ERR_MEMORY;

    // The unfinished string at the end of the previous chunk starts this one.
    if (carry != 0) std::memcpy(chunk->bytes, info.strings->bytes + info.strings->length, carry);
    const uint32_t toRead = n - carry;
    if (readBytes(file, chunk->bytes + carry, toRead) != toRead) {
      std::free(chunk);
      return COFFR_ERR_READ;
    }
    remaining -= toRead;

    uint32_t complete = completeLength(chunk->bytes, n);
    // The last chunk keeps everything (an unterminated last string ends at the zero tail), and a
    // single string longer than a chunk is cut at the chunk's end rather than carried for ever.
    if (remaining == 0 || complete == 0) complete = n;
    carry = n - complete;

    chunk->offset = info.strings ? info.strings->offset + info.strings->length : kSizeFieldBytes;
    chunk->length = complete;
    chunk->lengthAgain = complete;
    chunk->next = info.strings;
    info.strings = chunk;
  }
  return COFFR_OK;
}

}  // namespace axtune::coff

using axtune::coff::infoOf;

extern "C" COFFR_API int32_t COFFR_LoadStrings(CoffHandle* handle) {
  CoffImageInfo* info = infoOf(handle);
  if (!info || !handle->file) return COFFR_ERR_ARGUMENT;
  return axtune::coff::loadStrings(*info, handle->file);
}

extern "C" COFFR_API int32_t COFFR_GetSymbolName(CoffHandle* handle, const CoffSymbolEntry* symbol,
                                                 uint32_t bufferLength, char* buffer) {
  CoffImageInfo* info = infoOf(handle);
  if (!info || !handle->file || !symbol || (!buffer && bufferLength != 0)) return COFFR_ERR_ARGUMENT;
  if (bufferLength == 0) return COFFR_OK;

  const char* name = symbol->name;
  if (name[0] != '\0' || name[1] != '\0' || name[2] != '\0' || name[3] != '\0') {
    // An inline name of up to 8 characters, not terminated when it has all 8.
    uint32_t length = 0;
    while (length < sizeof symbol->name && name[length] != '\0') ++length;
    if (length > bufferLength - 1) length = bufferLength - 1;
    std::memcpy(buffer, name, length);
    buffer[length] = '\0';
    return COFFR_OK;
  }

  buffer[0] = '\0';
  uint32_t offset = 0;
  std::memcpy(&offset, name + 4, sizeof offset);
  if (!info->strings) {
    int32_t result = axtune::coff::loadStrings(*info, handle->file);
    if (result != COFFR_OK) return result;
  }
  const StringChunk* chunk = info->strings;
  while (chunk && chunk->offset > offset) chunk = chunk->next;
  if (!chunk || offset - chunk->offset >= chunk->length) return COFFR_ERR_READ;

  // Every string inside a chunk's length ends at a NUL no later than the zero tail behind it.
  const uint32_t position = offset - chunk->offset;
  const char* text = chunk->bytes + position;
  const size_t limit = size_t{chunk->length - position} + 4;
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  if (length > bufferLength - 1) length = bufferLength - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return COFFR_OK;
}
