#include "coff_writer.h"

#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>

namespace axtune::coff::testing {
namespace {

class Out {
 public:
  explicit Out(bool bigEndian) : bigEndian_(bigEndian) {}
  void u8(uint32_t v) { bytes_.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) {
    if (bigEndian_) {
      u8(v >> 8), u8(v);
    } else {
      u8(v), u8(v >> 8);
    }
  }
  void u32(uint32_t v) {
    if (bigEndian_) {
      u16(v >> 16), u16(v);
    } else {
      u16(v), u16(v >> 16);
    }
  }
  void raw(const void* data, size_t size) {
    auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  void zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
  size_t size() const { return bytes_.size(); }
  std::vector<uint8_t>& bytes() { return bytes_; }
  // Writes a field at a position already reserved.
  void patch32(size_t at, uint32_t v) {
    Out tmp(bigEndian_);
    tmp.u32(v);
    std::copy(tmp.bytes_.begin(), tmp.bytes_.end(), bytes_.begin() + static_cast<long>(at));
  }

 private:
  bool bigEndian_;
  std::vector<uint8_t> bytes_;
};

// The string table: names longer than 8 characters in order of appearance, then the extra strings.
struct StringTable {
  std::vector<std::pair<std::string, uint32_t>> entries;
  uint32_t size = 4;
  uint32_t add(const std::string& text) {
    for (const auto& [s, offset] : entries) {
      if (s == text) return offset;
    }
    entries.emplace_back(text, size);
    size += static_cast<uint32_t>(text.size() + 1);
    return entries.back().second;
  }
};

StringTable stringsOf(const Image& image) {
  StringTable table;
  if (image.version == 2) {
    for (const auto& s : image.sections) {
      if (s.name.size() > 8) table.add(s.name);
    }
  }
  for (const auto& s : image.symbols) {
    if (s.name.size() > 8) table.add(s.name);
  }
  for (const auto& s : image.extraStrings) table.add(s);
  return table;
}

void putName(Out& out, const std::string& name, StringTable& table) {
  if (name.size() > 8) {
    out.u32(0);
    out.u32(table.add(name));
  } else {
    char text[8] = {};
    name.copy(text, 8);
    out.raw(text, 8);
  }
}

}  // namespace

std::vector<uint8_t> build(const Image& image) {
  Out out(image.bigEndian);
  StringTable table = stringsOf(image);
  const bool v2 = image.version == 2;
  const size_t headerEnd = image.version == 0 ? 20 : 22;
  const size_t sectionHeaderSize = v2 ? 48 : 40;
  const size_t optionalSize = image.optionalHeader ? 28 : 0;

  // Where everything goes: headers, then raw data, then line numbers, symbols, strings.
  size_t cursor = headerEnd + optionalSize + sectionHeaderSize * image.sections.size();
  std::vector<uint32_t> dataOffsets, lineOffsets;
  for (const auto& s : image.sections) {
    dataOffsets.push_back(s.data.empty() || s.forceZeroRawOffset ? 0 : static_cast<uint32_t>(cursor));
    cursor += s.data.size();
  }
  for (const auto& s : image.sections) {
    lineOffsets.push_back(s.lines.empty() ? 0 : static_cast<uint32_t>(cursor));
    cursor += 6 * s.lines.size();
  }
  const uint32_t symbolOffset = static_cast<uint32_t>(cursor);
  uint32_t symbolCount = 0;
  for (const auto& s : image.symbols) symbolCount += static_cast<uint32_t>(1 + s.aux.size());

  out.u16(image.version == 0 ? image.targetId : (v2 ? 0x00C2 : 0x00C1));
  out.u16(static_cast<uint32_t>(image.sections.size()));
  out.u32(image.timeStamp);
  out.u32(symbolCount || image.stringTable ? symbolOffset : 0);
  out.u32(symbolCount);
  out.u16(static_cast<uint32_t>(optionalSize));
  out.u16(image.flags);
  if (image.version != 0) out.u16(image.targetId);

  if (image.optionalHeader) {
    out.u16(0x0108);
    out.u16(0x0190);
    out.u32(0x100), out.u32(0x200), out.u32(0x300);
    out.u32(image.entryPoint);
    out.u32(0x3F0000), out.u32(0x8000);
  }

  for (size_t i = 0; i < image.sections.size(); ++i) {
    const Section& s = image.sections[i];
    if (v2) {
      putName(out, s.name, table);
    } else {
      char text[8] = {};
      s.name.copy(text, 8);
      out.raw(text, 8);
    }
    out.u32(s.physicalAddress), out.u32(s.virtualAddress), out.u32(s.sizeUnits);
    out.u32(dataOffsets[i]), out.u32(0), out.u32(lineOffsets[i]);
    if (v2) {
      out.u32(s.relocationCount), out.u32(static_cast<uint32_t>(s.lines.size())), out.u32(s.flags);
      out.u16(s.reserved), out.u16(s.page);
    } else {
      out.u16(s.relocationCount), out.u16(static_cast<uint32_t>(s.lines.size())), out.u16(s.flags);
      out.u8(0xEE), out.u8(s.page);  // reserved byte, page
    }
  }
  for (const auto& s : image.sections) out.raw(s.data.data(), s.data.size());
  for (const auto& s : image.sections) {
    for (const auto& l : s.lines) out.u32(l.address), out.u16(l.line);
  }
  for (const auto& s : image.symbols) {
    putName(out, s.name, table);
    out.u32(s.value), out.u16(static_cast<uint16_t>(s.sectionNumber)), out.u16(s.type);
    out.u8(s.storageClass), out.u8(static_cast<uint32_t>(s.aux.size()));
    for (const auto& fields : s.aux) {
      Out aux(image.bigEndian);
      aux.zeros(18);
      for (const auto& f : fields) {
        Out field(image.bigEndian);
        if (f.width == 1) field.u8(f.value);
        if (f.width == 2) field.u16(f.value);
        if (f.width == 4) field.u32(f.value);
        std::copy(field.bytes().begin(), field.bytes().end(), aux.bytes().begin() + f.offset);
      }
      out.raw(aux.bytes().data(), 18);
    }
  }
  if (image.stringTable) {
    out.u32(table.size);
    for (const auto& [text, offset] : table.entries) out.raw(text.c_str(), text.size() + 1);
  }
  return std::move(out.bytes());
}

uint32_t stringOffset(const Image& image, const std::string& text) {
  StringTable table = stringsOf(image);
  for (const auto& [s, offset] : table.entries) {
    if (s == text) return offset;
  }
  throw std::invalid_argument("string not in the table: " + text);
}

TempFile::TempFile(const std::vector<uint8_t>& bytes) {
  static std::atomic<int> counter{0};
  static const unsigned run = std::random_device{}();
  auto dir = std::filesystem::temp_directory_path();
  path_ = (dir / ("axcoff-test-" + std::to_string(run) + "-" + std::to_string(counter++) + ".out")).string();
  std::ofstream file(path_, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

}  // namespace axtune::coff::testing
