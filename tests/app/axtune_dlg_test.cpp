// The main window against simulated drives on port slots: menu, store command, scan, connection,
// re-identification on carrier changes and shutdown.
#include "app/axtune_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "controls/axtune_property_page.h"
#include "core/drive_identity.h"
#include "link/drive_link.h"
#include "pages/drive_property_page.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"

namespace axtune {
namespace {

using testing::EnsureApplication;
using testing::UiRecorder;

class MainWindowTest : public ::testing::Test {
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
    for (const std::string& name : drives_) sim::unregisterSimulatedDrive(name);
    testing::RestorePortSlots();
    QDir::setCurrent(previousDir_);
    CloseLink();
  }

  std::shared_ptr<sim::SimulatedDrive> PutDrive(int slot,
                                                sim::SimConfig config = sim::SimConfig::unitTest()) {
    const std::string name = "sim:test-com" + std::to_string(slot);
    auto drive = sim::registerSimulatedDrive(name, config);
    SetPortSlotOverride(slot, name);
    drives_.push_back(name);
    return drive;
  }

  // Created after the drives are in place: the port menu lists the slots' devices.
  CAxtuneDlg& Window() {
    if (!window_) {
      window_ = std::make_unique<CAxtuneDlg>();
      window_->show();
    }
    return *window_;
  }

  QStringList Tabs() {
    QStringList titles;
    for (int i = 0; i < Window().Sheet()->count(); ++i) titles << Window().Sheet()->tabText(i);
    return titles;
  }

  std::string PortMemory() {
    std::ifstream in(dir_.filePath("Axtune.ini").toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void RememberPort(const char* digit) {
    std::ofstream(dir_.filePath("Axtune.ini").toStdString(), std::ios::binary) << digit;
  }

  const QStringList kConnectedTabs{"Drive", "Settings", "Inputs", "Outputs", "Profiles", "Homing"};
  UiRecorder ui_;
  QTemporaryDir dir_;
  QString previousDir_;
  std::vector<std::string> drives_;
  std::unique_ptr<CAxtuneDlg> window_;
};

TEST_F(MainWindowTest, MenuHasEveryItemInBothLanguages) {
  struct Item {
    int id;
    const char* german;
    const char* english;
    bool enabled;
  };
  const Item items[] = {
      {kCommandLoadParameters, "laden", "Load", true},
      {kCommandSaveParameters, "speichern", "Save", true},
      {kCommandFirmwareUpdate, "Firmware Update", "Firmware Update", true},
      {kCommandFlashKernel, "Flash-Kernel...", "Flash Kernel...", true},
      {kCommandUser, "Benutzer", "User", true},
      {kCommandStoreParameters, "Einstellungen speichern", "Save Changes", false},
      {kCommandHelpTopics, "Hilfe&themen", "Help &Contest", true},
      {kCommandHomepage, "Orvane Homepage", "Orvane Homepage", true},
      {kCommandFeedback, "Mitteilung", "Feedback", true},
      {kCommandAbout, "&Info über Axtune", "&Info about Axtune", true},
  };
  for (Language language : {Language::German, Language::English}) {
    SetLanguage(language);
    CAxtuneDlg window;
    for (const Item& item : items) {
      QAction* action = window.CommandAction(item.id);
      ASSERT_NE(action, nullptr) << item.id;
      EXPECT_EQ(action->text().toStdString(), language == Language::German ? item.german : item.english);
      EXPECT_EQ(action->isEnabled(), item.enabled) << item.id;
    }
    for (int n = 1; n <= 12; ++n) {
      QAction* port = window.CommandAction(kCommandPortBase + n);
      ASSERT_NE(port, nullptr);
      EXPECT_TRUE(port->text().startsWith(QStringLiteral("COM%1").arg(n)));
    }
    EXPECT_EQ(window.CommandAction(kCommandHelpTopics)->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(window.CommandAction(kCommandContextHelp)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F1));
    EXPECT_EQ(window.windowTitle(), "Axtune");
  }
}

TEST_F(MainWindowTest, StoreCommandFollowsChangesAndStores) {
  PutDrive(1);
  ASSERT_TRUE(Window().OpenPort(1));
  QAction* store = Window().CommandAction(kCommandStoreParameters);
  EXPECT_FALSE(store->isEnabled());

  Window().NotifyParameterChanged(kObjectRecord);
  EXPECT_FALSE(store->isEnabled()) << "record 127 is no parameter change";
  EXPECT_FALSE(Window().IsModified());

  // A page reports through its host, wherever it sits.
  Window().ConnectionPages()[4]->NotifyParameterChanged();
  EXPECT_TRUE(store->isEnabled());
  EXPECT_TRUE(Window().IsCommandDefault(kCommandStoreParameters));
  Window().NotifyParameterChanged(17);
  EXPECT_TRUE(store->isEnabled());

  store->trigger();
  for (int i = 0; i < 2; ++i) {
    if (i > 0) Window().OnCommand(kCommandStoreParameters);
    EXPECT_FALSE(store->isEnabled());
    EXPECT_FALSE(Window().IsCommandDefault(kCommandStoreParameters));
    EXPECT_FALSE(Window().IsModified());
  }
  EXPECT_EQ(ui_.countPauses(2000), 2) << "each store waits 2 s";
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(Window().StatusNote(), "Parameters stored in the drive") << "said without a box";

  // A store the drive does not answer is no store: the change stays pending and the user is told.
  Window().NotifyParameterChanged(2);
  Window().StopWatcher();
  CloseLink();
  store->trigger();
  EXPECT_TRUE(store->isEnabled());
  EXPECT_TRUE(Window().IsCommandDefault(kCommandStoreParameters));
  EXPECT_TRUE(Window().IsModified());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].startsWith("The settings were not stored")) << ui_.messages[0].toStdString();
  EXPECT_EQ(ui_.countPauses(2000), 2);
}

TEST_F(MainWindowTest, ScanPrefersCarrierAndGreysMissingPorts) {
  PutDrive(2);
  PutDrive(5)->unplug();  // opens, but without carrier
  EXPECT_EQ(Window().ScanPorts(), 2);
  for (int n = 1; n <= 12; ++n) {
    EXPECT_EQ(Window().CommandAction(kCommandPortBase + n)->isEnabled(), n == 2 || n == 5) << "COM" << n;
  }
  RememberPort("5");
  EXPECT_EQ(Window().ScanPorts(), 5) << "the remembered port wins while it opens";
  RememberPort("7");
  EXPECT_EQ(Window().ScanPorts(), 2) << "a remembered port that does not open is passed over";
  EXPECT_EQ(ui_.countPauses(100), 3) << "100 ms after closing, once per scan";
}

TEST_F(MainWindowTest, StartupConnectsIdentifiesAndRemembers) {
  PutDrive(2);
  Window().ConnectAtStartup();
  EXPECT_TRUE(ui_.messages.empty()) << ui_.messages.front().toStdString();
  EXPECT_TRUE(Window().IsConnected());
  EXPECT_EQ(Window().CheckedPort(), 2);
  EXPECT_TRUE(Window().CommandAction(kCommandPortBase + 2)->isChecked());
  EXPECT_EQ(Tabs(), kConnectedTabs);
  EXPECT_TRUE(Window().Sheet()->isVisible());
  EXPECT_EQ(PortMemory(), "2");
  EXPECT_EQ(ui_.countPauses(3000), 1) << "the drive's carrier was on";
  EXPECT_TRUE(Window().WatcherRunning());
  if (Window().DriveStatus() != nullptr) {
    EXPECT_TRUE(Window().DriveStatus()->isVisible());
  }
  // The General page read record 128 when the sheet appeared, and published what it found.
  EXPECT_EQ(Window().DrivePage()->DriveTypeText(), "QMX10-BA");
  EXPECT_EQ(Window().DrivePage()->FirmwareVersionText(), "4.1.7 ");
  EXPECT_EQ(FirmwareVersionNumber(), 4001);
  EXPECT_EQ(RecordCount(), 65);
}

TEST_F(MainWindowTest, WindowIsPaintedBeforeTheCarrierWait) {
  PutDrive(1);
  int paints = 0;
  int paintsAtWait = -1;
  ScopedSleeper sleeper([&](int ms) {
    if (ms == 3000) paintsAtWait = paints;
  });
  struct PaintCounter : QObject {
    int& count;
    explicit PaintCounter(int& c) : count(c) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++count;
      return false;
    }
  } counter(paints);
  Window().centralWidget()->installEventFilter(&counter);
  bool finished = false;
  QObject::connect(&Window(), &CAxtuneDlg::StartupFinished, [&] { finished = true; });
  Window().ConnectWhenPainted();
  EXPECT_EQ(paints, 0) << "nothing happens before the event loop runs";
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished; }, 10000));
  EXPECT_GE(paintsAtWait, 1) << "the 3 s wait started before the window was painted";
  EXPECT_TRUE(Window().IsConnected());
  Window().centralWidget()->removeEventFilter(&counter);
}

TEST_F(MainWindowTest, SimulatedStartupTakesTheSimulatedSlot) {
  PutDrive(1);
  PutDrive(3);
  RememberPort("3");
  Window().SetStartupPort(1);
  Window().ConnectAtStartup();
  EXPECT_EQ(Window().CheckedPort(), 1) << "the simulated drive, not the remembered port";
  EXPECT_TRUE(Window().CommandAction(kCommandPortBase + 3)->isEnabled()) << "other ports stay selectable";
}

TEST_F(MainWindowTest, StartupWithoutAnyPortSaysSo) {
  Window().ConnectAtStartup();
  ASSERT_EQ(ui_.messages.size(), 1u) << "one box says it all";
  EXPECT_TRUE(ui_.messages[0].startsWith("Open com port failed"));
  EXPECT_TRUE(ui_.messages[0].endsWith("Cannot open seriell link!"));
  EXPECT_FALSE(Window().Sheet()->isVisible());
  EXPECT_FALSE(Window().IsConnected());
}

TEST_F(MainWindowTest, PortFromTheMenuIsRememberedByItsFirstDigit) {
  PutDrive(11);
  // A port item opens its port once the menu has closed and the window has repainted.
  Window().CommandAction(kCommandPortBase + 11)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window().CheckedPort() == 11; }, 5000));
  EXPECT_EQ(PortMemory(), "1");
  EXPECT_EQ(Tabs(), kConnectedTabs);
  // The same port again identifies again without adding pages twice.
  const int opens = ui_.countPauses(100);  // OpenPort pauses 100 ms after closing the link
  Window().CommandAction(kCommandPortBase + 11)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ui_.countPauses(100) > opens; }, 5000));
  EXPECT_EQ(Tabs(), kConnectedTabs);
}

TEST_F(MainWindowTest, UnsupportedDriveRemovesTheConnectionPages) {
  PutDrive(1);
  sim::SimConfig unknown = sim::SimConfig::unitTest();
  unknown.deviceType = 1024;
  PutDrive(3, unknown);
  ASSERT_TRUE(Window().OpenPort(1));
  ASSERT_EQ(Tabs(), kConnectedTabs);
  ASSERT_TRUE(Window().OpenPort(3)) << "the port opens; only the drive is unknown";
  EXPECT_FALSE(Window().IsConnected());
  EXPECT_EQ(Tabs(), QStringList{"Drive"});
  EXPECT_EQ(PortMemory(), "1") << "only a port with a drive is remembered";
  if (Window().DriveStatus() != nullptr) {
    EXPECT_FALSE(Window().DriveStatus()->isVisible());
  }
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MainWindowTest, CarrierLossAndReturnReidentify) {
  auto drive = PutDrive(4);
  ASSERT_TRUE(Window().OpenPort(4));
  ASSERT_TRUE(Window().IsConnected());
  ui_.clear();

  drive->unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Window().IsConnected(); }, 10000));
  EXPECT_EQ(Tabs(), QStringList{"Drive"});
  EXPECT_EQ(ui_.countPauses(3000), 0) << "no wait when the carrier went off";
  EXPECT_TRUE(Window().WatcherRunning()) << "a fresh watcher waits for the carrier to return";

  drive->replug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Window().IsConnected(); }, 10000));
  EXPECT_EQ(Tabs(), kConnectedTabs);
  EXPECT_EQ(ui_.countPauses(3000), 1) << "the returning drive gets 3 s";
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MainWindowTest, ExpertModeAddsTheDebugPagesAndTheStatusPanel) {
  PutDrive(1);
  int panelShown = 0;
  Window().SetExpertModeCheck([] { return true; });
  Window().SetStatusPanelShow([&] { ++panelShown; });
  ASSERT_TRUE(Window().OpenPort(1));
  EXPECT_EQ(Tabs(), kConnectedTabs + QStringList({"Debug", "Debug 2"}));
  EXPECT_EQ(panelShown, 1);
  EXPECT_EQ(Window().Sheet()->currentIndex(), 0) << "the General page is active after identification";
}

TEST_F(MainWindowTest, DriveWithoutCarrierIsUsedWithACableWarning) {
  auto line = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort port("fake:no-carrier", line);
  testing::ScriptedDrive drive(line);
  drive.setRecord(kIdentificationRecord, testing::IdentificationRecord(1027));
  SetPortSlotOverride(6, "fake:no-carrier");
  ASSERT_TRUE(Window().OpenPort(6));
  EXPECT_TRUE(Window().IsConnected());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0], "Please check your link cable!");
  EXPECT_EQ(ui_.countPauses(3000), 0);
  EXPECT_EQ(Window().DrivePage()->DriveTypeText(), "QMX10-CB");
}

TEST_F(MainWindowTest, FirstReadAfterTheCarrierCameOnIsEnoughToIdentify) {
  // A drive that answers record 128 once and then falls silent: the second read fails and leaves
  // the first one's words in place.
  auto line = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort port("fake:answers-once", line);
  line->setCarrier(true);
  int reads = 0;
  line->setResponder([&reads](const testing::Bytes& written) {
    if (written.size() != 2 || written[0] != 0x0F || written[1] != kIdentificationRecord)
      return testing::Bytes{};
    return ++reads == 1 ? testing::RecordReply(kIdentificationRecord, testing::IdentificationRecord(1026))
                        : testing::Bytes{};
  });
  SetPortSlotOverride(7, "fake:answers-once");
  ASSERT_TRUE(Window().OpenPort(7));
  EXPECT_TRUE(Window().IsConnected());
  EXPECT_EQ(Tabs(), kConnectedTabs);
  EXPECT_EQ(ui_.countPauses(3000), 1);
  EXPECT_TRUE(ui_.messages.empty()) << "carrier on: no cable warning";
  Window().StopWatcher();

  // Without carrier only one read is made, and a silent drive is no drive.
  line->setCarrier(false);
  reads = 1;
  Window().OpenPort(7);
  EXPECT_FALSE(Window().IsConnected());
  EXPECT_EQ(Tabs(), QStringList{"Drive"});
  Window().StopWatcher();
}

TEST_F(MainWindowTest, FailedOpenTellsWhyAndDropsTheConnection) {
  PutDrive(1);
  auto line = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort port("fake:held", line);
  SetPortSlotOverride(8, "fake:held");
  ASSERT_TRUE(Window().OpenPort(1));

  line->failNextOpen(PortOpenError::Busy, "Device or resource busy");
  EXPECT_FALSE(Window().OpenPort(8));
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].startsWith("Open com port failed")) << ui_.messages[0].toStdString();
  EXPECT_TRUE(ui_.messages[0].contains("COM8")) << ui_.messages[0].toStdString();
  EXPECT_TRUE(ui_.messages[0].contains("another program")) << ui_.messages[0].toStdString();
  EXPECT_TRUE(ui_.messages[0].contains("Device or resource busy"));
  EXPECT_EQ(Window().CheckedPort(), 1) << "the previous radio check stays";
  EXPECT_FALSE(Window().IsConnected()) << "the link is closed, so nothing may read it";
  EXPECT_EQ(Tabs(), QStringList{"Drive"});
  EXPECT_EQ(Window().DrivePage()->DriveTypeText(), "") << "no drive named behind a closed link";
  EXPECT_EQ(Window().DrivePage()->FirmwareVersionText(), "");

  line->failNextOpen(PortOpenError::PermissionDenied, "Permission denied");
  EXPECT_FALSE(Window().OpenPort(8));
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_TRUE(ui_.messages[1].contains("dialout")) << ui_.messages[1].toStdString();
}

TEST_F(MainWindowTest, ShutdownStopsARunningWatcherAndClosesTheLink) {
  auto drive = PutDrive(1);
  ASSERT_TRUE(Window().OpenPort(1));
  ASSERT_TRUE(Window().WatcherRunning());
  Window().Shutdown();
  EXPECT_FALSE(Window().WatcherRunning());
  EXPECT_FALSE(IsLinkOpen());
}

TEST_F(MainWindowTest, NotificationInFlightAtShutdownIsDropped) {
  auto drive = PutDrive(1);
  ASSERT_TRUE(Window().OpenPort(1));
  drive->unplug();
  // The watcher posts its news and ends; the window goes away before the news is handled (no event
  // is processed while waiting here).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Window().WatcherRunning() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_FALSE(Window().WatcherRunning());
  window_.reset();
  QCoreApplication::processEvents();
  EXPECT_FALSE(IsLinkOpen());
}

}  // namespace
}  // namespace axtune
