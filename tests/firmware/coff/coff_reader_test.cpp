// Headers, versions, byte order, loadable sections, section data and line numbers on synthetic files.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "open_file.h"

namespace axtune::coff::testing {
namespace {

// A C28x executable: the largest loadable section has 3489 units (6978 bytes).
Image firmwareImage(int version = 2, bool bigEndian = false) {
  Image image;
  image.version = version;
  image.bigEndian = bigEndian;
  image.flags = 0x0103;
  Section text{".text", 0x3F4000, 0x3E8000, 3489, pattern(6978, 1)};
  text.page = 0;
  text.lines = {{7, 0}, {0x3F4002, 12}, {0x3F4010, 13}};
  Section cinit{".cinit", 0x3F5000, 0x3F5000, 100, pattern(200, 2), false, 0x0040};
  Section bss{".bss", 0x8000, 0x8000, 512, {}, false, 0x0080, 1};
  Section econst{".econst", 0x3F6000, 0x3F6000, 3489, pattern(6978, 3), false, 0x0040, 1};
  Section copy{".cinit", 0, 0, 40, pattern(40, 4), false, 0x0010};
  image.sections = {text, cinit, bss, econst, copy};
  if (version == 2) image.sections[3].reserved = 0x1234;
  return image;
}

void expectSameSection(const CoffSectionHeader& a, const CoffSectionHeader& b) {
  EXPECT_EQ(0, std::memcmp(a.name, b.name, 8));
  EXPECT_EQ(a.physicalAddress, b.physicalAddress);
  EXPECT_EQ(a.virtualAddress, b.virtualAddress);
  EXPECT_EQ(a.size, b.size);
  EXPECT_EQ(a.rawDataOffset, b.rawDataOffset);
  EXPECT_EQ(a.lineNumberOffset, b.lineNumberOffset);
  EXPECT_EQ(a.lineNumberCount, b.lineNumberCount);
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.page, b.page);
}

// Every version in both byte orders gives the same headers and the untouched raw data.
class VersionAndOrder : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(VersionAndOrder, HeadersAndDataMatchTheWrittenImage) {
  const auto [version, bigEndian] = GetParam();
  const Image image = firmwareImage(version, bigEndian);
  OpenFile f(image);
  ASSERT_EQ(0, f.result);
  const CoffImageInfo& info = f.info();

  EXPECT_EQ(version == 0 ? 0x00C0 : 0x00C0 + version, info.version);
  EXPECT_EQ(0x009D, info.targetId);
  EXPECT_EQ(bigEndian ? 1 : 0, info.byteSwapped);
  EXPECT_EQ(5, info.fileHeader.sectionCount);
  EXPECT_EQ(0x5F000000u, info.fileHeader.timeStamp);
  EXPECT_EQ(0x0103, info.fileHeader.flags);
  EXPECT_EQ(28, info.fileHeader.optionalHeaderSize);
  EXPECT_EQ(0x3F4000u, info.entryPoint);
  EXPECT_EQ(0x0108, info.optionalHeader.magic);
  EXPECT_EQ(0x8000u, info.optionalHeader.dataStart);

  // Physical address is the run address, virtual the load address.
  const CoffSectionHeader& text = info.sections[0];
  EXPECT_STREQ(".text", std::string(text.name, 8).c_str());
  EXPECT_EQ(0x3F4000u, text.physicalAddress);
  EXPECT_EQ(0x3E8000u, text.virtualAddress);
  EXPECT_EQ(3489u, text.size);
  EXPECT_EQ(3u, text.lineNumberCount);
  EXPECT_EQ(0x0020u, text.flags);
  EXPECT_EQ(1, info.sections[2].page);
  if (version == 2) {
    EXPECT_EQ(bigEndian ? 0x3412 : 0x1234, info.sections[3].reserved);
  }

  // The first of two equally large loadable sections wins.
  int32_t bytes = 0;
  EXPECT_EQ(0, COFFR_FindMaxLoadSectionSize(f.handle, &bytes));
  EXPECT_EQ(6978, bytes);
  EXPECT_EQ(1, info.maxLoadSection);
  EXPECT_EQ(6978, info.maxLoadSectionBytes);
  int32_t code = -1;
  EXPECT_EQ(image.sections[0].data, f.data(1, &code));
  EXPECT_EQ(0, code);
  EXPECT_EQ(image.sections[3].data, f.data(4));

  // Re-reading a header gives the table's copy.
  CoffSectionHeader again{};
  ASSERT_EQ(0, COFFR_GetSectionHdr(f.handle, 4, &again));
  expectSameSection(info.sections[3], again);
  CoffFileHeader file{};
  ASSERT_EQ(0, COFFR_GetFileHdr(f.handle, &file));
  EXPECT_EQ(0, std::memcmp(&file, &info.fileHeader, sizeof file));
  CoffOptionalHeader optional{};
  ASSERT_EQ(0, COFFR_GetOptionalHdr(f.handle, &optional));
  EXPECT_EQ(0, std::memcmp(&optional, &info.optionalHeader, sizeof optional));
}

INSTANTIATE_TEST_SUITE_P(AllVersions, VersionAndOrder,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Bool()));

TEST(CoffVersions, OldVersionsWidenTheirHeadersAndKeepNamesAsTextOnly) {
  for (int version : {0, 1}) {
    Image image = firmwareImage(version);
    image.sections[0].relocationCount = 0xFFFF;
    image.sections[2].page = 0xFF;
    image.sections[2].flags = 0x8080;  // 16-bit flags zero-extended
    std::vector<uint8_t> bytes = build(image);
    // A string-table reference in a 40-byte header is not kept: the name reads empty.
    const size_t header1 = (version == 0 ? 20 : 22) + 28;
    std::memset(bytes.data() + header1, 0, 4);
    bytes[header1 + 4] = 4;
    OpenFile f(bytes);
    ASSERT_EQ(0, f.result) << version;
    CoffSectionHeader header;
    std::memset(&header, 0xAB, sizeof header);
    ASSERT_EQ(0, COFFR_GetSectionHdr(f.handle, 3, &header));
    EXPECT_EQ(0x8080u, header.flags);
    EXPECT_EQ(0xFF, header.page);
    EXPECT_EQ(0xABAB, header.reserved) << "the reserved field is left as it was";
    EXPECT_EQ(0xFFFFu, f.info().sections[0].relocationCount);
    EXPECT_EQ(0, std::memcmp(f.info().sections[0].name, "\0\0\0\0\0\0\0\0", 8));
  }
}

TEST(CoffVersions, UnknownMagicOrTargetIsRejectedButTheHandleIsReturned) {
  std::vector<uint8_t> bytes = build(firmwareImage());
  bytes[0] = 0x01, bytes[1] = 0x01;  // neither valid as stored nor reversed
  OpenFile magic(bytes);
  EXPECT_EQ(COFFR_ERR_NOT_COFF, magic.result);
  EXPECT_NE(nullptr, magic.handle);

  Image image = firmwareImage();
  image.targetId = 0x00A0;
  EXPECT_EQ(COFFR_ERR_NOT_COFF, OpenFile(image).result);
  image.bigEndian = true;
  EXPECT_EQ(COFFR_ERR_NOT_COFF, OpenFile(image).result);
}

// The byte order comes from the first field alone; the big-endian and symbols-merged flags are only
// recorded (some files carry the big-endian flag with little-endian headers).
TEST(CoffVersions, FileFlagsAreRecordedWithoutChangingTheByteOrder) {
  for (bool bigEndian : {false, true}) {
    Image image = firmwareImage(2, bigEndian);
    image.flags = 0x1200;
    image.entryPoint = 0;  // a valid entry point
    OpenFile f(image);
    ASSERT_EQ(0, f.result) << bigEndian;
    EXPECT_EQ(1, f.info().bigEndianTarget);
    EXPECT_EQ(1, f.info().symbolsMerged);
    EXPECT_EQ(bigEndian ? 1 : 0, f.info().byteSwapped);
    EXPECT_EQ(0u, f.info().entryPoint);
    EXPECT_EQ(3489u, f.info().sections[0].size);
    EXPECT_EQ(image.sections[0].data, f.data(1));
  }
}

// 0x00C0 as first field is a version-0 file whose target is unknown: it opens, but no section has bytes.
TEST(CoffVersions, VersionZeroMagicOpensWithoutReadableData) {
  for (bool bigEndian : {false, true}) {
    Image image = firmwareImage(0, bigEndian);
    image.targetId = 0x00C0;
    OpenFile f(image);
    ASSERT_EQ(0, f.result) << bigEndian;
    EXPECT_EQ(0x00C0, f.info().version);
    EXPECT_EQ(0x00C0, f.info().targetId);
    EXPECT_EQ(0, COFFR_IsLoadSection(f.handle, 1));
    EXPECT_EQ(0, f.info().maxLoadSection);
    int32_t code = 0;
    EXPECT_TRUE(f.data(1, &code).empty());
    EXPECT_EQ(COFFR_ERR_SHORT, code);
  }
}

TEST(CoffOpen, MissingOrShortFilesFailWithACode) {
  CoffHandle* handle = reinterpret_cast<CoffHandle*>(1);
  EXPECT_EQ(COFFR_ERR_OPEN, COFFR_FileOpen("/nonexistent/firmware.out", nullptr, &handle));
  EXPECT_NE(nullptr, handle);
  EXPECT_EQ(0, COFFR_FileClose(handle));
  EXPECT_EQ(0, COFFR_FileClose(nullptr));
  EXPECT_EQ(COFFR_ERR_ARGUMENT, COFFR_FileOpen(nullptr, nullptr, &handle));
  EXPECT_EQ(nullptr, handle);

  const std::vector<uint8_t> full = build(firmwareImage());
  // Cut inside the file header, the optional header and the third section header.
  for (size_t size : {size_t{0}, size_t{21}, size_t{40}, size_t{22 + 28 + 2 * 48 + 10}}) {
    OpenFile f(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(size)));
    EXPECT_EQ(COFFR_ERR_READ, f.result) << size;
  }
}

TEST(CoffOpen, OptionsAreCopiedAndObjectFilesHaveNoOptionalHeader) {
  const uint32_t options[4] = {1, 0, 0, 1};
  Image image = firmwareImage();
  image.optionalHeader = false;
  OpenFile f(build(image), options);
  ASSERT_EQ(0, f.result);
  EXPECT_EQ(0, std::memcmp(options, f.handle->options, sizeof options));
  EXPECT_EQ(nullptr, f.handle->reserved);
  EXPECT_EQ(0u, f.info().entryPoint);
  CoffOptionalHeader optional;
  std::memset(&optional, 0x5A, sizeof optional);
  EXPECT_EQ(0, COFFR_GetOptionalHdr(f.handle, &optional));
  EXPECT_EQ(0x5A5A, optional.magic) << "left alone without an optional header";
  EXPECT_EQ(image.sections[0].data, f.data(1));

  OpenFile zeros(build(image));
  EXPECT_EQ(0u, zeros.handle->options[0] | zeros.handle->options[3]);
}

TEST(CoffSections, LoadableTestAndSpecialSections) {
  Image image = firmwareImage();
  // Every section that is not loadable claims more than the largest loadable one.
  image.sections[4].sizeUnits = 9000;
  Section empty{".empty", 0, 0, 0, pattern(4, 5)};
  Section noOffset{".nooff", 0, 0, 9000, pattern(20, 6)};
  noOffset.forceZeroRawOffset = true;
  Section dummy{".dummy", 0, 0, 9000, pattern(20, 7), false, 0x0021};
  Section noload{".noload", 0, 0, 9000, pattern(20, 8), false, 0x0022};
  image.sections.insert(image.sections.end(), {empty, noOffset, dummy, noload});
  OpenFile f(image);
  ASSERT_EQ(0, f.result);
  EXPECT_EQ(0, COFFR_IsLoadSection(f.handle, 1));
  EXPECT_EQ(0, COFFR_IsLoadSection(f.handle, 2));
  for (uint16_t n : {0, 3, 5, 6, 7, 8, 9, 10, 0xFFFF}) {
    EXPECT_EQ(COFFR_ERR_NOT_LOADABLE, COFFR_IsLoadSection(f.handle, n)) << n;
  }
  // ".cinit" with the copy flag is recorded although it is not loadable; the data-flagged one is not.
  EXPECT_EQ(5, f.info().cinitSection);
  EXPECT_EQ(3, f.info().bssSection);
  EXPECT_EQ(1, f.info().maxLoadSection);
  EXPECT_EQ(6978, f.info().maxLoadSectionBytes);

  OpenFile none(Image{});
  EXPECT_EQ(-1, none.info().cinitSection);
  EXPECT_EQ(-1, none.info().bssSection);
  EXPECT_EQ(0, none.info().maxLoadSection);
}

TEST(CoffSections, DataReadsStopAtTheSectionEnd) {
  const Image image = firmwareImage();
  OpenFile f(image);
  ASSERT_EQ(0, f.result);
  std::vector<uint8_t> buffer(8000, 0xCC);
  uint32_t got = 99;
  EXPECT_EQ(0, COFFR_GetSectData(f.handle, 1, buffer.data(), 6000, 8000, &got));
  EXPECT_EQ(978u, got);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 978, image.sections[0].data.begin() + 6000));
  EXPECT_EQ(0xCC, buffer[978]);

  EXPECT_EQ(COFFR_ERR_SHORT, COFFR_GetSectData(f.handle, 1, buffer.data(), 6978, 10, &got));
  EXPECT_EQ(0u, got);
  EXPECT_EQ(COFFR_ERR_SHORT, COFFR_GetSectData(f.handle, 1, buffer.data(), 0xFFFFFFFF, 10, &got));
  // .bss has a size but no raw data: nothing is read, least of all the file's headers.
  EXPECT_EQ(COFFR_ERR_SHORT, COFFR_GetSectData(f.handle, 3, buffer.data(), 0, 10, &got));
  EXPECT_EQ(0u, got);

  // Section numbers outside the table are refused instead of indexing past it.
  for (uint16_t n : {0, 6, 0xFFFF}) {
    EXPECT_EQ(COFFR_ERR_SECTION, COFFR_GetSectData(f.handle, n, buffer.data(), 0, 10, &got)) << n;
    CoffLineNumber lines[1];
    EXPECT_EQ(COFFR_ERR_SECTION, COFFR_GetSectLnno(f.handle, n, lines, 0, 1, &got)) << n;
    CoffSectionHeader header;
    EXPECT_EQ(COFFR_ERR_SECTION, COFFR_GetSectionHdr(f.handle, n, &header)) << n;
  }
}

TEST(CoffSections, DataBeyondTheFileEndIsAShortRead) {
  Image image = firmwareImage();
  image.sections[0].sizeUnits = 0xFFFFFFFF;  // claims far more than the file holds
  OpenFile f(image);
  ASSERT_EQ(0, f.result);
  EXPECT_EQ(0x7FFFFFFF, f.info().maxLoadSectionBytes);
  std::vector<uint8_t> buffer(1 << 20);
  uint32_t got = 0;
  EXPECT_EQ(COFFR_ERR_SHORT,
            COFFR_GetSectData(f.handle, 1, buffer.data(), 0, static_cast<uint32_t>(buffer.size()), &got));
  EXPECT_LT(got, buffer.size());
  EXPECT_GE(got, 6978u);
}

// The target table converts units to bytes for every size.
class TargetTable : public ::testing::TestWithParam<std::tuple<uint16_t, uint32_t>> {};

TEST_P(TargetTable, ConvertsUnitsToBytes) {
  const auto [target, expectedBytes] = GetParam();
  Image image;
  image.targetId = target;
  image.sections = {Section{".text", 0, 0, 800, pattern(3200, 9)}};
  OpenFile f(image);
  ASSERT_EQ(0, f.result);
  int32_t bytes = -1;
  COFFR_FindMaxLoadSectionSize(f.handle, &bytes);
  EXPECT_EQ(static_cast<int32_t>(expectedBytes), bytes);
  std::vector<uint8_t> buffer(4000);
  uint32_t got = 0;
  const int32_t code = COFFR_GetSectData(f.handle, 1, buffer.data(), 0, 4000, &got);
  EXPECT_EQ(expectedBytes, got);
  EXPECT_EQ(expectedBytes == 0 ? COFFR_ERR_SHORT : 0, code);
}

INSTANTIATE_TEST_SUITE_P(Targets, TargetTable,
                         ::testing::Values(std::make_tuple(0x0090, 100u), std::make_tuple(0x0091, 800u),
                                           std::make_tuple(0x0099, 800u), std::make_tuple(0x0092, 1600u),
                                           std::make_tuple(0x009D, 1600u), std::make_tuple(0x0093, 3200u),
                                           std::make_tuple(0x0094, 0u), std::make_tuple(0x009A, 0u)));

TEST(CoffLineNumbers, ReadsSlotsInBothByteOrders) {
  for (bool bigEndian : {false, true}) {
    OpenFile f(firmwareImage(2, bigEndian));
    ASSERT_EQ(0, f.result);
    uint32_t most = 0;
    EXPECT_EQ(0, COFFR_FindMaxLnno(f.handle, &most));
    EXPECT_EQ(3u, most);

    CoffLineNumber slots[4];
    std::memset(slots, 0xEE, sizeof slots);
    uint32_t got = 0;
    EXPECT_EQ(0, COFFR_GetSectLnno(f.handle, 1, slots, 1, 2, &got));
    EXPECT_EQ(2u, got);
    EXPECT_EQ(0x3F4002u, slots[0].address);
    EXPECT_EQ(12, slots[0].line);
    EXPECT_EQ(0xEEEE, slots[0].untouched);
    EXPECT_EQ(13, slots[1].line);
    EXPECT_EQ(0xEEEEEEEEu, slots[2].address);

    // More than are left: the rest is read and the shortfall reported.
    EXPECT_EQ(COFFR_ERR_SHORT, COFFR_GetSectLnno(f.handle, 1, slots, 0, 4, &got));
    EXPECT_EQ(3u, got);
    EXPECT_EQ(7u, slots[0].address);
    EXPECT_EQ(COFFR_ERR_SHORT, COFFR_GetSectLnno(f.handle, 1, slots, 3, 1, &got));
    EXPECT_EQ(COFFR_ERR_SHORT, COFFR_GetSectLnno(f.handle, 1, slots, 0xFFFFFFFF, 1, &got));
    EXPECT_EQ(0u, got);
    // A section without line numbers reads nothing and succeeds.
    EXPECT_EQ(0, COFFR_GetSectLnno(f.handle, 2, slots, 0, 4, &got));
    EXPECT_EQ(0u, got);
  }
}

TEST(CoffArguments, NullPointersAreRefused) {
  OpenFile f(firmwareImage());
  uint32_t got = 0;
  int32_t size = 0;
  EXPECT_EQ(COFFR_ERR_ARGUMENT, COFFR_GetFileHdr(f.handle, nullptr));
  EXPECT_EQ(COFFR_ERR_ARGUMENT, COFFR_GetFileHdr(nullptr, &f.handle->info->fileHeader));
  EXPECT_EQ(COFFR_ERR_ARGUMENT, COFFR_GetSectData(f.handle, 1, nullptr, 0, 4, &got));
  EXPECT_EQ(COFFR_ERR_ARGUMENT, COFFR_FindMaxLoadSectionSize(nullptr, &size));
  EXPECT_EQ(COFFR_ERR_ARGUMENT, COFFR_LoadStrings(nullptr));
  EXPECT_EQ(COFFR_ERR_ARGUMENT, COFFR_IsLoadSection(nullptr, 1));
  EXPECT_EQ(0, COFFR_GetSectData(f.handle, 1, nullptr, 0, 0, &got));
}

}  // namespace
}  // namespace axtune::coff::testing
