// The reader on COFF files written by TI's own tools (skipped when the folder is absent).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "firmware/coff/coff_reader.h"

namespace {

const std::filesystem::path kFolder = std::filesystem::path(AXTUNE_TESTDATA_DIR) / "coff";

struct Handle {
  explicit Handle(const std::filesystem::path& path) {
    result = COFFR_FileOpen(path.string().c_str(), nullptr, &handle);
  }
  ~Handle() { COFFR_FileClose(handle); }
  CoffHandle* handle = nullptr;
  int32_t result = 0;
};

std::string sectionName(CoffHandle* handle, uint16_t number) {
  CoffSymbolEntry symbol{};
  std::copy(handle->info->sections[number - 1].name, handle->info->sections[number - 1].name + 8,
            symbol.name);
  char buffer[256];
  EXPECT_EQ(0, COFFR_GetSymbolName(handle, &symbol, sizeof buffer, buffer));
  return buffer;
}

class RealFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(kFolder)) GTEST_SKIP() << "no real COFF files in " << kFolder;
  }
};

// Every intact file: names listed, loadable sections found and read in full, the largest one right.
TEST_F(RealFiles, EveryIntactFileOpensAndItsLoadableSectionsReadInFull) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kFolder)) {
    const std::string file = entry.path().filename().string();
    if (file.find("TRUNCATED") != std::string::npos) continue;
    SCOPED_TRACE(file);
    Handle h(entry.path());
    ASSERT_EQ(0, h.result);
    ++files;
    const CoffImageInfo& info = *h.handle->info;
    int32_t largest = 0;
    int16_t largestNumber = 0;
    int loadable = 0;
    for (uint16_t n = 1; n <= info.fileHeader.sectionCount; ++n) {
      EXPECT_FALSE(sectionName(h.handle, n).empty()) << n;
      if (COFFR_IsLoadSection(h.handle, n) != 0) continue;
      ++loadable;
      CoffSectionHeader header{};
      ASSERT_EQ(0, COFFR_GetSectionHdr(h.handle, n, &header));
      std::vector<uint8_t> data(info.maxLoadSectionBytes);
      uint32_t got = 0;
      EXPECT_EQ(0, COFFR_GetSectData(h.handle, n, data.data(), 0, static_cast<uint32_t>(data.size()), &got))
          << n;
      EXPECT_GT(got, 0u);
      if (static_cast<int32_t>(got) > largest)
        largest = static_cast<int32_t>(got), largestNumber = static_cast<int16_t>(n);
    }
    EXPECT_GT(loadable, 0);
    EXPECT_EQ(largest, info.maxLoadSectionBytes);
    EXPECT_EQ(largestNumber, info.maxLoadSection);
  }
  EXPECT_EQ(4, files);
}

TEST_F(RealFiles, C28xFirmwareHasItsSectionsAndStringTableNames) {
  Handle h(kFolder / "c28x_f28335_debug_flash.out");
  ASSERT_EQ(0, h.result);
  const CoffImageInfo& info = *h.handle->info;
  EXPECT_EQ(0x00C2, info.version);
  EXPECT_EQ(0x009D, info.targetId);
  EXPECT_EQ(81, info.fileHeader.sectionCount);
  EXPECT_EQ(0, info.byteSwapped);
  int fromTable = 0;
  bool sawText = false;
  for (uint16_t n = 1; n <= 81; ++n) {
    const CoffSectionHeader& s = info.sections[n - 1];
    if (s.name[0] == 0) ++fromTable;
    sawText = sawText || sectionName(h.handle, n) == ".text";
    // Debug copy sections count in bytes, not units; they are never loadable.
    if (s.flags & COFFR_SECT_COPY) {
      EXPECT_NE(0, COFFR_IsLoadSection(h.handle, n));
    }
  }
  EXPECT_GT(fromTable, 0);
  EXPECT_TRUE(sawText);
  // A linked .cinit holds initialised data, not a copy section, so it is not recorded.
  EXPECT_EQ(-1, info.cinitSection);
  // Code that runs from RAM is stored in flash: the physical address is where it runs, the virtual
  // address where it is loaded.
  const CoffSectionHeader& ramfuncs = info.sections[5];
  EXPECT_EQ("ramfuncs", sectionName(h.handle, 6));
  EXPECT_EQ(0x8000u, ramfuncs.physicalAddress);
  EXPECT_EQ(0x320000u, ramfuncs.virtualAddress);
  uint32_t lines = 0;
  EXPECT_EQ(0, COFFR_FindMaxLnno(h.handle, &lines));

  // Walk the whole symbol table.
  uint32_t index = 0;
  int symbols = 0;
  while (index < info.fileHeader.symbolCount) {
    CoffSymbolEntry symbol;
    CoffAuxEntry aux;
    int32_t kind = 0;
    ASSERT_EQ(0, COFFR_GetSymbolTableEntry(h.handle, &index, &kind, &symbol, &aux));
    char name[512];
    ASSERT_EQ(0, COFFR_GetSymbolName(h.handle, &symbol, sizeof name, name));
    ++symbols;
  }
  EXPECT_GT(symbols, 0);
}

TEST_F(RealFiles, ObjectFileAndOtherTargets) {
  Handle obj(kFolder / "c28x_f28335_CodeStartBranch_reloc.obj");
  ASSERT_EQ(0, obj.result);
  EXPECT_EQ(0, obj.handle->info->fileHeader.optionalHeaderSize);
  EXPECT_EQ(0u, obj.handle->info->entryPoint);

  // C55x files carry the big-endian flag with little-endian headers.
  Handle c55(kFolder / "c55x_c5515_FIR.out");
  ASSERT_EQ(0, c55.result);
  EXPECT_EQ(0x009C, c55.handle->info->targetId);
  EXPECT_EQ(1, c55.handle->info->bigEndianTarget);
  EXPECT_EQ(0, c55.handle->info->byteSwapped);

  Handle c6000(kFolder / "c6000_c6713_pll_oldcgt.out");
  ASSERT_EQ(0, c6000.result);
  EXPECT_EQ(0x0099, c6000.handle->info->targetId);

  // Its .text has 154 line numbers; a function's block starts with line 0 and the symbol index.
  uint32_t most = 0;
  EXPECT_EQ(0, COFFR_FindMaxLnno(c6000.handle, &most));
  EXPECT_EQ(154u, most);
  std::vector<CoffLineNumber> lines(160);
  uint32_t got = 0;
  EXPECT_EQ(0, COFFR_GetSectLnno(c6000.handle, 3, lines.data(), 0, 154, &got));
  EXPECT_EQ(154u, got);
  EXPECT_EQ(0, lines[0].line);
  EXPECT_EQ(6u, lines[0].address);
  EXPECT_EQ(2, lines[1].line);
  EXPECT_EQ(544u, lines[1].address);
  EXPECT_EQ(56, lines[153].line);
  EXPECT_EQ(4032u, lines[153].address);
  EXPECT_EQ(COFFR_ERR_SHORT, COFFR_GetSectLnno(c6000.handle, 3, lines.data(), 150, 10, &got));
  EXPECT_EQ(4u, got);
}

TEST_F(RealFiles, TruncatedFileFailsWithACode) {
  Handle h(kFolder / "c28x_TRUNCATED_118B_in_scnhdr1.out");
  EXPECT_EQ(COFFR_ERR_READ, h.result);
  EXPECT_NE(nullptr, h.handle);
}

}  // namespace
