// Symbol-table entries and the kinds of their auxiliary entries.
#include <cstring>

#include "firmware/coff/byte_view.h"
#include "firmware/coff/coff_file.h"
#include "firmware/coff/coff_internal.h"

namespace axtune::coff {
namespace {

// Which auxiliary kind follows a symbol (first match wins; the storage class is a signed byte).
int32_t auxKindOf(const CoffSymbolEntry& symbol) {
  if (symbol.auxCount == 0) return COFFR_AUX_NONE;
  const auto storageClass = static_cast<int8_t>(symbol.storageClass);
  switch (storageClass) {
    case 10:
    case 12:
    case 15:
      return COFFR_AUX_TAG;
    case 100:
    case 101:
      return COFFR_AUX_BLOCK;
    case 102:
      return COFFR_AUX_EOS;
    case 103:
      return COFFR_AUX_FILE;
    default:
      break;
  }
  const unsigned derived = (symbol.type >> 4) & 3u;
  if (derived == 2) return COFFR_AUX_FUNC;
  if (derived == 3) return COFFR_AUX_ARRAY;
  if (symbol.type == 0) return COFFR_AUX_SECTION;
  return COFFR_AUX_TAGREF;
}

// Rewrites the multi-byte fields of an auxiliary entry from the file's byte order in host order.
class AuxConverter {
 public:
  AuxConverter(CoffAuxEntry& aux, bool bigEndian) : aux_(aux), view_(raw_, sizeof raw_, bigEndian) {
    std::memcpy(raw_, aux.bytes, sizeof raw_);
  }
  void u16(size_t offset) { storeHost(aux_.bytes, offset, view_.u16(offset)); }
  void u32(size_t offset) { storeHost(aux_.bytes, offset, view_.u32(offset)); }

 private:
  CoffAuxEntry& aux_;
  uint8_t raw_[sizeof(CoffAuxEntry)];
  ByteView view_;
};

void convertAux(int32_t kind, const CoffSymbolEntry& symbol, CoffAuxEntry& aux, bool bigEndian) {
  AuxConverter c(aux, bigEndian);
  switch (kind) {
    case COFFR_AUX_TAG:
      c.u32(4), c.u32(12);
      break;
    case COFFR_AUX_BLOCK:
      c.u16(4), c.u32(12);
      if (static_cast<int8_t>(symbol.storageClass) == 101 && std::strncmp(symbol.name, ".bf", 8) == 0) {
        c.u16(6), c.u32(0), c.u32(8);
      }
      break;
    case COFFR_AUX_EOS:
    case COFFR_AUX_TAGREF:
      c.u32(4), c.u32(0);
      break;
    case COFFR_AUX_FUNC:
      c.u32(0), c.u32(4), c.u32(8), c.u32(12);
      break;
    case COFFR_AUX_ARRAY:
      c.u32(0), c.u32(4), c.u16(8), c.u16(10), c.u16(12), c.u16(14);
      break;
    case COFFR_AUX_SECTION:
      c.u32(0), c.u16(4), c.u16(6);
      break;
    default:  // file names are text
      break;
  }
}

}  // namespace
}  // namespace axtune::coff

extern "C" COFFR_API int32_t COFFR_GetSymbolTableEntry(CoffHandle* handle, uint32_t* index, int32_t* auxKind,
                                                       CoffSymbolEntry* symbol, CoffAuxEntry* aux) {
  using namespace axtune::coff;
  CoffImageInfo* info = infoOf(handle);
  if (!info || !handle->file || !index || !auxKind || !symbol || !aux) return COFFR_ERR_ARGUMENT;
  // Past the symbol table lies the string table, not a symbol.
  if (*index >= info->fileHeader.symbolCount) return COFFR_ERR_READ;

  uint8_t raw[2 * kSymbolSize] = {};
  const uint64_t offset = uint64_t{info->fileHeader.symbolTableOffset} + uint64_t{kSymbolSize} * *index;
  if (!readAt(handle->file, offset, raw, kSymbolSize)) return COFFR_ERR_READ;
  const bool swapped = info->byteSwapped != 0;
  ByteView view(raw, sizeof raw, swapped);
  const uint8_t auxCount = view.u8(17);
  if (auxCount != 0 && readBytes(handle->file, raw + kSymbolSize, kSymbolSize) != kSymbolSize) {
    return COFFR_ERR_READ;
  }

  CoffSymbolEntry entry{};
  view.copy(0, entry.name, sizeof entry.name);
  if (view.isZero(0, 4)) storeHost(entry.name, 4, view.u32(4));
  entry.value = view.u32(8);
  entry.sectionNumber = static_cast<int16_t>(view.u16(12));
  entry.type = view.u16(14);
  entry.storageClass = view.u8(16);
  entry.auxCount = auxCount;

  CoffAuxEntry auxEntry{};
  view.copy(kSymbolSize, auxEntry.bytes, sizeof auxEntry.bytes);
  const int32_t kind = auxKindOf(entry);
  convertAux(kind, entry, auxEntry, swapped);

  *symbol = entry;
  *aux = auxEntry;
  *auxKind = kind;
  *index += 1u + auxCount;
  return COFFR_OK;
}
