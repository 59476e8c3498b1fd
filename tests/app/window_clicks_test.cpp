// The main window in expert mode on a simulated drive: a click reaches every control of every tab,
// of the status panel and of the user dialog (nothing stacked over them), and a refused entry puts
// the allowed range into the window's status line, which clears itself.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include "app/axtune_dlg.h"
#include "app/axtune_property_sheet.h"
#include "app/processor_choice_dialog.h"
#include "app/progress_dialog.h"
#include "app/status_dialog.h"
#include "controls/axtune_edit.h"
#include "core/firmware_update.h"
#include "pages/settings_property_page.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/click_targets.h"
#include "ui/benutzer_dialog.h"

namespace axtune {
namespace {

using testing::ClickableControls;
using testing::ClickReaches;

class WindowClicksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::EnsureApplication();
    testing::IsolatePortSlots();
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    SetLanguage(Language::English);
    QFile file(dir_.filePath("name.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("Hans\0Orvane{Wartung}\0", 21));  // expert mode: debug pages and panel
    file.close();
    drive_ = sim::registerSimulatedDrive("sim:clicks-com1", sim::SimConfig::unitTest());
    SetPortSlotOverride(1, "sim:clicks-com1");
    window_ = std::make_unique<CAxtuneDlg>();
    window_->show();
    ASSERT_TRUE(window_->OpenPort(1));
  }
  void TearDown() override {
    window_.reset();
    sim::unregisterSimulatedDrive("sim:clicks-com1");
    testing::RestorePortSlots();
    QDir::setCurrent(previousDir_);
    CloseLink();
  }

  // The controls of `root` that a click does not reach, by object name.
  static QStringList Covered(QWidget* root) {
    QStringList covered;
    for (QWidget* control : ClickableControls(root))
      if (!ClickReaches(control))
        covered << control->objectName() + " (" + control->metaObject()->className() + ")";
    return covered;
  }

  testing::UiRecorder ui_;
  QTemporaryDir dir_;
  QString previousDir_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<CAxtuneDlg> window_;
};

TEST_F(WindowClicksTest, EveryTabThePanelAndTheUserDialogTakeTheirClicks) {
  CAxtunePropertySheet* sheet = window_->Sheet();
  ASSERT_EQ(sheet->count(), 8) << "six pages and two debug pages";
  for (int i = 0; i < sheet->count(); ++i) {
    sheet->setCurrentIndex(i);
    QApplication::processEvents();
    EXPECT_EQ(Covered(sheet->currentWidget()), QStringList()) << sheet->tabText(i).toStdString();
  }
  CStatusDialog* panel = window_->StatusDialog();
  ASSERT_TRUE(panel->isVisible());
  EXPECT_FALSE(ClickableControls(panel).empty());
  EXPECT_EQ(Covered(panel), QStringList());
  CBenutzerDialog user(window_.get());
  user.show();
  CProgressDialog progress("Firmware Update", true, window_.get());
  progress.show();
  QApplication::processEvents();
  EXPECT_EQ(Covered(&user), QStringList());
  EXPECT_EQ(Covered(&progress), QStringList());
  const std::string sample = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
  const FirmwareFileCheck check = OpenFirmwareFile(sample);
  if (check.problem != FirmwareFileProblem::None) return;  // no sample: the dialog needs a file
  CProcessorChoiceDialog choice("Which processor?", *check.file, nullptr, window_.get());
  choice.show();
  QApplication::processEvents();
  EXPECT_EQ(Covered(&choice), QStringList());
}

TEST_F(WindowClicksTest, RefusedEntryShowsTheRangeInTheStatusLineForAFewSeconds) {
  CAxtunePropertySheet* sheet = window_->Sheet();
  sheet->setCurrentIndex(1);
  auto* current = sheet->currentWidget()->findChild<CAxtuneEdit*>(
      QString::number(CSettingsPropertyPage::kIdMotorCurrent));
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->toolTip(), QString::fromUtf8("Allowed: 0 \u2026 7000 mA rms"));
  const int heightBefore = window_->height();
  current->setFocus();
  current->selectAll();
  QTest::keyClicks(current, "7001");
  QTest::keyClick(current, Qt::Key_Return);
  EXPECT_EQ(window_->StatusNote(), QString::fromUtf8("\"7001\" not taken. Allowed: 0 \u2026 7000 mA rms"));
  EXPECT_EQ(current->text(), "2000") << "the previous value again";
  EXPECT_EQ(window_->height(), heightBefore) << "the note takes no room of its own";
  EXPECT_TRUE(ui_.messages.empty()) << "no box";
  window_->ShowStatusNote("short", 1);
  EXPECT_TRUE(QTest::qWaitFor([this] { return window_->StatusNote().isEmpty(); }, 2000));
}

}  // namespace
}  // namespace axtune
