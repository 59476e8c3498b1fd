#include "app/port_memory.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

namespace axtune {
namespace {

PortProbes Probes(std::initializer_list<int> usable, std::initializer_list<int> carrier) {
  PortProbes probes{};
  for (int n : usable) probes[n].usable = true;
  for (int n : carrier) probes[n].carrier = true;
  return probes;
}

TEST(PortChoice, PrefersTheCarrierPortThenTheHighestUsable) {
  // Drives on COM2 (carrier) and COM5 (no carrier), nothing remembered: COM2.
  EXPECT_EQ(ChoosePreferredPort(Probes({2, 5}, {2}), 0), 2);
  // A higher port with carrier replaces a lower one.
  EXPECT_EQ(ChoosePreferredPort(Probes({2, 5, 9}, {2, 5}), 0), 5);
  // Without any carrier the highest usable port.
  EXPECT_EQ(ChoosePreferredPort(Probes({1, 4, 11}, {}), 0), 11);
  // No usable port at all, whatever is remembered.
  EXPECT_EQ(ChoosePreferredPort(Probes({}, {}), 3), 0);
}

TEST(PortChoice, RememberedPortWinsOnlyWhenUsable) {
  EXPECT_EQ(ChoosePreferredPort(Probes({2, 3}, {2}), 3), 3) << "remembered COM3 beats the carrier on COM2";
  EXPECT_EQ(ChoosePreferredPort(Probes({2, 3}, {2}), 7), 2) << "COM7 does not open: the carrier port";
  EXPECT_EQ(ChoosePreferredPort(Probes({2, 3}, {2}), 0), 2) << "0 is no port number";
  EXPECT_EQ(ChoosePreferredPort(Probes({1, 2}, {2}), 1), 1) << "a remembered 1 may stand for COM10..12";
}

class PortMemoryFile : public ::testing::Test {
 protected:
  std::string path(const char* name = "Axtune.ini") { return dir_.filePath(name).toStdString(); }
  void write(const std::string& bytes) { std::ofstream(path(), std::ios::binary) << bytes; }
  std::string read() {
    std::ifstream in(path(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  QTemporaryDir dir_;
};

TEST_F(PortMemoryFile, ReadsTheFirstByteAsADigit) {
  EXPECT_EQ(ReadPortMemory(path()), 0) << "missing file";
  write("");
  EXPECT_EQ(ReadPortMemory(path()), 0) << "empty file";
  write("3");
  EXPECT_EQ(ReadPortMemory(path()), 3);
  write("12");
  EXPECT_EQ(ReadPortMemory(path()), 1) << "only one character counts";
  write("x");
  EXPECT_EQ(ReadPortMemory(path()), 0) << "a non-digit gives 0";
}

TEST_F(PortMemoryFile, WritesExactlyTheFirstDigit) {
  write("9 and more that must go");
  ASSERT_TRUE(WritePortMemory(11, path()));
  EXPECT_EQ(read(), "1") << "COM11 is remembered as the digit 1, the file truncated";
  ASSERT_TRUE(WritePortMemory(4, path()));
  EXPECT_EQ(read(), "4");
  EXPECT_FALSE(WritePortMemory(4, dir_.filePath("no/such/dir/Axtune.ini").toStdString()));
}

// The flash kernel setting lives after the port byte: the port's write keeps it, and a file from an
// older version (only the byte) takes it without losing the port.
TEST_F(PortMemoryFile, KeepsSettingsAfterThePortByte) {
  write("3");
  ASSERT_TRUE(WriteMemorySetting(kFlashKernelSetting, "/opt/kernel a.out", path()));
  EXPECT_EQ(ReadPortMemory(path()), 3);
  EXPECT_EQ(ReadMemorySetting(kFlashKernelSetting, path()), "/opt/kernel a.out");
  ASSERT_TRUE(WritePortMemory(7, path()));
  EXPECT_EQ(ReadMemorySetting(kFlashKernelSetting, path()), "/opt/kernel a.out");
  ASSERT_TRUE(WriteMemorySetting("Other", "x", path()));
  ASSERT_TRUE(WriteMemorySetting(kFlashKernelSetting, "/k2.out", path()));
  EXPECT_EQ(read(), "7\nOther=x\nFlashKernel=/k2.out\n");
  ASSERT_TRUE(WriteMemorySetting(kFlashKernelSetting, "", path()));
  EXPECT_EQ(read(), "7\nOther=x\n");
  EXPECT_EQ(ReadMemorySetting(kFlashKernelSetting, path()), "");
  EXPECT_EQ(ReadMemorySetting("Oth", path()), "") << "a prefix of a name is not the name";
}

TEST_F(PortMemoryFile, ASettingWithoutAPortRemembersNone) {
  ASSERT_TRUE(WriteMemorySetting(kFlashKernelSetting, "/k.out", path()));
  EXPECT_EQ(ReadPortMemory(path()), 0);
  EXPECT_EQ(ReadMemorySetting(kFlashKernelSetting, path()), "/k.out");
}

// The update's rate lives on its own line after the port byte: the choice survives a restart (a new
// read of the file), a later port write, and files from before it.
TEST_F(PortMemoryFile, UpdateRateIsRememberedBesideThePort) {
  const struct {
    const char* before;
    int chosen;  // 0: nothing written
    int port;    // 0: no port written
    int readBack;
    int portBack;
  } cases[] = {
      {"", 0, 0, 115200, 0},                      // nothing remembered: the default
      {"3", 57600, 0, 57600, 3},                  // an old one-byte file keeps its port
      {"3", 19200, 7, 19200, 7},                  // the port written after the rate keeps the rate
      {"5\nFlashBaud=14400\n", 0, 0, 115200, 5},  // not a programmer rate: the default
      {"5\nFlashBaud=38400", 0, 2, 38400, 2},
      {"x\nFlashBaud=9600\n", 0, 0, 9600, 0},
      {"FlashBaud=57600\n", 0, 0, 115200, 0},  // at the start it is the port byte's place
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    write(c.before);
    if (c.chosen != 0) {
      ASSERT_TRUE(WriteUpdateBaudMemory(c.chosen, path()));
    }
    if (c.port != 0) {
      ASSERT_TRUE(WritePortMemory(c.port, path()));
    }
    EXPECT_EQ(ReadUpdateBaudMemory(115200, path()), c.readBack);
    EXPECT_EQ(ReadPortMemory(path()), c.portBack);
  }
}

TEST_F(PortMemoryFile, TheUpdatesReadBackChoiceIsASettingBesideThePort) {
  EXPECT_FALSE(ReadUpdateReadBack(path())) << "missing file";
  ASSERT_TRUE(WriteUpdateReadBack(true, path()));
  EXPECT_TRUE(ReadUpdateReadBack(path()));
  EXPECT_EQ(ReadPortMemory(path()), 0) << "no port yet";
  ASSERT_TRUE(WritePortMemory(4, path()));
  EXPECT_EQ(ReadPortMemory(path()), 4);
  EXPECT_TRUE(ReadUpdateReadBack(path())) << "the port's write keeps the choice";
  ASSERT_TRUE(WriteUpdateReadBack(false, path()));
  EXPECT_FALSE(ReadUpdateReadBack(path()));
  EXPECT_EQ(ReadPortMemory(path()), 4);
}

}  // namespace
}  // namespace axtune
