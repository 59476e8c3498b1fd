// The status panel against the simulated drive driven into its states, and its polling rules.
#include "app/status_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>

#include "app/drive_status_hooks.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/testing/fake_serial_port.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"

namespace axtune {
namespace {

// Contrast ratio of two colours by their relative luminance (1 = none, 21 = black on white).
double Contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

class StatusDialogTest : public testing::GuiTest {
 protected:
  void SetUp() override { SetLanguage(Language::English); }
  void TearDown() override { CloseLink(); }

  QString text(int id) const { return panel_.findChild<QLabel*>(QString::number(id))->text(); }
  int lamp(int id) const { return CStatusDialog::LampOf(panel_.findChild<QLabel*>(QString::number(id))); }
  QPushButton* button(int id) const { return panel_.findChild<QPushButton*>(QString::number(id)); }
  int bar(int id) const { return panel_.findChild<QProgressBar*>(QString::number(id))->value(); }

  CStatusDialog panel_;
};

TEST_F(StatusDialogTest, OneProcessWidePanelHiddenAtStartWithItsTemplate) {
  EXPECT_EQ(CStatusDialog::Instance(), &panel_);
  EXPECT_FALSE(panel_.isVisible());
  EXPECT_EQ(panel_.windowTitle(), "Status");
  EXPECT_TRUE(panel_.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(text(1148), "no response") << "the English window's words";
  EXPECT_EQ(text(1187), "unknown");
  EXPECT_FALSE(panel_.findChild<QLabel*>("1265")->isVisibleTo(&panel_))
      << "encoder row appears with the first tick";
  EXPECT_FALSE(panel_.findChild<QProgressBar*>("1185")->isVisibleTo(&panel_)) << "the level stays hidden";
  const QProgressBar* position = panel_.findChild<QProgressBar*>("1184");
  EXPECT_EQ(position->minimum(), -100);
  EXPECT_EQ(position->maximum(), 100);
  for (int id : {1248, 1246, 1243}) EXPECT_TRUE(button(id)->isCheckable()) << id;
  EXPECT_FALSE(button(1242)->isCheckable());
}

TEST_F(StatusDialogTest, PollsOnlyWhileShownIdentifiedAndNotStopped) {
  auto line = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort port("fake:panel", line);
  ASSERT_TRUE(OpenLink("fake:panel"));
  line->clearWritten();

  panel_.SetDriveIdentified(false);
  panel_.ShowOnTop();
  EXPECT_EQ(panel_.pos(), QPoint(0, 0));
  EXPECT_FALSE(panel_.IsPolling());
  EXPECT_FALSE(panel_.Tick()) << "no supported drive: nothing is read";
  EXPECT_TRUE(line->written().empty());

  // The main window's hooks reach the panel as they reach the status bar.
  SetDriveStatusIdentified(nullptr, true);
  EXPECT_TRUE(panel_.DriveIdentified());
  EXPECT_TRUE(panel_.IsPolling());
  panel_.close();
  EXPECT_FALSE(panel_.isVisible());
  EXPECT_FALSE(panel_.IsPolling()) << "closing hides the panel and stops its timer";
  panel_.ShowOnTop();
  EXPECT_TRUE(panel_.IsPolling());
  StopDriveStatusPolling(nullptr);
  EXPECT_FALSE(panel_.IsPolling());
  EXPECT_FALSE(panel_.Tick());
  // The next identification means the port is the link's again (after a firmware update).
  panel_.SetDriveIdentified(true);
  EXPECT_TRUE(panel_.IsPolling());

  // A failed read of record 129 asks for nothing more; a drive that does not answer has no values
  // and takes no command: every value "—", the buttons disabled, until it answers again.
  line->clearWritten();
  EXPECT_FALSE(panel_.Tick());
  EXPECT_EQ(line->written(), (testing::Bytes{0x0F, 129}));
  EXPECT_EQ(text(1187), "\u2014");
  for (int id : {1242, 1243, 1246, 1248})
    EXPECT_FALSE(panel_.findChild<QPushButton*>(QString::number(id))->isEnabled()) << id;
  panel_.hide();
}

class StatusDialogSimTest : public StatusDialogTest {
 protected:
  void SetUp() override {
    StatusDialogTest::SetUp();
    drive_ = sim::registerSimulatedDrive("sim:panel", sim::SimConfig::unitTest());
    drive_->advanceMs(1000);  // past the firmware's start-up
    ASSERT_TRUE(OpenLink("sim:panel"));
    panel_.SetDriveIdentified(true);
  }
  void TearDown() override {
    CloseLink();
    sim::unregisterSimulatedDrive("sim:panel");
  }
  void Controlword(uint16_t value) { ASSERT_TRUE(WriteObject(0x6040, 0, 2, value)); }
  int32_t ReadControlword() {
    int32_t value = -1;
    EXPECT_TRUE(ReadObject(0x6040, 0, &value));
    return value;
  }
  std::shared_ptr<sim::SimulatedDrive> drive_;
};

TEST_F(StatusDialogSimTest, DriveInOperation) {
  for (int i = 0; i < 3; ++i) Controlword(0x0D);
  ASSERT_TRUE(panel_.Tick());
  EXPECT_EQ(text(1148), "Operation");
  EXPECT_EQ(lamp(1122), kLampGreen);
  EXPECT_EQ(text(1149), "Profile not started");
  EXPECT_EQ(lamp(1123), kLampGrey);
  EXPECT_EQ(text(1190), "48 V");
  EXPECT_EQ(text(1189), "1/16  (3200)");
  EXPECT_EQ(text(1192), "500 ms to 50 %");
  EXPECT_EQ(text(1183), "0");
  EXPECT_EQ(text(1186), "0");
  EXPECT_TRUE(panel_.findChild<QLabel*>("1265")->isVisibleTo(&panel_));
  EXPECT_TRUE(
      text(1187).endsWith(" \xC2\xB0"
                          "C"));
  EXPECT_TRUE(text(1188).endsWith(" Aeff"));
  // Between the limit switches, not referenced, stop switch open.
  EXPECT_EQ(lamp(1120), kLampGreyRing);
  EXPECT_EQ(lamp(1121), kLampGreyRing);
  EXPECT_EQ(lamp(1240), kLampGreyRing);
  EXPECT_EQ(lamp(1117), kLampGreyRing);
  EXPECT_FALSE(button(1242)->isEnabled());
  EXPECT_TRUE(button(1246)->isEnabled());
  EXPECT_TRUE(button(1246)->isChecked());
  EXPECT_TRUE(button(1248)->isEnabled());
  EXPECT_FALSE(button(1248)->isChecked());
  EXPECT_TRUE(button(1243)->isChecked());

  // "Quickstop" pressed in writes 0x09; the next tick shows the quick stop.
  button(1248)->click();
  EXPECT_EQ(ReadControlword(), 0x09);
  ASSERT_TRUE(panel_.Tick());
  EXPECT_EQ(text(1148), "Quick stop");
  EXPECT_TRUE(button(1248)->isChecked());
  EXPECT_FALSE(button(1246)->isEnabled());
  // "Operation" stays pressed in while greyed: its caption must still read on the pressed face.
  EXPECT_TRUE(button(1246)->isChecked());
  const QPalette& face = button(1246)->palette();
  EXPECT_GE(Contrast(face.color(QPalette::Disabled, QPalette::ButtonText),
                     face.color(QPalette::Disabled, QPalette::Button)),
            3.0);
  // Released, it writes 0x0D.
  button(1248)->click();
  EXPECT_EQ(ReadControlword(), 0x0D);
}

TEST_F(StatusDialogSimTest, DriveInFault) {
  drive_->triggerFault(sim::DriveFault::OverTemperature);
  drive_->setStopSwitch(true);
  ASSERT_TRUE(panel_.Tick());
  EXPECT_EQ(text(1148), "Overtemperature");
  EXPECT_EQ(lamp(1122), kLampRed);
  EXPECT_EQ(lamp(1240), kLampRed);
  EXPECT_TRUE(button(1242)->isEnabled());
  EXPECT_FALSE(button(1243)->isChecked());
  button(1242)->click();
  EXPECT_EQ(ReadControlword(), 0x80);

  SetLanguage(Language::German);
  drive_->triggerFault(sim::DriveFault::MotorBlocked);
  ASSERT_TRUE(panel_.Tick());
  EXPECT_EQ(text(1148), "Motor blockiert");
}

TEST_F(StatusDialogSimTest, DriveMovingAProfile) {
  ASSERT_TRUE(WriteObject(0x6060, 0, 1, 0xFF));  // profile mode
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 3));     // profile 3
  Controlword(0x0D);
  Controlword(0x0D);
  Controlword(0x1D);
  drive_->advanceMs(50);
  ASSERT_TRUE(panel_.Tick());
  EXPECT_EQ(text(1149), "Profile started 3");
  EXPECT_EQ(text(1098), "Position");
  const int firstLamp = lamp(1123);
  drive_->advanceMs(200);
  ASSERT_TRUE(panel_.Tick());
  EXPECT_NE(lamp(1123), firstLamp) << "the lamp of a running profile blinks";
  EXPECT_NE(text(1183), "0") << "the motor moves";
  EXPECT_EQ(bar(1184), static_cast<int>(text(1183).toLongLong() / 2147483648.0 * 100));
}

TEST_F(StatusDialogSimTest, SwitchOnButtonWritesItsControlwords) {
  button(1243)->click();  // pressed in
  EXPECT_EQ(ReadControlword(), 0x05);
  button(1243)->click();  // released
  EXPECT_EQ(ReadControlword(), 0x04);
  button(1246)->setEnabled(true);
  button(1246)->click();
  EXPECT_EQ(ReadControlword(), 0x0D);
  button(1246)->click();
  EXPECT_EQ(ReadControlword(), 0x05);

  // Without an identified drive the buttons send nothing.
  panel_.SetDriveIdentified(false);
  button(1243)->click();
  EXPECT_EQ(ReadControlword(), 0x05);
  EXPECT_EQ(text(1148), "no response") << "the state lamps no longer claim a state";
}

}  // namespace
}  // namespace axtune
