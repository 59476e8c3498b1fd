// Firmware updates against the whole simulated drive, in virtual time: the running firmware is told
// to enter its boot loader, the programmer loads the kernel and programs the flash, and the DTR pulse
// of PRG_Close resets the processor. Valid firmware then answers frames again; a half-programmed
// flash keeps the drive in its boot ROM, from which a new update succeeds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/programmer/flash_programmer.h"
#include "link/drive_link.h"
#include "link/sleeper.h"
#include "sim/boot/boot_processor.h"
#include "sim/simulated_drive.h"

namespace axtune::test {
namespace {

constexpr const char* kDevice = "sim:prg-update";

std::vector<std::string> g_messages;
void Collect(PRG_Handle, int32_t kind, const char* text) {
  if (kind == PRG_MSG_TEXT) g_messages.emplace_back(text);
}

std::string Messages() {
  std::string all;
  for (const auto& m : g_messages) all += m;
  return all;
}

class SimulatedUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = sim::registerSimulatedDrive(kDevice, sim::SimConfig::unitTest());
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    g_messages.clear();
    ASSERT_EQ(PRG_Init(&handle_), 0);
    PRG_SetMessageCallBack(handle_, &Collect);
    ASSERT_EQ(PRG_SetOptions(handle_, (std::string("EmuBaudRate=115200,EmuPortName=") + kDevice).c_str()), 0);
    // A small firmware: code at the start of the flash and the code-start branch at the entry point.
    code_.resize(700);
    for (size_t i = 0; i < code_.size(); ++i) code_[i] = static_cast<uint16_t>(0x7600 + i * 3);
    drive_->withProcessor([this](sim::BootProcessor& p) {
      entry_ = p.geometry().sectors.front().start + p.geometry().sectors.front().words - 10;
    });
  }
  void TearDown() override {
    PRG_Close(handle_);
    CloseLink();
    sleeper_.reset();
    sim::unregisterSimulatedDrive(kDevice);
  }

  bool driveAnswers() {
    if (!OpenLink(kDevice)) return false;
    RecordWords id{};
    const bool ok = ReadRecord(kIdentificationRecord, id);
    CloseLink();
    return ok;
  }

  void enterBootLoader() {
    ASSERT_TRUE(OpenLink(kDevice));
    RecordWords request{};
    request[0] = 9;
    ExchangeRecord(kObjectRecord, request);
    CloseLink();
    ASSERT_FALSE(drive_->snapshot().firmwareRunning);
  }

  bool program(bool verify) {
    const uint16_t branch[2] = {0x0040, 0x8000};
    bool ok = PRG_FlashWrite(handle_, 0x3E8000, 0, 2 * static_cast<uint32_t>(code_.size()), code_.data()) ==
              PRG_DONE;
    ok = PRG_FlashWrite(handle_, entry_, 0, 4, branch) == PRG_DONE && ok;
    if (verify) {
      ok = PRG_FlashVerify(handle_, 0x3E8000, 0, 2 * static_cast<uint32_t>(code_.size()), code_.data()) ==
               PRG_DONE &&
           ok;
      ok = PRG_FlashVerify(handle_, entry_, 0, 4, branch) == PRG_DONE && ok;
    }
    return ok;
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  PRG_Handle handle_ = nullptr;
  std::vector<uint16_t> code_;
  uint32_t entry_ = 0;
};

TEST_F(SimulatedUpdate, ProgrammedAndVerifiedFirmwareRunsAfterTheReset) {
  ASSERT_TRUE(driveAnswers());
  enterBootLoader();
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE) << Messages();
  EXPECT_NE(Messages().find("Connected to sim:prg-update at 115200 baud\n"), std::string::npos);
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE) << Messages();
  ASSERT_TRUE(program(true)) << Messages();
  std::vector<uint16_t> back(code_.size());
  ASSERT_EQ(PRG_FlashRead(handle_, 0x3E8000, 0, 2 * static_cast<uint32_t>(back.size()), back.data()),
            PRG_DONE);
  EXPECT_EQ(back, code_);
  EXPECT_EQ(PRG_Close(handle_), 0);

  EXPECT_TRUE(drive_->snapshot().firmwareRunning);
  EXPECT_TRUE(driveAnswers());
  drive_->withProcessor([this](sim::BootProcessor& p) {
    EXPECT_EQ(p.flashWord(0x3E8000 + 699), code_[699]);
    EXPECT_EQ(p.flashWord(entry_), 0x0040);
  });
}

TEST_F(SimulatedUpdate, AHalfProgrammedFlashKeepsTheBootRomSoTheNextUpdateSucceeds) {
  enterBootLoader();
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE) << Messages();
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  ASSERT_TRUE(program(false));  // interrupted before the verification pass
  PRG_Close(handle_);
  EXPECT_FALSE(drive_->snapshot().firmwareRunning);
  EXPECT_FALSE(driveAnswers());

  // Same process, so the programmer first pings; the reset kernel is gone and it loads it again.
  g_messages.clear();
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE) << Messages();
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  ASSERT_TRUE(program(true)) << Messages();
  PRG_Close(handle_);
  EXPECT_TRUE(driveAnswers());

  // An erased flash keeps it in the boot ROM as well, after a power cycle too.
  enterBootLoader();
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE) << Messages();
  ASSERT_EQ(PRG_FlashErase(handle_), PRG_DONE);
  PRG_Close(handle_);
  drive_->powerCycle();
  EXPECT_FALSE(drive_->snapshot().firmwareRunning);
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE) << Messages();
}

}  // namespace
}  // namespace axtune::test
