// File header, optional header and section headers: reading, byte order and normalisation.
#include <cstring>

#include "firmware/coff/byte_view.h"
#include "firmware/coff/coff_file.h"
#include "firmware/coff/coff_internal.h"

namespace axtune::coff {
namespace {

constexpr size_t kFileHeaderSize = 22;
constexpr size_t kOptionalHeaderSize = 28;
constexpr size_t kSectionHeaderSizeV2 = 48;
constexpr size_t kSectionHeaderSizeV01 = 40;

bool isTargetId(uint16_t value) {
  return value >= 0x0090 && value <= 0x009D;
}

// The first field of a COFF file: a version ID, or a target ID for version 0.
bool isValidFirstField(uint16_t value) {
  return value == kVersion0 || value == kVersion1 || value == kVersion2 || isTargetId(value);
}

uint16_t swap16(uint16_t value) {
  return static_cast<uint16_t>(value << 8 | value >> 8);
}

// Headers end at 20 bytes for version 0 and at 22 for versions 1 and 2.
uint64_t headerEnd(const CoffImageInfo& info) {
  return info.version == kVersion0 ? 20 : 22;
}

// A name in the string table keeps its offset, converted to host order, in bytes 4..7.
void copyNameV2(const ByteView& view, char (&name)[8]) {
  view.copy(0, name, sizeof name);
  if (view.isZero(0, 4)) storeHost(name, 4, view.u32(4));
}

// Versions 0 and 1 keep the name as text only: at most 8 characters, zero-padded.
void copyNameText(const ByteView& view, char (&name)[8]) {
  char raw[8] = {};
  view.copy(0, raw, sizeof raw);
  size_t length = 0;
  while (length < sizeof raw && raw[length] != '\0') ++length;
  std::memset(name, 0, sizeof name);
  std::memcpy(name, raw, length);
}

bool nameIs(const char (&name)[8], const char* text) {
  return std::strncmp(name, text, sizeof name) == 0;
}

}  // namespace

uint64_t unitsToBytes(uint16_t targetId, uint32_t units) {
  switch (targetId) {
    case 0x0090:
      return units >> 3;
    case 0x0091:
    case 0x0095:
    case 0x0096:
    case 0x0097:
    case 0x0099:
    case 0x009C:
      return units;
    case 0x0092:
    case 0x0098:
    case 0x009D:
      return uint64_t{units} * 2;
    case 0x0093:
      return uint64_t{units} * 4;
    default:
      return 0;
  }
}

int32_t readFileHeader(Reader& reader, CoffFileHeader& out, bool keepInInfo) {
  CoffImageInfo& info = *reader.handle.info;
  uint8_t raw[kFileHeaderSize];
  if (!readAt(reader.handle.file, 0, raw, sizeof raw)) return COFFR_ERR_READ;

  // The byte order comes from the first field alone: some files carry the big-endian flag with
  // little-endian headers.
  ByteView littleEndian(raw, sizeof raw, false);
  uint16_t first = littleEndian.u16(0);
  bool swapped = false;
  if (!isValidFirstField(first)) {
    if (!isValidFirstField(swap16(first))) return COFFR_ERR_NOT_COFF;
    swapped = true;
  }
  ByteView view(raw, sizeof raw, swapped);
  CoffFileHeader header{};
  header.versionId = view.u16(0);
  header.sectionCount = view.u16(2);
  header.timeStamp = view.u32(4);
  header.symbolTableOffset = view.u32(8);
  header.symbolCount = view.u32(12);
  header.optionalHeaderSize = view.u16(16);
  header.flags = view.u16(18);
  header.targetId = view.u16(20);

  if (swapped) info.byteSwapped = 1;  // set, never cleared
  info.bigEndianTarget = (header.flags & COFFR_FILE_BIG_ENDIAN) ? 1 : 0;
  info.symbolsMerged = (header.flags & COFFR_FILE_SYMBOLS_MERGED) ? 1 : 0;

  uint16_t version = kVersion0;
  uint16_t target = header.versionId;
  if (header.versionId == kVersion1 || header.versionId == kVersion2) {
    if (!isTargetId(header.targetId)) return COFFR_ERR_NOT_COFF;
    version = header.versionId;
    target = header.targetId;
  }
  info.version = version;
  info.targetId = target;
  out = header;
  if (keepInInfo) info.fileHeader = header;
  return COFFR_OK;
}

int32_t readOptionalHeader(Reader& reader, CoffOptionalHeader& out) {
  CoffImageInfo& info = *reader.handle.info;
  if (info.fileHeader.optionalHeaderSize != kOptionalHeaderSize) return COFFR_OK;
  uint8_t raw[kOptionalHeaderSize];
  if (!readAt(reader.handle.file, headerEnd(info), raw, sizeof raw)) return COFFR_ERR_READ;
  ByteView view(raw, sizeof raw, info.byteSwapped != 0);
  CoffOptionalHeader header{};
  header.magic = view.u16(0);
  header.versionStamp = view.u16(2);
  header.textSize = view.u32(4);
  header.dataSize = view.u32(8);
  header.bssSize = view.u32(12);
  header.entryPoint = view.u32(16);
  header.textStart = view.u32(20);
  header.dataStart = view.u32(24);
  out = header;
  info.entryPoint = header.entryPoint;
  return COFFR_OK;
}

int32_t readSectionHeader(Reader& reader, uint16_t section, CoffSectionHeader& out) {
  CoffImageInfo& info = *reader.handle.info;
  if (section < 1 || section > reader.tableCount) return COFFR_ERR_SECTION;
  const bool v2 = info.version == kVersion2;
  const size_t size = v2 ? kSectionHeaderSizeV2 : kSectionHeaderSizeV01;
  const uint64_t offset =
      headerEnd(info) + info.fileHeader.optionalHeaderSize + uint64_t{section - 1u} * size;
  uint8_t raw[kSectionHeaderSizeV2];
  if (!readAt(reader.handle.file, offset, raw, size)) return COFFR_ERR_READ;
  ByteView view(raw, size, info.byteSwapped != 0);

  CoffSectionHeader& header = out;
  header.physicalAddress = view.u32(8);
  header.virtualAddress = view.u32(12);
  header.size = view.u32(16);
  header.rawDataOffset = view.u32(20);
  header.relocationOffset = view.u32(24);
  header.lineNumberOffset = view.u32(28);
  if (v2) {
    copyNameV2(view, header.name);
    header.relocationCount = view.u32(32);
    header.lineNumberCount = view.u32(36);
    header.flags = view.u32(40);
    view.copy(44, &header.reserved, sizeof header.reserved);  // kept as stored
    header.page = view.u16(46);
  } else {
    copyNameText(view, header.name);
    header.relocationCount = view.u16(32);
    header.lineNumberCount = view.u16(34);
    header.flags = view.u16(36);
    header.page = view.u8(39);  // the reserved byte at 38 is not carried over
  }

  // The numbers are kept as 16-bit signed values; sections beyond that range are never recorded.
  if (section <= INT16_MAX) {
    if ((header.flags & COFFR_SECT_COPY) && nameIs(header.name, ".cinit")) {
      info.cinitSection = static_cast<int16_t>(section);
    }
    if ((header.flags & COFFR_SECT_BSS) && nameIs(header.name, ".bss")) {
      info.bssSection = static_cast<int16_t>(section);
    }
  }
  return COFFR_OK;
}

bool isLoadable(const Reader& reader, uint16_t section) {
  const CoffImageInfo* info = reader.handle.info;
  if (!info || !info->sections || section < 1 || section > reader.tableCount) return false;
  const CoffSectionHeader& header = info->sections[section - 1];
  return header.rawDataOffset != 0 && header.size != 0 &&
         (header.flags & (COFFR_SECT_DUMMY | COFFR_SECT_NOLOAD | COFFR_SECT_COPY)) == 0;
}

}  // namespace axtune::coff
