// Firmware Update in the main window against the simulated drive and its processor: the outcome
// messages, the prompt, the flash contents, the drive found again with its status bar polling, a
// cancel that ends cleanly, and the failures the simulator can be made to produce.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QTest>
#include <filesystem>

#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/drive_status_hooks.h"
#include "app/firmware_update_command.h"
#include "app/processor_choice_dialog.h"
#include "app/progress_dialog.h"
#include "core/firmware_update.h"
#include "pages/drive_property_page.h"
#include "sim/boot/boot_processor.h"
#include "tests/app/drive_work_fixture.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;
const std::string kFirmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
// The programmer's prompt in the window's language (English here), with what to do when the drive is on.
const QString kPrompt =
    QStringLiteral("QMX Download|Switch the QMX on!\n\nIf the drive is already on, just click OK.");

// The outcome of each message: the end box adds the file, the drive, the time and the rate below it.
std::vector<QString> Outcomes(const std::vector<QString>& messages) {
  std::vector<QString> outcomes;
  for (const QString& message : messages) outcomes.push_back(message.section(QStringLiteral("\n\n"), 0, 0));
  return outcomes;
}

class FirmwareUpdateCommandTest : public testing::DriveWorkTest {
 protected:
  void SetUp() override {
    DriveWorkTest::SetUp();
    if (!fs::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
    firmwarePath = QString::fromStdString(kFirmware);
  }

  // The update's pauses pass on the drive's clock, so its processor boots the kernel and the
  // firmware as it would on a cable; the pauses are recorded all the same.
  CAxtuneDlg& ConnectF28335(const char* geometry = "F28335") {
    sim::SimConfig config = sim::SimConfig::unitTest();
    config.flashGeometry = geometry;
    CAxtuneDlg& window = Connect(config);
    // Every QMX10 type is an F280x: the user names the F28335 in the processor question.
    if (std::string(geometry) == "F28335") {
      namedF28335_ = true;
      previousChoice_ = SetProcessorChoiceHook([](CProcessorChoiceDialog& dialog) {
        dialog.findChild<QComboBox*>("processor")->setCurrentText("F28335");
        return int(QDialog::Accepted);
      });
    }
    sleeper_ = std::make_unique<ScopedSleeper>([this](int ms) {
      std::lock_guard<std::mutex> lock(pausesMutex_);
      pauses_.push_back(ms);
      drive->sleeper()(ms);
    });
    return window;
  }

  void TearDown() override {
    if (namedF28335_) SetProcessorChoiceHook(previousChoice_);
    sleeper_.reset();
    DriveWorkTest::TearDown();
  }

  // Clicks Cancel of the progress window that is open now.
  bool ClickCancel() {
    auto* dialog = window_->findChild<CProgressDialog*>();
    if (dialog == nullptr) return false;
    auto* cancel = dialog->findChild<QAbstractButton*>(CProgressDialog::kCancelId);
    if (cancel == nullptr) return false;
    cancel->click();
    return true;
  }

  std::unique_ptr<ScopedSleeper> sleeper_;
  bool namedF28335_ = false;
  ProcessorChoiceHook previousChoice_;
  std::mutex pausesMutex_;
  std::vector<int> pauses_;
};

TEST_F(FirmwareUpdateCommandTest, RealImageEndsWithVerifyOkAndTheDriveComesBack) {
  CAxtuneDlg& window = ConnectF28335();
  window.DrivePage()->OnShowWindow(false);
  ASSERT_EQ(window.DrivePage()->FirmwareVersionText(), "4.1.7 ");
  window.NotifyParameterChanged(2);  // a change not stored in the drive, discarded when asked

  window.CommandAction(kCommandFirmwareUpdate)->trigger();

  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_TRUE(ui.questions[0].endsWith("Store the changes in the drive first?"));
  EXPECT_FALSE(window.IsModified()) << "the restarted drive holds its stored values: Save Changes is grey";
  ASSERT_EQ(Outcomes(ui.messages), std::vector<QString>{"Verify ok"});
  // The end box names the file, the drive as it was on its port, the update's time and rate.
  EXPECT_TRUE(ui.messages[0].contains("File: ")) << ui.messages[0].toStdString();
  EXPECT_TRUE(ui.messages[0].contains(QRegularExpression("Drive: QMX10-\\w\\w 4\\.1\\.7 on COM\\d+")))
      << ui.messages[0].toStdString();
  EXPECT_TRUE(ui.messages[0].contains(QRegularExpression("Time: \\d+:\\d\\d \\([\\d,]+ bytes/s\\)")))
      << ui.messages[0].toStdString();
  EXPECT_EQ(prompts, std::vector<QString>{kPrompt});
  EXPECT_EQ(choices, std::vector<FileChoice>{FileChoice::Firmware});
  // The drive was told to enter its boot loader through record 127.
  const std::vector<std::string> entries = Frames();
  EXPECT_NE(std::find(entries.begin(), entries.end(), "cmd 9"), entries.end());

  // The flash holds exactly the loadable sections at their load addresses.
  const FirmwareFileCheck check = OpenFirmwareFile(kFirmware);
  ASSERT_EQ(check.problem, FirmwareFileProblem::None);
  drive->withProcessor([&](sim::BootProcessor& processor) {
    for (const FirmwareSectionInfo& s : ProgrammedSections(*check.file)) {
      std::vector<uint16_t> words((s.sizeBytes + 1) / 2);
      check.file->readSection(s.number, reinterpret_cast<uint8_t*>(words.data()), s.sizeBytes);
      for (size_t i = 0; i < words.size(); ++i)
        ASSERT_EQ(processor.flashWord(s.loadAddress + static_cast<uint32_t>(i)), words[i])
            << s.name << " " << i;
    }
    EXPECT_EQ(processor.flashWord(0x300000), 0xFFFF) << "nothing outside the sections";
  });

  // The program found the drive again by itself: identified, pages, status bar polling, watcher.
  EXPECT_TRUE(window.IsConnected());
  EXPECT_TRUE(IsLinkOpen());
  EXPECT_EQ(window.Sheet()->count(), 6);
  EXPECT_EQ(window.DrivePage()->FirmwareVersionText(), "4.1.7 ");
  EXPECT_TRUE(window.WatcherRunning());
  if (window.DriveStatus() != nullptr) {
    EXPECT_TRUE(window.DriveStatus()->isVisibleTo(&window));
    EXPECT_TRUE(IsDriveStatusPolling(window.DriveStatus()));
  }
  // The hand-over pauses of 1 s: before and after the enter-boot-loader request, and at the end.
  std::lock_guard<std::mutex> lock(pausesMutex_);
  EXPECT_GE(std::count(pauses_.begin(), pauses_.end(), 1000), 3);
}

TEST_F(FirmwareUpdateCommandTest, CancelledUpdateEndsCleanlyAndASecondOneSucceeds) {
  CAxtuneDlg& window = ConnectF28335();
  // The user presses Cancel while the programmer waits for the drive to be switched on.
  onPrompt = [this] {
    EXPECT_TRUE(ClickCancel());
    return true;
  };
  window.OnCommand(kCommandFirmwareUpdate);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(Outcomes(ui.messages)[0], "cancelled; nothing was erased; the drive runs its firmware again");
  EXPECT_TRUE(window.IsConnected()) << "the untouched firmware starts again after the reset";
  drive->withProcessor(
      [](sim::BootProcessor& processor) { EXPECT_EQ(processor.flashWord(0x300000), 0xFFFF); });

  onPrompt = nullptr;
  ui.clear();
  window.OnCommand(kCommandFirmwareUpdate);
  EXPECT_EQ(Outcomes(ui.messages), std::vector<QString>{"Verify ok"});
  EXPECT_TRUE(window.IsConnected());
}

TEST_F(FirmwareUpdateCommandTest, UnpluggedCableGivesComOpenFailedAndSaysWhatToDo) {
  CAxtuneDlg& window = ConnectF28335();
  window.SetDriveProbeInterval(10);
  // The drive was told to enter its boot loader; then the cable comes out before the programmer connects.
  onPrompt = [this] {
    drive->unplug();
    return true;
  };
  window.OnCommand(kCommandFirmwareUpdate);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(Outcomes(ui.messages)[0], "Com open failed!");
  EXPECT_TRUE(ui.messages[1].contains("Check the cable and switch the drive off and on"))
      << ui.messages[1].toStdString();
  EXPECT_FALSE(window.IsConnected());
  EXPECT_TRUE(window.WaitingForDrive());

  // The way back the message describes: cable in, drive off and on; the window finds it by itself.
  drive->replug();
  drive->powerCycle();
  ui.clear();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.IsConnected(); }, 10000));
  EXPECT_FALSE(window.WaitingForDrive());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FirmwareUpdateCommandTest, ImageForAnotherProcessorIsRefusedBeforeTheDriveHearsAnything) {
  // An F2808 has its flash at 0x3E8000..0x3F7FFF: the F28335 image's sections do not fit. The
  // window says so and offers only a processor the file fits; Cancel sends nothing.
  CAxtuneDlg& window = ConnectF28335("F2808");
  QString reason;
  std::vector<bool> offered;  // "Start update" for F2808, F28335
  const ProcessorChoiceHook previous = SetProcessorChoiceHook([&](CProcessorChoiceDialog& dialog) {
    reason = dialog.Reason();
    auto* list = dialog.findChild<QComboBox*>("processor");
    for (int i = 0; i < list->count(); ++i) {
      list->setCurrentIndex(i);
      offered.push_back(dialog.findChild<QAbstractButton*>("start")->isEnabled());
    }
    return int(QDialog::Rejected);
  });
  window.OnCommand(kCommandFirmwareUpdate);
  SetProcessorChoiceHook(previous);
  EXPECT_TRUE(reason.contains("section .cinit (0x33AF90..0x33B019) lies outside the F2808's flash"))
      << reason.toStdString();
  EXPECT_EQ(offered, (std::vector<bool>{false, true}));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(prompts.empty());
  const std::vector<std::string> entries = Frames();
  EXPECT_EQ(std::find(entries.begin(), entries.end(), "cmd 9"), entries.end());
  EXPECT_TRUE(drive->snapshot().firmwareRunning);
  EXPECT_TRUE(window.IsConnected());
}

TEST_F(FirmwareUpdateCommandTest, RefusedFileTouchesNothing) {
  CAxtuneDlg& window = ConnectF28335();
  firmwarePath = QString::fromStdString(std::string(AXTUNE_TESTDATA_DIR) + "/coff/c55x_c5515_FIR.out");
  window.OnCommand(kCommandFirmwareUpdate);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].startsWith("The file was refused; nothing was sent to the drive."));
  EXPECT_TRUE(ui.messages[0].contains("target")) << ui.messages[0].toStdString();
  EXPECT_TRUE(prompts.empty());
  const std::vector<std::string> entries = Frames();
  EXPECT_EQ(std::find(entries.begin(), entries.end(), "cmd 9"), entries.end());
  EXPECT_TRUE(window.IsConnected());
  EXPECT_TRUE(window.WatcherRunning());
  if (window.DriveStatus() != nullptr) {
    EXPECT_TRUE(IsDriveStatusPolling(window.DriveStatus()));
  }

  // Cancelling the file dialog changes nothing either.
  firmwarePath.clear();
  window.OnCommand(kCommandFirmwareUpdate);
  EXPECT_EQ(ui.messages.size(), 1u);
}

}  // namespace
}  // namespace axtune
