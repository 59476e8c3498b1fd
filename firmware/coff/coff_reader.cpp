// Opening and closing a COFF file, and the exported functions on headers, section data and line
// numbers. Headers live in coff_headers.cpp, strings in coff_strings.cpp, symbols in coff_symbols.cpp.
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "firmware/coff/byte_view.h"
#include "firmware/coff/coff_file.h"
#include "firmware/coff/coff_internal.h"

using namespace axtune::coff;

namespace {

constexpr size_t kOptionWords = 4;

// A handle that got as far as having its image info and an open file; everything else is refused.
Reader* usable(CoffHandle* handle) {
  return handle && handle->info && handle->file ? readerOf(handle) : nullptr;
}

int32_t clampToInt32(uint64_t bytes) {
  return bytes > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())
             ? std::numeric_limits<int32_t>::max()
             : static_cast<int32_t>(bytes);
}

// Fills the section table and finds the largest loadable section (the first of equal sizes wins).
int32_t indexSections(Reader& reader) {
  CoffImageInfo& info = *reader.handle.info;
  const uint16_t count = info.fileHeader.sectionCount;
  info.maxLoadSection = 0;
  info.maxLoadSectionBytes = 0;
  if (count != 0) {
    info.sections = static_cast<CoffSectionHeader*>(std::calloc(count, sizeof(CoffSectionHeader)));
    if (!info.sections) return COFFR_ERR_MEMORY;
  }
  reader.tableCount = count;

  uint64_t largest = 0;
  for (uint32_t number = 1; number <= count; ++number) {
    const auto section = static_cast<uint16_t>(number);
    int32_t result = readSectionHeader(reader, section, info.sections[number - 1]);
    if (result != COFFR_OK) return result;
    if (!isLoadable(reader, section) || number > static_cast<uint32_t>(INT16_MAX)) continue;
    const uint64_t bytes = unitsToBytes(info.targetId, info.sections[number - 1].size);
    if (bytes > largest) {
      largest = bytes;
      info.maxLoadSection = static_cast<int16_t>(number);
      info.maxLoadSectionBytes = clampToInt32(bytes);
    }
  }
  return COFFR_OK;
}

}  // namespace

extern "C" COFFR_API int32_t COFFR_FileOpen(const char* path, const uint32_t* options, CoffHandle** handle) {
  if (!handle) return COFFR_ERR_ARGUMENT;
  *handle = nullptr;
  if (!path) return COFFR_ERR_ARGUMENT;

  auto* reader = new (std::nothrow) Reader;
  if (!reader) return COFFR_ERR_MEMORY;
  *handle = &reader->handle;  // the caller owns it from here on, also when a later step fails

  reader->handle.file = openForReading(path);
  if (!reader->handle.file) return COFFR_ERR_OPEN;

  reader->handle.options = static_cast<uint32_t*>(std::calloc(kOptionWords, sizeof(uint32_t)));
  if (!reader->handle.options) return COFFR_ERR_MEMORY;
  if (options) std::memcpy(reader->handle.options, options, kOptionWords * sizeof(uint32_t));

  auto* info = static_cast<CoffImageInfo*>(std::calloc(1, sizeof(CoffImageInfo)));
  if (!info) return COFFR_ERR_MEMORY;
  info->bssSection = -1;
  info->cinitSection = -1;
  reader->handle.info = info;

  int32_t result = readFileHeader(*reader, info->fileHeader, true);
  if (result != COFFR_OK) return result;
  result = readOptionalHeader(*reader, info->optionalHeader);
  if (result != COFFR_OK) return result;
  result = indexSections(*reader);
  if (result != COFFR_OK) return result;

  // The string-table size; a file that ends before it simply has none.
  if (!seekTo(reader->handle.file, stringTableOffset(*info))) return COFFR_ERR_READ;
  uint8_t raw[4] = {};
  if (readBytes(reader->handle.file, raw, sizeof raw) == sizeof raw) {
    info->stringTableSize = ByteView(raw, sizeof raw, info->byteSwapped != 0).u32(0);
  }
  return COFFR_OK;
}

extern "C" COFFR_API int32_t COFFR_FileClose(CoffHandle* handle) {
  if (!handle) return COFFR_OK;
  if (CoffImageInfo* info = handle->info) {
    freeStrings(*info);
    std::free(info->sections);
    std::free(info);
  }
  std::free(handle->options);
  if (handle->file) std::fclose(handle->file);
  delete readerOf(handle);
  return COFFR_OK;
}

extern "C" COFFR_API int32_t COFFR_GetFileHdr(CoffHandle* handle, CoffFileHeader* header) {
  Reader* reader = usable(handle);
  if (!reader || !header) return COFFR_ERR_ARGUMENT;
  return readFileHeader(*reader, *header, false);
}

extern "C" COFFR_API int32_t COFFR_GetOptionalHdr(CoffHandle* handle, CoffOptionalHeader* header) {
  Reader* reader = usable(handle);
  if (!reader || !header) return COFFR_ERR_ARGUMENT;
  return readOptionalHeader(*reader, *header);
}

extern "C" COFFR_API int32_t COFFR_GetSectionHdr(CoffHandle* handle, uint16_t section,
                                                 CoffSectionHeader* header) {
  Reader* reader = usable(handle);
  if (!reader || !header) return COFFR_ERR_ARGUMENT;
  return readSectionHeader(*reader, section, *header);
}

extern "C" COFFR_API int32_t COFFR_IsLoadSection(CoffHandle* handle, uint16_t section) {
  if (!handle) return COFFR_ERR_ARGUMENT;
  return isLoadable(*readerOf(handle), section) ? COFFR_OK : COFFR_ERR_NOT_LOADABLE;
}

extern "C" COFFR_API int32_t COFFR_FindMaxLoadSectionSize(CoffHandle* handle, int32_t* bytes) {
  if (!handle || !bytes) return COFFR_ERR_ARGUMENT;
  *bytes = handle->info ? handle->info->maxLoadSectionBytes : 0;
  return COFFR_OK;
}

extern "C" COFFR_API int32_t COFFR_GetSectData(CoffHandle* handle, uint16_t section, void* buffer,
                                               uint32_t offset, uint32_t count, uint32_t* bytesRead) {
  Reader* reader = usable(handle);
  if (!reader || !bytesRead || (!buffer && count != 0)) return COFFR_ERR_ARGUMENT;
  *bytesRead = 0;
  if (section < 1 || section > reader->tableCount) return COFFR_ERR_SECTION;
  const CoffImageInfo& info = *handle->info;
  const CoffSectionHeader& header = info.sections[section - 1];

  if (!seekTo(handle->file, uint64_t{header.rawDataOffset} + offset)) return COFFR_ERR_READ;
  // A section without raw data (.bss and the like) has nothing to read; its offset 0 would otherwise
  // hand out the file's own headers as section data.
  const uint64_t size = header.rawDataOffset == 0 ? 0 : unitsToBytes(info.targetId, header.size);
  if (size <= offset) return COFFR_ERR_SHORT;
  const uint64_t left = size - offset;
  const uint32_t wanted = left < count ? static_cast<uint32_t>(left) : count;
  const size_t got = readBytes(handle->file, buffer, wanted);
  *bytesRead = static_cast<uint32_t>(got);
  return got < wanted ? COFFR_ERR_SHORT : COFFR_OK;
}

extern "C" COFFR_API int32_t COFFR_FindMaxLnno(CoffHandle* handle, uint32_t* count) {
  if (!handle || !count) return COFFR_ERR_ARGUMENT;
  const Reader& reader = *readerOf(handle);
  uint32_t largest = 0;
  if (handle->info && handle->info->sections) {
    for (uint32_t i = 0; i < reader.tableCount; ++i) {
      if (handle->info->sections[i].lineNumberCount > largest)
        largest = handle->info->sections[i].lineNumberCount;
    }
  }
  *count = largest;
  return COFFR_OK;
}

extern "C" COFFR_API int32_t COFFR_GetSectLnno(CoffHandle* handle, uint16_t section, CoffLineNumber* buffer,
                                               uint32_t first, uint32_t count, uint32_t* entriesRead) {
  Reader* reader = usable(handle);
  if (!reader || !entriesRead || (!buffer && count != 0)) return COFFR_ERR_ARGUMENT;
  *entriesRead = 0;
  if (section < 1 || section > reader->tableCount) return COFFR_ERR_SECTION;
  const CoffImageInfo& info = *handle->info;
  const CoffSectionHeader& header = info.sections[section - 1];
  if (header.lineNumberCount == 0) return COFFR_OK;

  const uint64_t offset = uint64_t{header.lineNumberOffset} + uint64_t{kLineNumberSize} * first;
  if (!seekTo(handle->file, offset)) return COFFR_ERR_READ;
  if (first >= header.lineNumberCount) return COFFR_ERR_SHORT;
  const uint32_t left = header.lineNumberCount - first;
  const uint32_t wanted = left < count ? left : count;

  const bool swapped = info.byteSwapped != 0;
  uint32_t got = 0;
  while (got < wanted) {
    uint8_t raw[kLineNumberSize];
    if (readBytes(handle->file, raw, sizeof raw) != sizeof raw) break;
    ByteView view(raw, sizeof raw, swapped);
    buffer[got].address = view.u32(0);
    buffer[got].line = view.u16(4);
    ++got;
  }
  *entriesRead = got;
  return got < count ? COFFR_ERR_SHORT : COFFR_OK;
}
