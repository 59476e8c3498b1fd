// Internal state behind a CoffHandle and the helpers shared by the reader's source files.
#pragma once

#include <cstdint>

#include "firmware/coff/coff_reader.h"

namespace axtune::coff {

// Every handle handed out is the first member of one of these, so the reader can keep state the
// public record does not show. The section count of the table is fixed when the table is made and
// bounds every index into it, whatever a later header read returns.
struct Reader {
  CoffHandle handle{};
  uint16_t tableCount = 0;
};

static_assert(sizeof(CoffFileHeader) == 22, "file header record must match the file");
static_assert(sizeof(CoffOptionalHeader) == 28, "optional header record must match the file");
static_assert(sizeof(CoffSectionHeader) == 48, "section header record must match the version-2 layout");
static_assert(sizeof(CoffSymbolEntry) == 18, "symbol record must match the file");
static_assert(sizeof(CoffAuxEntry) == 18, "auxiliary record must match the file");
static_assert(sizeof(CoffLineNumber) == 8, "line numbers are delivered in 8-byte slots");

inline Reader* readerOf(CoffHandle* handle) {
  return reinterpret_cast<Reader*>(handle);
}

// The handle's image info, or nullptr for a null handle or a handle whose open failed early.
inline CoffImageInfo* infoOf(CoffHandle* handle) {
  return handle ? handle->info : nullptr;
}

constexpr uint16_t kVersion0 = 0x00C0;
constexpr uint16_t kVersion1 = 0x00C1;
constexpr uint16_t kVersion2 = 0x00C2;
constexpr uint32_t kSymbolSize = 18;
constexpr uint32_t kLineNumberSize = 6;

// Section size in target units converted to bytes by the target table (0 for unknown targets).
uint64_t unitsToBytes(uint16_t targetId, uint32_t units);

// File offset of the string table (just behind the symbol table).
inline uint64_t stringTableOffset(const CoffImageInfo& info) {
  return uint64_t{info.fileHeader.symbolTableOffset} + uint64_t{kSymbolSize} * info.fileHeader.symbolCount;
}

// The steps of opening, also behind the exported functions of the same name.
int32_t readFileHeader(Reader& reader, CoffFileHeader& out, bool keepInInfo);
int32_t readOptionalHeader(Reader& reader, CoffOptionalHeader& out);
int32_t readSectionHeader(Reader& reader, uint16_t section, CoffSectionHeader& out);
bool isLoadable(const Reader& reader, uint16_t section);

// The string table.
int32_t loadStrings(CoffImageInfo& info, FILE* file);
void freeStrings(CoffImageInfo& info);

}  // namespace axtune::coff
