// String table in chunks, symbol and section names, symbol entries with every auxiliary kind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "open_file.h"

namespace axtune::coff::testing {
namespace {

// The 8 name bytes of a reference to string-table offset `offset`.
struct NameRef {
  char bytes[8] = {};
  explicit NameRef(uint32_t offset) { std::memcpy(bytes + 4, &offset, 4); }
};

// Strings of 99 characters and their NUL, then one of 95, filling a 70,000-byte table.
std::vector<std::string> fillerStrings() {
  std::vector<std::string> strings;
  for (int k = 0; k < 700; ++k) {
    char head[16];
    std::snprintf(head, sizeof head, "str%04d-", k);
    strings.push_back(std::string(head) + std::string(k == 699 ? 87 : 91, static_cast<char>('a' + k % 26)));
  }
  return strings;
}

TEST(CoffStrings, A70000ByteTableIsHeldInTwoChunksWithoutSplittingAString) {
  Image image;
  image.extraStrings = fillerStrings();
  OpenFile f(image);
  ASSERT_EQ(0, f.result);
  EXPECT_EQ(70000u, f.info().stringTableSize);
  ASSERT_EQ(0, COFFR_LoadStrings(f.handle));

  // Newest first: the head holds the highest offsets; the first chunk ends at the last NUL before
  // its 65,503rd byte, the unfinished string moves on to the second.
  const StringChunk* second = f.info().strings;
  ASSERT_NE(nullptr, second);
  const StringChunk* first = second->next;
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(nullptr, first->next);
  EXPECT_EQ(4u, first->offset);
  EXPECT_EQ(65500u, first->length);
  EXPECT_EQ(first->length, first->lengthAgain);
  EXPECT_EQ('\0', first->bytes[first->length - 1]);
  EXPECT_EQ(65504u, second->offset);
  EXPECT_EQ(4496u, second->length);

  for (int k : {0, 654, 655, 699}) {
    const std::string& expected = image.extraStrings[static_cast<size_t>(k)];
    int32_t code = -1;
    EXPECT_EQ(expected, f.name(NameRef(stringOffset(image, expected)).bytes, 256, &code)) << k;
    EXPECT_EQ(0, code);
  }
  // A reference into the middle of a string gives its tail, as the table has it.
  EXPECT_EQ(image.extraStrings[3].substr(5),
            f.name(NameRef(stringOffset(image, image.extraStrings[3]) + 5).bytes));

  // Loading again replaces the chunks.
  ASSERT_EQ(0, COFFR_LoadStrings(f.handle));
  EXPECT_EQ(65504u, f.info().strings->offset);
}

TEST(CoffStrings, NamesAreLoadedOnDemandAndCutToTheBuffer) {
  // The string-table offset of a section name and the table's size field follow the file's byte order.
  Image swapped;
  swapped.bigEndian = true;
  swapped.sections = {Section{".text.long_section_name", 0, 0, 4, pattern(8, 1)}};
  OpenFile big(swapped);
  ASSERT_EQ(0, big.result);
  EXPECT_EQ(".text.long_section_name", big.name(big.info().sections[0].name));

  Image image;
  image.sections = {Section{".text.long_section_name", 0, 0, 4, pattern(8, 1)}};
  image.symbols = {Symbol{"_c_int00_with_a_long_name", 0x3F4000, 1}};
  OpenFile f(image);
  ASSERT_EQ(0, f.result);
  EXPECT_EQ(nullptr, f.info().strings);
  EXPECT_EQ(".text.long_section_name", f.name(f.info().sections[0].name));
  EXPECT_NE(nullptr, f.info().strings);
  EXPECT_EQ(".text.l", f.name(f.info().sections[0].name, 8));
  EXPECT_EQ("", f.name(f.info().sections[0].name, 1));

  // Offsets outside the table give an empty name and an error, never a read outside it.
  for (uint32_t offset : {0u, 3u, 200u, 0xFFFFFFFFu}) {
    int32_t code = 0;
    EXPECT_EQ("", f.name(NameRef(offset).bytes, 64, &code)) << offset;
    EXPECT_EQ(COFFR_ERR_READ, code) << offset;
  }
}

TEST(CoffStrings, InlineNamesNeverOverrunTheBuffer) {
  OpenFile f(Image{});
  const char eight[8] = {'_', 'c', '_', 'i', 'n', 't', '0', '0'};
  EXPECT_EQ("_c_int00", f.name(eight, 9));
  EXPECT_EQ("_c_int00", f.name(eight, 64));
  EXPECT_EQ("_c_", f.name(eight, 4));

  CoffSymbolEntry symbol{};
  std::memcpy(symbol.name, eight, 8);
  char buffer[12];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0, COFFR_GetSymbolName(f.handle, &symbol, 9, buffer));
  EXPECT_EQ('\0', buffer[8]);
  EXPECT_EQ('x', buffer[9]);
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0, COFFR_GetSymbolName(f.handle, &symbol, 4, buffer));
  EXPECT_EQ(0, std::memcmp("_c_\0xxxx", buffer, 8));
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0, COFFR_GetSymbolName(f.handle, &symbol, 0, buffer));
  EXPECT_EQ('x', buffer[0]);
}

TEST(CoffStrings, OddTablesNeitherHangNorReadOutside) {
  // One string longer than a chunk: cut at the chunk's end, the loader goes on.
  Image longString;
  longString.extraStrings = {std::string(70000, 'L'), "after"};
  OpenFile f(longString);
  ASSERT_EQ(0, f.result);
  ASSERT_EQ(0, COFFR_LoadStrings(f.handle));
  const std::string cut = f.name(NameRef(4).bytes, 100000);
  EXPECT_EQ(65503u, cut.size());
  EXPECT_EQ(std::string::npos, cut.find_first_not_of('L'));
  EXPECT_EQ("after", f.name(NameRef(stringOffset(longString, "after")).bytes));

  // No string table at all, and a table whose size field claims less than itself.
  Image none;
  none.symbols = {Symbol{"a_long_symbol_name"}};
  none.stringTable = false;
  OpenFile missing(none);
  ASSERT_EQ(0, missing.result);
  EXPECT_EQ(0u, missing.info().stringTableSize);
  int32_t code = 0;
  EXPECT_EQ("", missing.name(NameRef(4).bytes, 16, &code));
  EXPECT_EQ(COFFR_ERR_READ, code);

  std::vector<uint8_t> bytes = build(Image{});
  bytes.resize(bytes.size() - 4);
  for (uint8_t size : {0, 1, 4}) {
    std::vector<uint8_t> withSize = bytes;
    withSize.insert(withSize.end(), {size, 0, 0, 0});
    OpenFile tiny(withSize);
    EXPECT_EQ(0, COFFR_LoadStrings(tiny.handle)) << int{size};
    EXPECT_EQ(nullptr, tiny.info().strings);
  }

  // A table that claims more than the file holds fails with a read error.
  std::vector<uint8_t> claims = bytes;
  claims.insert(claims.end(), {0x00, 0x00, 0x10, 0x00, 'a', 0});
  OpenFile big(claims);
  EXPECT_EQ(COFFR_ERR_READ, COFFR_LoadStrings(big.handle));
}

uint32_t hostAt(const CoffAuxEntry& aux, size_t offset, int width) {
  uint32_t value = 0;
  if (width == 4) std::memcpy(&value, aux.bytes + offset, 4);
  if (width == 2) {
    uint16_t v16 = 0;
    std::memcpy(&v16, aux.bytes + offset, 2);
    value = v16;
  }
  return value;
}

struct Expected {
  int32_t kind;
  std::vector<AuxField> converted;
};

// One symbol of each auxiliary kind, with the fields its kind converts to host order.
TEST(CoffSymbols, EveryAuxiliaryKindInBothByteOrders) {
  auto fields = [](std::initializer_list<std::pair<int, int>> layout) {
    std::vector<AuxField> out;
    uint32_t value = 0x11223344;
    for (auto [offset, width] : layout) {
      out.push_back(
          {static_cast<uint8_t>(offset), static_cast<uint8_t>(width), width == 2 ? (value & 0xFFFF) : value});
      value += 0x01010101;
    }
    return out;
  };
  const auto tag = fields({{4, 4}, {12, 4}});
  const auto bf = fields({{4, 2}, {12, 4}, {6, 2}, {0, 4}, {8, 4}});
  const auto block = fields({{4, 2}, {12, 4}});
  const auto eos = fields({{4, 4}, {0, 4}});
  const auto func = fields({{0, 4}, {4, 4}, {8, 4}, {12, 4}});
  const auto array = fields({{0, 4}, {4, 4}, {8, 2}, {10, 2}, {12, 2}, {14, 2}});
  const auto section = fields({{0, 4}, {4, 2}, {6, 2}});
  const auto tagref = fields({{4, 4}, {0, 4}});
  std::vector<AuxField> file;
  for (char c : std::string("main.c")) file.push_back({static_cast<uint8_t>(file.size()), 1, uint8_t(c)});

  struct Case {
    Symbol symbol;
    Expected expected;
  };
  std::vector<Case> cases = {
      {{"plain", 5, 1, 0x0004, 2, {}}, {COFFR_AUX_NONE, {}}},
      {{".file", 0, -2, 0, 103, {file}}, {COFFR_AUX_FILE, {}}},
      {{".text", 0, 1, 0, 3, {section}}, {COFFR_AUX_SECTION, section}},
      {{"_point", 0, -1, 8, 10, {tag}}, {COFFR_AUX_TAG, tag}},
      {{"_p", 4, -1, 8, 8, {tagref}}, {COFFR_AUX_TAGREF, tagref}},
      {{".eos", 8, -1, 0, 102, {eos}}, {COFFR_AUX_EOS, eos}},
      {{"_main_function", 0x3F4000, 1, 0x24, 2, {func}}, {COFFR_AUX_FUNC, func}},
      {{"_table", 0x8000, 2, 0x34, 2, {array, array}}, {COFFR_AUX_ARRAY, array}},
      {{".bf", 0x3F4000, 1, 0, 101, {bf}}, {COFFR_AUX_BLOCK, bf}},
      {{".ef", 0x3F4010, 1, 0, 101, {bf}}, {COFFR_AUX_BLOCK, block}},
      {{".bb", 0x3F4004, 1, 0, 100, {bf}}, {COFFR_AUX_BLOCK, block}},
  };

  for (bool bigEndian : {false, true}) {
    Image image;
    image.bigEndian = bigEndian;
    for (const auto& c : cases) image.symbols.push_back(c.symbol);
    OpenFile f(image);
    ASSERT_EQ(0, f.result);
    EXPECT_EQ(22u, f.info().fileHeader.symbolCount);

    uint32_t index = 0;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.symbol.name + (bigEndian ? " big-endian" : " little-endian"));
      const uint32_t before = index;
      CoffSymbolEntry symbol{};
      CoffAuxEntry aux;
      std::memset(&aux, 0x77, sizeof aux);
      int32_t kind = -1;
      ASSERT_EQ(0, COFFR_GetSymbolTableEntry(f.handle, &index, &kind, &symbol, &aux));
      EXPECT_EQ(before + 1 + c.symbol.aux.size(), index);
      EXPECT_EQ(c.expected.kind, kind);
      EXPECT_EQ(c.symbol.value, symbol.value);
      EXPECT_EQ(c.symbol.sectionNumber, symbol.sectionNumber);
      EXPECT_EQ(c.symbol.type, symbol.type);
      EXPECT_EQ(c.symbol.storageClass, symbol.storageClass);
      EXPECT_EQ(c.symbol.name, f.name(symbol.name));
      for (const auto& field : c.expected.converted) {
        EXPECT_EQ(field.value, hostAt(aux, field.offset, field.width)) << "offset " << int{field.offset};
      }
      if (kind == COFFR_AUX_NONE) {
        EXPECT_EQ(0, aux.bytes[0]) << "no stale auxiliary data";
      }
      if (kind == COFFR_AUX_FILE) {
        EXPECT_STREQ("main.c", reinterpret_cast<const char*>(aux.bytes));
      }
      // Fields a kind does not convert stay as stored: .bb's u32 at 0 is only converted for .bf.
      if (c.symbol.name == ".bb") {
        const uint32_t stored = hostAt(aux, 0, 4);
        EXPECT_EQ(bigEndian ? __builtin_bswap32(bf[3].value) : bf[3].value, stored);
      }
    }
    CoffSymbolEntry symbol;
    CoffAuxEntry aux;
    int32_t kind = 0;
    EXPECT_EQ(COFFR_ERR_READ, COFFR_GetSymbolTableEntry(f.handle, &index, &kind, &symbol, &aux));
    EXPECT_EQ(22u, index);
  }
}

}  // namespace
}  // namespace axtune::coff::testing
