// Option text parsing, the port and rate the options select, and the plain entry points.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "firmware/programmer/flash_programmer.h"
#include "firmware/programmer/prg_options.h"

namespace axtune::prg {
namespace {

PRG_Options Parse(const std::string& text) {
  PRG_Options o{};
  ParseOptions(text, o);
  return o;
}

TEST(ProgrammerOptions, EachKindParsesAsItsFieldSays) {
  PRG_Options o = Parse(
      "EmulatorId=1234abcd,EmuBaudRate=-57600,PrgSkipBootLoad=YES,EmuProcessorName=TMS320F2808,"
      "PrgEraseOption4=0x0500,PrgVerifyTimeout=250,EmuPortName=/dev/ttyUSB1");
  EXPECT_EQ(o.EmulatorId, 0x1234ABCDu);
  EXPECT_EQ(o.EmuBaudRate, -57600);
  EXPECT_EQ(o.PrgSkipBootLoad, 1u);
  EXPECT_STREQ(o.EmuProcessorName, "TMS320F2808");
  EXPECT_EQ(o.PrgEraseOption4, 0x0500u);
  EXPECT_EQ(o.PrgVerifyTimeout, 250);
  EXPECT_STREQ(o.EmuPortName, "/dev/ttyUSB1");

  // Hex reads at most eight characters; a value that does not parse leaves the field alone.
  o = Parse("PrgEraseOption1=123456789,PrgEraseTimeout=12");
  EXPECT_EQ(o.PrgEraseOption1, 0x12345678u);
  ParseOptions("PrgEraseOption1=zz,PrgEraseTimeout=abc", o);
  EXPECT_EQ(o.PrgEraseOption1, 0x12345678u);
  EXPECT_EQ(o.PrgEraseTimeout, 12);
}

TEST(ProgrammerOptions, OnlyTheExactTextYesSetsAFlag) {
  EXPECT_EQ(Parse("PrgSkipBootLoad=yes").PrgSkipBootLoad, 0u);
  EXPECT_EQ(Parse("PrgSkipBootLoad=YES ").PrgSkipBootLoad, 0u);
  PRG_Options o = Parse("PrgSkipBootLoad=YES");
  ParseOptions("PrgSkipBootLoad=NO", o);
  EXPECT_EQ(o.PrgSkipBootLoad, 0u);
}

TEST(ProgrammerOptions, TextIsClearedAndCutAt260Characters) {
  PRG_Options o = Parse("PrgEraseFileName=" + std::string(300, 'x'));
  EXPECT_EQ(std::strlen(o.PrgEraseFileName), 260u);
  ParseOptions("PrgEraseFileName=short", o);
  EXPECT_STREQ(o.PrgEraseFileName, "short");
  ParseOptions("PrgEraseFileName=", o);
  EXPECT_STREQ(o.PrgEraseFileName, "");
}

TEST(ProgrammerOptions, ParsingStopsAtAnEmptyItemAndSkipsWhatItDoesNotKnow) {
  PRG_Options o = Parse("EmuBaudRate=57600,,PrgSkipBootLoad=YES");
  EXPECT_EQ(o.EmuBaudRate, 57600);
  EXPECT_EQ(o.PrgSkipBootLoad, 0u);

  o = Parse("emubaudrate=57600,NoEquals,Unknown=1, EmuPortAddr=C2,PrgVerifyOption3=7,EmuPortAddr=C4");
  EXPECT_EQ(o.EmuBaudRate, 0);      // keys are case-sensitive
  EXPECT_EQ(o.EmuPortAddr, 0xC4u);  // " EmuPortAddr" with its blank is another key
  EXPECT_EQ(o.PrgVerifyOption3, 7u);

  o = Parse(",EmuBaudRate=57600");
  EXPECT_EQ(o.EmuBaudRate, 0);
  o = Parse("EmuBaudRate=9600=1");  // the key ends at the first "="
  EXPECT_EQ(o.EmuBaudRate, 9600);
}

TEST(ProgrammerOptions, PortSlotFromEmuPortAddrUnlessEmuPortNameIsSet) {
  EXPECT_EQ(ProgrammerPortName(Parse("")), "\\\\.\\COM1");
  EXPECT_EQ(ProgrammerPortName(Parse("EmuPortAddr=C3")), "\\\\.\\COM3");
  EXPECT_EQ(ProgrammerPortName(Parse("EmuPortAddr=3")), "\\\\.\\COM1");
  EXPECT_EQ(ProgrammerPortName(Parse("EmuPortAddr=C2")), "\\\\.\\COM2");
  EXPECT_EQ(ProgrammerPortName(Parse("EmuPortAddr=C4")), "\\\\.\\COM4");
  EXPECT_EQ(ProgrammerPortName(Parse("EmuPortAddr=C5")), "\\\\.\\COM1");
  EXPECT_EQ(ProgrammerPortName(Parse("EmuPortAddr=C3,EmuPortName=sim:qmx")), "sim:qmx");
}

TEST(ProgrammerOptions, BootLoadWindowIsOneByteUnlessSetAndStaysWithinItsLimit) {
  EXPECT_EQ(BootLoadWindow(Parse("")), 1);
  EXPECT_EQ(Parse("PrgBootLoadWindow=16").PrgBootLoadWindow, 16);
  EXPECT_EQ(BootLoadWindow(Parse("PrgBootLoadWindow=16")), 16);
  EXPECT_EQ(BootLoadWindow(Parse("PrgBootLoadWindow=0")), 1);
  EXPECT_EQ(BootLoadWindow(Parse("PrgBootLoadWindow=-4")), 1);
  EXPECT_EQ(BootLoadWindow(Parse("PrgBootLoadWindow=100000")), PRG_MAX_BOOT_LOAD_WINDOW);
  EXPECT_EQ(BootLoadWindow(Parse("prgbootloadwindow=16,EmuBaudRate=9600")), 1);
  EXPECT_EQ(BootLoadWindow(Parse("PrgBootLoadWindow=abc")), 1);
}

TEST(ProgrammerOptions, RateFromEmuBaudRateOrTheEraseCode) {
  EXPECT_EQ(ProgrammerBaudRate(Parse("")), 19200);
  EXPECT_EQ(ProgrammerBaudRate(Parse("EmuBaudRate=12345")), 19200);
  EXPECT_EQ(ProgrammerBaudRate(Parse("EmuBaudRate=14400")), 19200);  // the port knows it, this rule does not
  for (int rate : {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200}) {
    EXPECT_EQ(ProgrammerBaudRate(Parse("EmuBaudRate=" + std::to_string(rate))), rate);
  }
  const int byCode[] = {19200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 115200, 19200};
  for (int code = 0; code <= 9; ++code) {
    EXPECT_EQ(ProgrammerBaudRate(Parse("PrgEraseOption3=" + std::to_string(code))), byCode[code]) << code;
  }
  EXPECT_EQ(ProgrammerBaudRate(Parse("EmuBaudRate=9600,PrgEraseOption3=8")), 9600);
}

TEST(ProgrammerOptions, BootRateIsItsOwnOnlyWhenSetToARateOfTheTable) {
  const struct {
    const char* options;
    int boot;
    int kernel;
  } cases[] = {
      {"", 19200, 19200},
      {"EmuBaudRate=115200", 115200, 115200},  // without the option one rate serves both, as before
      {"EmuBaudRate=115200,PrgBootBaudRate=19200", 19200, 115200},
      {"PrgEraseOption3=8,PrgBootBaudRate=9600", 9600, 115200},
      {"EmuBaudRate=57600,PrgBootBaudRate=12345", 57600, 57600},  // not a rate: the kernel's rate
      {"EmuBaudRate=57600,PrgBootBaudRate=14400", 57600, 57600},
      {"EmuBaudRate=57600,prgbootbaudrate=9600", 57600, 57600},
  };
  for (const auto& c : cases) {
    const PRG_Options options = Parse(c.options);
    EXPECT_EQ(ProgrammerBootBaudRate(options), c.boot) << c.options;
    EXPECT_EQ(ProgrammerBaudRate(options), c.kernel) << c.options;
  }
}

std::vector<std::pair<PRG_Handle, std::string>> g_installed;
void RecordInstall(PRG_Handle handle, int32_t kind, const char* text) {
  if (kind == PRG_MSG_INSTALLED) g_installed.emplace_back(handle, text);
}

TEST(ProgrammerInterface, PlainEntryPointsAndTheDescriptor) {
  EXPECT_EQ(PRG_Init(nullptr), 1);
  EXPECT_EQ(PRG_SetOptions(nullptr, nullptr), 1);
  EXPECT_EQ(PRG_GetInterface(nullptr), 1);

  PRG_Handle handle = nullptr;
  ASSERT_EQ(PRG_Init(&handle), 0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(PRG_SetOptions(handle, "EmuBaudRate=9600"), 0);
  EXPECT_EQ(static_cast<PRG_Options*>(handle)->EmuBaudRate, 9600);
  EXPECT_EQ(PRG_Status(), PRG_DONE);

  // The installation message goes to the handle passed with it.
  g_installed.clear();
  int marker = 0;
  EXPECT_EQ(PRG_SetMessageCallBack(&marker, &RecordInstall), 0);
  ASSERT_EQ(g_installed.size(), 1u);
  EXPECT_EQ(g_installed[0].first, &marker);
  EXPECT_EQ(g_installed[0].second, "Installed output message callback\n");
  EXPECT_EQ(PRG_SetMessageCallBack(handle, nullptr), 0);
  EXPECT_EQ(g_installed.size(), 1u);

  // Operations without a connection fail and send nothing.
  uint16_t words[2] = {1, 2};
  EXPECT_EQ(PRG_FlashErase(handle), PRG_FAILED);
  EXPECT_EQ(PRG_FlashWrite(handle, 0x3E8000, 0, 4, words), PRG_FAILED);
  EXPECT_EQ(PRG_FlashVerify(handle, 0x3E8000, 0, 4, words), PRG_FAILED);
  EXPECT_EQ(PRG_Status(), PRG_FAILED);

  const PRG_Interface* d = nullptr;
  ASSERT_EQ(PRG_GetInterface(&d), 0);
  EXPECT_EQ(d->recordSize, sizeof(PRG_Interface));
  EXPECT_STREQ(d->name, "GENERIC");
  EXPECT_EQ(d->version[0] + d->version[1] + d->version[2] + d->version[3], 4u);
  EXPECT_EQ(d->reserved, 0u);
  EXPECT_EQ(d->entryCount, 16u);
  EXPECT_EQ(d->Init, &PRG_Init);
  EXPECT_EQ(d->Status, &PRG_Status);
  EXPECT_EQ(d->FlashVerify, &PRG_FlashVerify);
  EXPECT_EQ(d->MemWrite, &PRG_MemWrite);
  EXPECT_EQ(d->MemRead, &PRG_MemRead);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(d->recordSize, 80u);
  }
}

}  // namespace
}  // namespace axtune::prg
