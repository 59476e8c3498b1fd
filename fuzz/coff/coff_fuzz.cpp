// Opens arbitrary bytes as a COFF file and calls every COFFR_ function on the result: headers,
// every section's data and line numbers, the string table, the symbol table (first 256 entries) and names.
// Run with libFuzzer (see CMakeLists.txt); the normal build replays corpus/ as a regression test.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "firmware/coff/coff_reader.h"

namespace {

// The reader takes a path, so every input goes through one scratch file per process, removed at exit.
struct ScratchFile {
  ScratchFile()
      : path((std::filesystem::temp_directory_path() /
              ("axcoff-fuzz-" + std::to_string(std::random_device{}()) + ".out"))
                 .string()) {}
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  std::string path;
};

const std::string& scratchPath() {
  static const ScratchFile scratch;
  return scratch.path;
}

bool writeScratch(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(scratchPath().c_str(), "wb");
  if (!file) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

void nameOf(CoffHandle* handle, const char (&name)[8]) {
  CoffSymbolEntry symbol{};
  std::memcpy(symbol.name, name, sizeof symbol.name);
  char buffer[64];
  for (uint32_t length : {0u, 1u, 5u, 9u, 64u}) {
    COFFR_GetSymbolName(handle, &symbol, length, buffer);
    if (length != 0 && std::strlen(buffer) >= length) __builtin_trap();  // never unterminated
  }
}

void exercise(CoffHandle* handle) {
  CoffFileHeader fileHeader;
  COFFR_GetFileHdr(handle, &fileHeader);
  CoffOptionalHeader optional;
  COFFR_GetOptionalHdr(handle, &optional);
  int32_t largest = 0;
  COFFR_FindMaxLoadSectionSize(handle, &largest);
  uint32_t maxLines = 0;
  COFFR_FindMaxLnno(handle, &maxLines);
  COFFR_LoadStrings(handle);

  const CoffImageInfo* info = handle->info;
  const uint32_t sections = info ? info->fileHeader.sectionCount : 3;
  static std::vector<uint8_t> data(1 << 16);
  static std::vector<CoffLineNumber> lines(256);
  // Include numbers just outside the table; cap the work on huge counts.
  for (uint32_t n = 0; n <= sections + 1 && n <= 64; ++n) {
    const auto number = static_cast<uint16_t>(n);
    CoffSectionHeader header;
    if (COFFR_GetSectionHdr(handle, number, &header) == 0) nameOf(handle, header.name);
    COFFR_IsLoadSection(handle, number);
    uint32_t got = 0;
    COFFR_GetSectData(handle, number, data.data(), 0, static_cast<uint32_t>(data.size()), &got);
    if (got > data.size()) __builtin_trap();
    COFFR_GetSectData(handle, number, data.data(), 3, 17, &got);
    COFFR_GetSectLnno(handle, number, lines.data(), 0, static_cast<uint32_t>(lines.size()), &got);
    if (got > lines.size()) __builtin_trap();
    COFFR_GetSectLnno(handle, number, lines.data(), 1, 2, &got);
  }
  COFFR_GetSectData(handle, 0xFFFF, data.data(), 0, 16, nullptr);

  uint32_t index = 0;
  for (int i = 0; i < 256; ++i) {
    CoffSymbolEntry symbol;
    CoffAuxEntry aux;
    int32_t kind = 0;
    if (COFFR_GetSymbolTableEntry(handle, &index, &kind, &symbol, &aux) != 0) break;
    if (kind < COFFR_AUX_NONE || kind > COFFR_AUX_BLOCK) __builtin_trap();
    nameOf(handle, symbol.name);
  }
  // Loading the strings again replaces the chunks.
  COFFR_LoadStrings(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!writeScratch(data, size)) return 0;
  CoffHandle* handle = nullptr;
  const uint32_t options[4] = {1, 0, 0, 1};
  COFFR_FileOpen(scratchPath().c_str(), options, &handle);
  if (handle) exercise(handle);
  COFFR_FileClose(handle);
  return 0;
}
