// Renders the drive status bar in German and English for two typical drive states into PNG files
// beside the test program, so that a person can look at them ("drive-status-bar-de.png", "-en.png").
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <cstdio>

#include "app/drive_status_bar.h"
#include "link/drive_link.h"
#include "link/testing/fake_serial_port.h"
#include "res/strings.h"

namespace axtune {
namespace {

struct Scene {
  RecordWords r129{};
  RecordWords r131{};
  uint16_t statusword = 0;
};

// A referenced drive running profile 3 between its limit switches, with the stop switch closed.
Scene Running() {
  Scene s;
  s.r129[kWordDeviceState] = 4;
  s.statusword = 0x0027;
  s.r129[kWordSwitches] = 0x0600 | 0x1000;
  s.r129[kWordReferenced] = 2;
  s.r129[kWordTemperature] = 4480;  // 35 degrees
  s.r129[kWordVoltage] = 13784;     // 48 V
  s.r129[kWordPositionLow] = 0x5A3C;
  s.r129[kWordPositionHigh] = 0x0001;
  s.r131[kWordProfileState] = 1;
  s.r131[kWordProfileNumber] = 3;
  return s;
}

// An overheated drive standing on its upper limit switch, its reference lost.
Scene Fault() {
  Scene s;
  s.r129[kWordDeviceState] = 0;
  s.r129[kWordErrorNumber] = 5;
  s.r129[kWordSwitches] = 0x0200 | 0x0800;
  s.r129[kWordReferenced] = 3;
  s.r129[kWordTemperature] = 10240;  // 80 degrees
  s.r129[kWordVoltage] = 14500;
  s.r129[kWordPositionLow] = static_cast<uint16_t>(-20000);
  s.r129[kWordPositionHigh] = 0xFFFF;
  s.r131[kWordProfileState] = 7;
  return s;
}

// stale: the drive then stops answering (a port with nothing behind it), so the panes are greyed.
QImage RenderBar(const Scene& scene, Language language, bool stale = false) {
  QMainWindow window;
  auto* bar = new DriveStatusBar(&window);
  window.setStatusBar(bar);
  window.resize(760, 60);
  window.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  DriveStatusMemory memory;
  bar->showStatus(DecodeDriveStatus(scene.r129, scene.r131, scene.statusword, memory, language));
  if (stale) {
    auto line = std::make_shared<testing::FakeLine>();
    testing::ScopedFakePort port("fake:render-silent", line);
    EXPECT_TRUE(OpenLink("fake:render-silent"));
    bar->setDriveIdentified(true);
    EXPECT_FALSE(bar->pollOnce());
    EXPECT_TRUE(bar->isStale());
    bar->stopPolling();
    CloseLink();
  }
  return bar->grab().toImage();
}

class DriveStatusBarRender : public ::testing::TestWithParam<Language> {};

TEST_P(DriveStatusBarRender, WritesAPicture) {
  const Language language = GetParam();
  SetLanguage(language);  // the pane widths follow the texts of the language in use
  const QImage running = RenderBar(Running(), language);
  const QImage fault = RenderBar(Fault(), language);
  const QImage silent = RenderBar(Running(), language, true);
  ASSERT_FALSE(running.isNull());
  ASSERT_FALSE(fault.isNull());
  ASSERT_FALSE(silent.isNull());

  // Running, fault, and the running drive after it stopped answering (greyed).
  QImage picture(std::max({running.width(), fault.width(), silent.width()}),
                 running.height() + fault.height() + silent.height() + 16, QImage::Format_RGB32);
  picture.fill(QColor(79, 164, 163));  // the main window's background
  {
    QPainter painter(&picture);
    painter.drawImage(0, 0, running);
    painter.drawImage(0, running.height() + 8, fault);
    painter.drawImage(0, running.height() + fault.height() + 16, silent);
  }
  const QString name = language == Language::German ? "drive-status-bar-de.png" : "drive-status-bar-en.png";
  const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(name);
  ASSERT_TRUE(picture.save(path)) << path.toStdString();
  std::printf("wrote %s\n", qPrintable(path));
  SetLanguage(Language::English);
}

INSTANTIATE_TEST_SUITE_P(Languages, DriveStatusBarRender,
                         ::testing::Values(Language::German, Language::English), [](const auto& info) {
                           return info.param == Language::German ? "German" : "English";
                         });

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
