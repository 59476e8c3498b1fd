// A small writer of synthetic COFF files for the reader's tests, the fuzz seeds and the benchmark:
// versions 0, 1 and 2, either byte order, sections with raw data and line numbers, symbols with
// auxiliary entries and a string table that can be padded to any size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace axtune::coff::testing {

struct LineNumber {
  uint32_t address = 0;
  uint16_t line = 0;
};

struct Section {
  Section() = default;
  Section(std::string name_, uint32_t physical, uint32_t virtual_, uint32_t units, std::vector<uint8_t> data_,
          bool zeroRawOffset = false, uint32_t flags_ = 0x0020, uint16_t page_ = 0)
      : name(std::move(name_)),
        physicalAddress(physical),
        virtualAddress(virtual_),
        sizeUnits(units),
        data(std::move(data_)),
        forceZeroRawOffset(zeroRawOffset),
        flags(flags_),
        page(page_) {}

  std::string name;  // longer than 8 characters: in the string table (version 2 only)
  uint32_t physicalAddress = 0;
  uint32_t virtualAddress = 0;
  uint32_t sizeUnits = 0;     // the header's size field
  std::vector<uint8_t> data;  // raw data written to the file; none: raw-data offset 0
  bool forceZeroRawOffset = false;
  uint32_t flags = 0x0020;  // text
  uint16_t page = 0;
  uint16_t reserved = 0;  // version 2 only
  uint32_t relocationCount = 0;
  std::vector<LineNumber> lines;
};

// One multi-byte (or single-byte) field of an auxiliary entry, written in the file's byte order.
struct AuxField {
  uint8_t offset = 0;
  uint8_t width = 4;  // 1, 2 or 4
  uint32_t value = 0;
};

struct Symbol {
  Symbol() = default;
  Symbol(std::string name_, uint32_t value_ = 0, int16_t section = 0, uint16_t type_ = 0, uint8_t storage = 2,
         std::vector<std::vector<AuxField>> aux_ = {})
      : name(std::move(name_)),
        value(value_),
        sectionNumber(section),
        type(type_),
        storageClass(storage),
        aux(std::move(aux_)) {}

  std::string name;  // longer than 8 characters: in the string table
  uint32_t value = 0;
  int16_t sectionNumber = 0;
  uint16_t type = 0;
  uint8_t storageClass = 2;
  std::vector<std::vector<AuxField>> aux;  // one list of fields per auxiliary entry
};

struct Image {
  int version = 2;  // 0, 1 or 2
  uint16_t targetId = 0x009D;
  bool bigEndian = false;
  bool optionalHeader = true;
  uint32_t entryPoint = 0x3F4000;
  uint16_t flags = 0;
  uint32_t timeStamp = 0x5F000000;
  std::vector<Section> sections;
  std::vector<Symbol> symbols;
  std::vector<std::string> extraStrings;  // appended to the string table after the names
  bool stringTable = true;                // false: the file ends after the symbol table
};

// The file bytes.
std::vector<uint8_t> build(const Image& image);

// Where the writer put a string: its string-table offset (for checks on the chunked table).
uint32_t stringOffset(const Image& image, const std::string& text);

// A file in a fresh temporary folder, removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Deterministic filler data.
std::vector<uint8_t> pattern(size_t size, uint8_t seed);

}  // namespace axtune::coff::testing
