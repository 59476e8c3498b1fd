#include "app/drive_status_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <memory>

#include "link/drive_link.h"
#include "link/testing/fake_serial_port.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"

namespace axtune {
namespace {

class DriveStatusBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLanguage(Language::English);
    bar_ = new DriveStatusBar(&window_);
    bar_->setMemory(&memory_);
    window_.setStatusBar(bar_);
    window_.resize(700, 200);
  }
  void TearDown() override { CloseLink(); }

  QString text(int pane) const { return bar_->paneText(pane); }
  QColor background(int pane) const { return bar_->paneInfo(pane).backgroundEnabled; }

  DriveStatusMemory memory_;
  QMainWindow window_;
  DriveStatusBar* bar_ = nullptr;
};

TEST_F(DriveStatusBarTest, EightPanesAsTheMainWindowNeedsThem) {
  ASSERT_EQ(bar_->paneCount(), 8);
  const uint32_t modes[] = {0x100001, 0x100001, 0x100001, 0x100006, 0x400000, 0x400000, 0x400000, 0x100000};
  for (int pane = 0; pane < 8; ++pane) EXPECT_EQ(bar_->paneInfo(pane).mode, modes[pane]) << pane;
  // Bitmap panes keep their widths; text panes grow to fit their longest text in the font in use.
  EXPECT_EQ(bar_->paneWidth(kPaneStopSwitch), 12);
  const QFontMetrics metrics(bar_->paneInfo(kPaneDeviceState).font);
  EXPECT_GE(bar_->paneWidth(kPaneDeviceState), metrics.horizontalAdvance("Motor Overtemperature"));
  const XPaneInfo& stop = bar_->paneInfo(kPaneStopSwitch);
  const XPaneInfo& reference = bar_->paneInfo(kPaneReference);
  EXPECT_EQ(stop.ownTextEnabled + "/" + stop.ownTextDisabled, "Stophell/Stopdunkel");
  EXPECT_EQ(reference.ownTextEnabled + "/" + reference.ownTextDisabled, "Ron/R");
  EXPECT_GE(bar_->sizeHint().height(), 21);
}

TEST_F(DriveStatusBarTest, TextPanesFitTheWidestValues) {
  // The extremes of the signed words; the position pane is right-aligned, so a cut there would
  // hide the leading digits and show a wrong position.
  RecordWords r129{};
  RecordWords r131{};
  r129[kWordPositionHigh] = 0x8000;
  r129[kWordTemperature] = 0x8000;
  r129[kWordVoltage] = 0x8000;
  r129[kWordErrorNumber] = 0x8000;
  r131[kWordProfileState] = 1;
  r131[kWordProfileNumber] = 0x8000;
  for (Language language : {Language::German, Language::English}) {
    SetLanguage(language);  // the widths follow the texts of the language in use
    DriveStatusBar bar(nullptr);
    DriveStatusMemory memory;
    bar.showStatus(DecodeDriveStatus(r129, r131, uint16_t{0}, memory, language));
    EXPECT_EQ(bar.paneText(kPanePosition), "-2147483648 ");
    for (int pane : {kPaneDeviceState, kPaneVoltage, kPaneProfile, kPanePosition, kPaneTemperature}) {
      const QFontMetrics metrics(bar.paneInfo(pane).font);
      EXPECT_GE(bar.paneWidth(pane), metrics.horizontalAdvance(bar.paneText(pane)))
          << pane << " " << bar.paneText(pane).toStdString();
    }
  }
  SetLanguage(Language::English);
}

TEST_F(DriveStatusBarTest, ShowStatusPutsEveryDecodedValueIntoItsPane) {
  RecordWords r129{};
  RecordWords r131{};
  r129[kWordDeviceState] = 0;
  r129[kWordErrorNumber] = 4;
  r129[kWordSwitches] = 0x0200 | 0x1000;  // upper limit reached, stop switch on
  r129[kWordReferenced] = 2;
  r129[kWordTemperature] = 6400;
  r129[kWordVoltage] = 13784;
  r129[kWordPositionLow] = 0xFFFE;
  r129[kWordPositionHigh] = 0xFFFF;
  r131[kWordProfileState] = 1;
  r131[kWordProfileNumber] = 3;
  bar_->showStatus(DecodeDriveStatus(r129, r131, uint16_t{0}, memory_, Language::English));

  EXPECT_EQ(text(kPaneDeviceState), "Overtemperature");
  EXPECT_EQ(background(kPaneDeviceState), QColor(255, 0, 0));
  EXPECT_EQ(text(kPaneVoltage), "48V");
  EXPECT_EQ(text(kPaneProfile), "Profile started 3");
  EXPECT_EQ(background(kPaneProfile), QColor(0, 100, 0));
  EXPECT_EQ(text(kPanePosition), "-2 ");
  EXPECT_EQ(text(kPaneTemperature), QString::fromUtf8("51\xC2\xB0"));
  EXPECT_EQ(background(kPaneTemperature), QColor(180, 150, 150));
  EXPECT_TRUE(bar_->isPaneEnabled(kPaneStopSwitch));
  EXPECT_FALSE(bar_->isPaneEnabled(kPaneReference));
  EXPECT_EQ(bar_->paneInfo(kPaneLimitSwitches).ownTextEnabled, "EndschalterOben");

  // Referenced state 0 leaves the profile pane's colour; an operational state whose statusword
  // failed leaves the device pane as it was.
  r129[kWordReferenced] = 0;
  r129[kWordDeviceState] = 4;
  r129[kWordSwitches] = 0x0600 | 0x0800;
  bar_->showStatus(DecodeDriveStatus(r129, r131, std::nullopt, memory_, Language::English));
  EXPECT_EQ(background(kPaneProfile), QColor(0, 100, 0));
  EXPECT_EQ(text(kPaneDeviceState), "Overtemperature");
  EXPECT_EQ(background(kPaneDeviceState), QColor(255, 0, 0));
  EXPECT_FALSE(bar_->isPaneEnabled(kPaneStopSwitch));
  EXPECT_TRUE(bar_->isPaneEnabled(kPaneReference));
  EXPECT_EQ(bar_->paneInfo(kPaneLimitSwitches).ownTextEnabled, "Gut");
}

TEST_F(DriveStatusBarTest, ReadsNothingWhileNoDriveIsIdentified) {
  auto line = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort port("fake:status-bar", line);
  ASSERT_TRUE(OpenLink("fake:status-bar"));
  line->clearWritten();

  EXPECT_FALSE(bar_->isPolling());
  EXPECT_FALSE(bar_->pollOnce());
  EXPECT_TRUE(line->written().empty());

  bar_->setDriveIdentified(true);
  EXPECT_TRUE(bar_->isPolling());
  bar_->setDriveIdentified(false);
  EXPECT_FALSE(bar_->isPolling());

  // Stopped polling stays stopped when a drive is identified again.
  bar_->stopPolling();
  bar_->setDriveIdentified(true);
  EXPECT_FALSE(bar_->isPolling());
  bar_->startPolling();
  EXPECT_TRUE(bar_->isPolling());
}

TEST_F(DriveStatusBarTest, AFailedReadLeavesThePanesAsTheyWere) {
  auto line = std::make_shared<testing::FakeLine>();  // a port with nothing behind it
  testing::ScopedFakePort port("fake:silent", line);
  ASSERT_TRUE(OpenLink("fake:silent"));
  bar_->setPaneText(kPaneDeviceState, "before");
  bar_->setDriveIdentified(true);
  line->clearWritten();
  EXPECT_FALSE(bar_->pollOnce());
  EXPECT_EQ(text(kPaneDeviceState), "before");
  // It asked for record 129 and, that read failed, for nothing more.
  EXPECT_EQ(line->written(), (testing::Bytes{0x0F, 129}));
}

// The bar against the simulated drive, in the simulator's virtual time.
class DriveStatusBarSimTest : public DriveStatusBarTest {
 protected:
  void SetUp() override {
    DriveStatusBarTest::SetUp();
    drive_ = sim::registerSimulatedDrive("sim:status-bar", sim::SimConfig::unitTest());
    drive_->advanceMs(1000);  // past the firmware's start-up
    ASSERT_TRUE(OpenLink("sim:status-bar"));
  }
  void TearDown() override {
    CloseLink();
    sim::unregisterSimulatedDrive("sim:status-bar");
  }
  std::shared_ptr<sim::SimulatedDrive> drive_;
};

TEST_F(DriveStatusBarSimTest, PollShowsTheDrive) {
  bar_->setDriveIdentified(true);
  ASSERT_TRUE(bar_->pollOnce());
  EXPECT_EQ(text(kPaneVoltage), "48V");
  EXPECT_EQ(text(kPanePosition), "0 ");
  EXPECT_EQ(text(kPaneProfile), "Profile not started");
  EXPECT_EQ(bar_->paneInfo(kPaneLimitSwitches).ownTextEnabled, "Gut");
  EXPECT_FALSE(bar_->isPaneEnabled(kPaneStopSwitch));
  EXPECT_FALSE(text(kPaneDeviceState).isEmpty());

  drive_->triggerFault(sim::DriveFault::UnderVoltage);
  drive_->setStopSwitch(true);
  ASSERT_TRUE(bar_->pollOnce());
  EXPECT_EQ(text(kPaneDeviceState), "Undervoltage");
  EXPECT_EQ(background(kPaneDeviceState), QColor(255, 0, 0));
  EXPECT_TRUE(bar_->isPaneEnabled(kPaneStopSwitch));
}

TEST_F(DriveStatusBarSimTest, TheTimerPollsOnItsOwn) {
  window_.show();
  bar_->setDriveIdentified(true);
  drive_->triggerFault(sim::DriveFault::MotorBlocked);
  // A generous window for the first 100 ms ticks.
  EXPECT_TRUE(QTest::qWaitFor([&] { return text(kPaneDeviceState) == "Motor blocked"; }, 10000))
      << text(kPaneDeviceState).toStdString();
}

TEST_F(DriveStatusBarSimTest, AnUnpluggedDriveGreysThePanesUntilItAnswersAgain) {
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  bar_->setDriveIdentified(true);
  ASSERT_TRUE(bar_->pollOnce());
  EXPECT_FALSE(bar_->isStale());
  const QPoint stateCentre = bar_->paneRect(kPaneDeviceState).center();
  const QColor alive = bar_->grab().toImage().pixelColor(stateCentre);

  drive_->unplug();
  EXPECT_FALSE(bar_->pollOnce());
  EXPECT_TRUE(bar_->isStale());
  // The last values stay readable, washed out, and the tooltips say since when the drive is silent.
  EXPECT_EQ(text(kPaneVoltage), "48V");
  const QColor stale = bar_->grab().toImage().pixelColor(stateCentre);
  EXPECT_NE(stale, alive);
  EXPECT_GT(stale.lightness(), alive.lightness());
  EXPECT_TRUE(bar_->paneToolTip(kPaneVoltage).contains("has not answered since"))
      << bar_->paneToolTip(kPaneVoltage).toStdString();

  drive_->replug();
  drive_->advanceMs(1000);
  ASSERT_TRUE(bar_->pollOnce());
  EXPECT_FALSE(bar_->isStale());
  EXPECT_EQ(bar_->grab().toImage().pixelColor(stateCentre), alive);
  EXPECT_FALSE(bar_->paneToolTip(kPaneVoltage).contains("has not answered"));
}

TEST_F(DriveStatusBarTest, EveryPaneSaysWhatItShows) {
  QStringList tips;
  for (int pane = 0; pane < bar_->paneCount(); ++pane) {
    const QString tip = bar_->paneToolTip(pane);
    EXPECT_FALSE(tip.isEmpty()) << pane;
    EXPECT_FALSE(tips.contains(tip)) << pane;
    tips << tip;
  }
  EXPECT_TRUE(bar_->paneToolTip(kPaneReference).contains("Reference switch"));
  EXPECT_TRUE(bar_->paneToolTip(kPaneTemperature).contains(QString::fromUtf8("°C")));
  SetLanguage(Language::German);
  EXPECT_TRUE(bar_->paneToolTip(kPaneStopSwitch).startsWith("Stopp-Schalter"));
  SetLanguage(Language::English);
}

}  // namespace
}  // namespace axtune

// The application lives on main's stack, so it is gone before the program's static objects are
// destroyed (a function-static QApplication can crash at exit in the input-device teardown).
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
