// What the main window says while it connects and when it has no drive: the line in the sheet area,
// the reasons a scan found for ports that did not open, the rescan when the port menu opens, and
// Ctrl+Q. Writes pictures of the connecting and the no-drive window in German and English beside
// the test program ("connection-*-de.png", "-en.png").
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>
#include <string>

#include "app/axtune_dlg.h"
#include "app/command_ids.h"
#include "link/drive_link.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"

namespace axtune {
namespace {

using testing::EnsureApplication;
using testing::UiRecorder;

class ConnectionStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    testing::IsolatePortSlots();
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    SetLanguage(Language::English);
  }
  void TearDown() override {
    window_.reset();
    testing::RestorePortSlots();
    QDir::setCurrent(previousDir_);
    CloseLink();
    SetLanguage(Language::English);
  }
  CAxtuneDlg& Window() {
    if (!window_) {
      window_ = std::make_unique<CAxtuneDlg>();
      window_->show();
    }
    return *window_;
  }
  void Save(const QImage& picture, const std::string& name) {
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromStdString(name));
    ASSERT_TRUE(picture.save(path)) << path.toStdString();
    std::printf("wrote %s\n", qPrintable(path));
  }

  UiRecorder ui_;
  QTemporaryDir dir_;
  QString previousDir_;
  std::unique_ptr<CAxtuneDlg> window_;
};

// A port whose carrier is on but where nothing answers: the window says what it is doing at each
// blocking step, and afterwards that no drive answered and what to try, without a message box.
TEST_F(ConnectionStateTest, ConnectingAndNoDriveAreSaidInTheSheetArea) {
  for (const Language language : {Language::English, Language::German}) {
    const bool german = language == Language::German;
    SCOPED_TRACE(german ? "German" : "English");
    SetLanguage(language);
    window_.reset();
    auto line = std::make_shared<testing::FakeLine>();
    testing::ScopedFakePort port("fake:silent", line);
    line->setCarrier(true);
    SetPortSlotOverride(7, "fake:silent");

    QString atClose, atCarrierWait;
    QImage connecting;
    ScopedSleeper watch([&](int ms) {
      if (ms == 100 && atClose.isEmpty()) atClose = Window().ConnectionStateText();
      if (ms == 3000) {
        atCarrierWait = Window().ConnectionStateText();
        connecting = Window().grab().toImage();
      }
    });
    ASSERT_TRUE(Window().OpenPort(7));
    Window().StopWatcher();

    const QString device = QStringLiteral("COM7 (fake:silent)");
    EXPECT_EQ(atClose, german ? QString::fromUtf8("Verbindung mit %1 wird hergestellt …").arg(device)
                              : QString::fromUtf8("Connecting to %1…").arg(device));
    EXPECT_TRUE(atCarrierWait.contains(device)) << atCarrierWait.toStdString();
    EXPECT_TRUE(atCarrierWait.contains(german ? "3 Sekunden" : "3 seconds")) << atCarrierWait.toStdString();
    const QString none = Window().ConnectionStateText();
    EXPECT_TRUE(none.startsWith(german ? "An " + device + " antwortet kein Antrieb."
                                       : "No drive answers on " + device + "."))
        << none.toStdString();
    EXPECT_TRUE(none.contains(german ? "eingeschaltet" : "switched on")) << none.toStdString();
    EXPECT_TRUE(ui_.messages.empty()) << "no message box for a port without a drive";
    EXPECT_FALSE(Window().IsConnected());

    const char* suffix = german ? "de" : "en";
    Save(connecting, std::string("connection-connecting-") + suffix + ".png");
    Save(Window().grab().toImage(), std::string("connection-no-drive-") + suffix + ".png");
    Window().Shutdown();
  }
}

TEST_F(ConnectionStateTest, ADeviceOfAnotherTypeIsNamedAndAConnectedDriveHidesTheLine) {
  sim::SimConfig unknown = sim::SimConfig::unitTest();
  unknown.deviceType = 1024;
  sim::registerSimulatedDrive("sim:state-other", unknown);
  sim::registerSimulatedDrive("sim:state-drive", sim::SimConfig::unitTest());
  SetPortSlotOverride(3, "sim:state-other");
  SetPortSlotOverride(4, "sim:state-drive");

  ASSERT_TRUE(Window().OpenPort(3));
  EXPECT_TRUE(Window().ConnectionStateText().contains("is not a supported QMX10 drive (device type 1024)"))
      << Window().ConnectionStateText().toStdString();
  ASSERT_TRUE(Window().OpenPort(4));
  EXPECT_TRUE(Window().IsConnected());
  EXPECT_EQ(Window().ConnectionStateText(), "");
  Window().Shutdown();
  sim::unregisterSimulatedDrive("sim:state-other");
  sim::unregisterSimulatedDrive("sim:state-drive");
}

// The scan's reasons reach the message and the window, as a chosen port's failure does; the port
// menu looks again when it opens, without a byte on the line.
TEST_F(ConnectionStateTest, ScanSaysWhyPortsFailedAndTheMenuFindsThemAgain) {
  auto busy = std::make_shared<testing::FakeLine>();
  auto locked = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort busyPort("fake:busy", busy);
  testing::ScopedFakePort lockedPort("fake:locked", locked);
  SetPortSlotOverride(2, "fake:busy");
  SetPortSlotOverride(5, "fake:locked");
  busy->failNextOpen(PortOpenError::Busy, "Device or resource busy");
  locked->failNextOpen(PortOpenError::PermissionDenied, "Permission denied");

  Window().ConnectAtStartup();
  ASSERT_EQ(ui_.messages.size(), 1u) << "one box says it all";
  EXPECT_TRUE(ui_.messages[0].startsWith("Open com port failed")) << ui_.messages[0].toStdString();
  EXPECT_TRUE(ui_.messages[0].contains("COM2 (fake:busy): The port is busy: another program holds it open"))
      << ui_.messages[0].toStdString();
  EXPECT_TRUE(ui_.messages[0].contains("COM5 (fake:locked): Permission denied"))
      << ui_.messages[0].toStdString();
  EXPECT_FALSE(ui_.messages[0].contains("COM3")) << "slots without a device are not listed";
  EXPECT_TRUE(ui_.messages[0].endsWith("\n\nCannot open seriell link!")) << ui_.messages[0].toStdString();
#ifndef _WIN32
  EXPECT_TRUE(ui_.messages[0].contains("\"axtune-cli doctor\" checks")) << "where to look next";
#endif
  EXPECT_TRUE(Window().ConnectionStateText().startsWith("No port is open."));
  EXPECT_TRUE(Window().ConnectionStateText().contains("COM2 (fake:busy)"));
  QAction* com2 = Window().CommandAction(kCommandPortBase + 2);
  QAction* com5 = Window().CommandAction(kCommandPortBase + 5);
  EXPECT_FALSE(com2->isEnabled());
  EXPECT_FALSE(com5->isEnabled());

  // Freed since: the menu enables them the next time it opens, and writes nothing to them.
  busy->clearWritten();
  auto* menu = qobject_cast<QMenu*>(com2->parent());
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  EXPECT_TRUE(com2->isEnabled());
  EXPECT_TRUE(com5->isEnabled());
  EXPECT_FALSE(Window().CommandAction(kCommandPortBase + 3)->isEnabled());
  EXPECT_TRUE(busy->written().empty());
  EXPECT_FALSE(busy->isOpen()) << "the probe let the port go again";

  // The port the link holds stays choosable; one that went away is greyed.
  ASSERT_TRUE(Window().OpenPort(2));
  Window().StopWatcher();
  SetPortSlotOverride(5, "fake:unplugged-adapter");
  Window().RefreshPortItems();
  EXPECT_TRUE(com2->isEnabled());
  EXPECT_FALSE(com5->isEnabled());
  EXPECT_TRUE(com5->text().contains("fake:unplugged-adapter")) << "the item names the slot's device now";
  // A network port is not probed (a connection attempt could hold the menu for a network timeout).
  SetPortSlotOverride(6, "rfc2217://192.0.2.1:4001");
  Window().RefreshPortItems();
  EXPECT_TRUE(Window().CommandAction(kCommandPortBase + 6)->isEnabled());
  Window().Shutdown();
}

TEST_F(ConnectionStateTest, ControlQQuits) {
  Window();
  QAction* quit = nullptr;
  for (QAction* action : Window().actions()) {
    if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Q)) quit = action;
  }
  ASSERT_NE(quit, nullptr);
  EXPECT_EQ(quit->shortcutContext(), Qt::ApplicationShortcut);
  quit->trigger();
  EXPECT_FALSE(Window().isVisible());
}

}  // namespace
}  // namespace axtune
