// A whole session through qmx-sim on a pseudo-terminal at 115200 baud with the real serial backend
// and the real pauses: boot load, erase, write, verify, read, close; then the flash file qmx-sim
// writes on exit holds what was programmed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/programmer/flash_programmer.h"
#include "tests/firmware/programmer/qmx_sim_process.h"

namespace axtune::test {
namespace {

std::string g_log;
void Collect(PRG_Handle, int32_t, const char* text) {
  g_log += text;
}

TEST(PtyUpdate, ProgramsTheFlashOfQmxSimAt115200Baud) {
  const auto flashFile =
      std::filesystem::temp_directory_path() / ("axtune-pty-update-" + std::to_string(::getpid()) + ".bin");
  QmxSimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.start(
      QMX_SIM_PATH, {"--blank-flash", "--quiet", "--turnaround-us", "0", "--flash-bin", flashFile.string()},
      error))
      << error;

  PRG_Handle handle = nullptr;
  ASSERT_EQ(PRG_Init(&handle), 0);
  g_log.clear();
  PRG_SetMessageCallBack(handle, &Collect);
  ASSERT_EQ(PRG_SetOptions(handle, ("EmuBaudRate=115200,EmuPortName=" + sim.device()).c_str()), 0);
  ASSERT_EQ(PRG_Open(handle), PRG_DONE) << g_log;

  std::vector<uint16_t> image(1500);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint16_t>(0xC0DE ^ (i * 0x9E37));
  const uint32_t bytes = 2 * static_cast<uint32_t>(image.size());
  ASSERT_EQ(PRG_FlashErase(handle), PRG_DONE) << g_log;
  ASSERT_EQ(PRG_FlashWrite(handle, 0x3F0000, 0, bytes, image.data()), PRG_DONE) << g_log;
  ASSERT_EQ(PRG_FlashVerify(handle, 0x3F0000, 0, bytes, image.data()), PRG_DONE) << g_log;
  std::vector<uint16_t> back(image.size());
  ASSERT_EQ(PRG_FlashRead(handle, 0x3F0000, 0, bytes, back.data()), PRG_DONE) << g_log;
  EXPECT_EQ(back, image);
  EXPECT_EQ(PRG_Close(handle), 0);

  ASSERT_TRUE(sim.stop());
  std::ifstream in(flashFile, std::ios::binary);
  std::vector<uint8_t> flash((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(flashFile);
  ASSERT_EQ(flash.size(), 2u * 0x10000u);  // the F2808's 64 Ki words, low byte first
  const size_t offset = 2 * (0x3F0000 - 0x3E8000);
  for (size_t i = 0; i < image.size(); ++i) {
    const uint16_t word = static_cast<uint16_t>(flash[offset + 2 * i] | (flash[offset + 2 * i + 1] << 8));
    ASSERT_EQ(word, image[i]) << i;
  }
  EXPECT_EQ(flash[offset + bytes], 0xFF);
}

}  // namespace
}  // namespace axtune::test
