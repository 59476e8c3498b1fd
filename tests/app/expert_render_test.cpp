// Renders the expert tools in German and English into PNG files beside the test program, so that a
// person can look at them: the status panel with the simulated drive in operation, in a fault and
// moving a profile ("status-panel-<state>-<language>.png"), the user dialog ("user-dialog-<language>.png")
// and a debug page showing a record ("debug-page-<language>.png").
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "app/status_dialog.h"
#include "controls/page_host.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "pages/debug_edit.h"
#include "pages/debug_property_page.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"
#include "ui/benutzer_dialog.h"

namespace axtune {
namespace {

class Host : public QWidget, public PageHost {
 public:
  bool IsConnected() const override { return true; }
  void NotifyParameterChanged(int) override {}
};

QString Output(const QString& name) {
  return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

void Save(QWidget& widget, const QString& name) {
  widget.adjustSize();
  QTest::qWait(0);
  const QImage image = widget.grab().toImage();
  ASSERT_FALSE(image.isNull());
  ASSERT_TRUE(image.save(Output(name))) << name.toStdString();
  std::printf("wrote %s\n", Output(name).toLocal8Bit().constData());
}

class ExpertRenderTest : public testing::GuiTest {
 protected:
  void SetUp() override {
    drive_ = sim::registerSimulatedDrive("sim:render", sim::SimConfig::unitTest());
    drive_->advanceMs(1000);
    ASSERT_TRUE(OpenLink("sim:render"));
  }
  void TearDown() override {
    CloseLink();
    sim::unregisterSimulatedDrive("sim:render");
    SetLanguage(Language::English);
  }
  std::shared_ptr<sim::SimulatedDrive> drive_;
  testing::UiRecorder ui_;
};

TEST_F(ExpertRenderTest, StatusPanelInOperationInFaultAndMoving) {
  for (Language language : {Language::German, Language::English}) {
    SetLanguage(language);
    const QString suffix = language == Language::German ? "de" : "en";
    {
      CStatusDialog panel;
      panel.SetDriveIdentified(true);
      for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteObject(0x6040, 0, 2, 0x0D));
      ASSERT_TRUE(panel.Tick());
      Save(panel, "status-panel-operation-" + suffix + ".png");
      drive_->triggerFault(sim::DriveFault::OverTemperature);
      drive_->setStopSwitch(true);
      ASSERT_TRUE(panel.Tick());
      Save(panel, "status-panel-fault-" + suffix + ".png");
    }
    drive_ = sim::registerSimulatedDrive("sim:render", sim::SimConfig::unitTest());
    drive_->advanceMs(1000);
    ASSERT_TRUE(OpenLink("sim:render"));
    CStatusDialog panel;
    panel.SetDriveIdentified(true);
    ASSERT_TRUE(WriteObject(0x6060, 0, 1, 0xFF));
    ASSERT_TRUE(WriteObject(0x2022, 5, 2, 2));
    for (uint16_t cw : {0x0D, 0x0D, 0x1D}) ASSERT_TRUE(WriteObject(0x6040, 0, 2, cw));
    drive_->advanceMs(300);
    ASSERT_TRUE(panel.Tick());
    ASSERT_TRUE(panel.Tick());
    Save(panel, "status-panel-moving-" + suffix + ".png");
  }
}

TEST_F(ExpertRenderTest, UserDialogAndDebugPage) {
  for (Language language : {Language::German, Language::English}) {
    SetLanguage(language);
    const QString suffix = language == Language::German ? "de" : "en";
    CBenutzerDialog dialog;
    dialog.SetName(QString::fromUtf8("Hans M\xC3\xBCller"));
    dialog.SetCompany("Orvane GmbH");
    dialog.show();
    Save(dialog, "user-dialog-" + suffix + ".png");
    dialog.hide();

    Host host;
    auto* page = new CDebugPropertyPage(&host);
    host.resize(460, 560);
    page->resize(460, 560);
    host.show();
    page->RecordEdit()->setText("14");
    QTest::keyClick(page->RecordEdit(), Qt::Key_Return);
    ASSERT_EQ(page->RecordNumber(), 14);
    QTest::qWait(0);
    const QImage image = page->grab().toImage();
    ASSERT_TRUE(image.save(Output("debug-page-" + suffix + ".png")));
  }
  EXPECT_TRUE(ui_.messages.empty());
}

}  // namespace
}  // namespace axtune
