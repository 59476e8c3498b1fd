// The embedded flash kernel has the layout of the real one, and a temp directory that cannot take
// it fails the boot load cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "firmware/coff/coff_reader.h"
#include "firmware/programmer/boot_loader.h"
#include "firmware/programmer/kernel_image.h"
#include "sim/boot/standin_kernel.h"
#include "tests/firmware/programmer/programmer_fixture.h"
#include "tests/support/test_env.h"

namespace axtune::test {
namespace {

TEST(EmbeddedKernel, IsACoffVersion2C28xImageWithTheKernelsFourSections) {
  auto file = std::make_unique<prg::TemporaryKernelFile>();
  const std::string path = file->path();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(std::filesystem::file_size(std::filesystem::u8path(path)), axprg_kernel_image_size);

  CoffHandle* handle = nullptr;
  ASSERT_EQ(COFFR_FileOpen(path.c_str(), nullptr, &handle), 0);
  const CoffImageInfo& info = *handle->info;
  EXPECT_EQ(info.version, 0x00C2);
  EXPECT_EQ(info.targetId, 0x009D);
  EXPECT_EQ(info.byteSwapped, 0);
  struct Expected {
    const char* name;
    uint32_t words;
  } expected[] = {{".text", 3489}, {".cinit", 90}, {".econst", 37}, {"ramfuncs", 4}};
  ASSERT_EQ(info.fileHeader.sectionCount, 4);
  for (uint16_t i = 0; i < 4; ++i) {
    const CoffSectionHeader& s = info.sections[i];
    EXPECT_EQ(std::string(s.name, strnlen(s.name, 8)), expected[i].name);
    EXPECT_EQ(s.size, expected[i].words);
    EXPECT_EQ(COFFR_IsLoadSection(handle, static_cast<uint16_t>(i + 1)), 0);
  }
  EXPECT_EQ(info.entryPoint, info.sections[0].virtualAddress);
  if (axprg_kernel_is_stand_in != 0) {
    EXPECT_EQ(info.entryPoint, sim::kStandInKernelEntryPoint);
    char signature[sizeof sim::kStandInKernelSignature] = {};
    uint32_t read = 0;
    ASSERT_EQ(COFFR_GetSectData(handle, 1, signature, 0, sizeof signature - 1, &read), 0);
    EXPECT_STREQ(signature, sim::kStandInKernelSignature);
  }
  COFFR_FileClose(handle);
  file = std::make_unique<prg::TemporaryKernelFile>();  // a second file gets a name of its own
  EXPECT_NE(file->path(), path);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(path)));  // the first one is gone
  file.reset();
}

TEST_F(ProgrammerSession, ATempDirectoryThatCannotTakeTheKernelFailsTheLoad) {
#ifdef _WIN32
  const char* variable = "TMP";  // what GetTempPath looks at first
#else
  const char* variable = "TMPDIR";
#endif
  const char* previous = std::getenv(variable);
  const std::string saved = previous != nullptr ? previous : "";
  axtune::test::SetEnv(variable, "/nonexistent-axtune-temp/sub");
  const int result = PRG_Open(handle_);
  if (previous != nullptr) {
    axtune::test::SetEnv(variable, saved);
  } else {
    axtune::test::UnsetEnv(variable);
  }
  EXPECT_EQ(result, PRG_FAILED);
  EXPECT_TRUE(sawMessage("Could not write the flash kernel to the temp directory\n"));
  EXPECT_TRUE(sawMessage("Failed to load boot code.\n"));
}

TEST_F(ProgrammerSession, ARateOutsideTheAutobaudTableIsUsedAsItIs) {
  PRG_SetOptions(handle_, "EmuBaudRate=1200");
  Connect();
  EXPECT_EQ(line_->lastSettings().baudRate, 1200);
  EXPECT_TRUE(sawMessage("Connected to test:prg at 1200 baud\n"));
}

}  // namespace
}  // namespace axtune::test
