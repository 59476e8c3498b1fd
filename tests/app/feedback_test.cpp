// What the window tells a technician about what it did: the title with drive and port in every
// connection state, the notes of the status line, the homing state on the Homing page and in the
// status bar, and where the status panel opens beside the main window at each screen edge.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/axtune_dlg.h"
#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/drive_status_bar.h"
#include "app/panel_placement.h"
#include "app/status_dialog.h"
#include "app/window_title.h"
#include "controls/written_note.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/port_slots.h"
#include "pages/outputs_property_page.h"
#include "pages/referenzfahrt_property_page.h"
#include "pages/settings_property_page.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"

namespace axtune {
namespace {

using State = TitleConnection::State;

struct TitleCase {
  State state;
  const char* device;  // put on slot 4
  Language language;
  const char* title;
};

class WindowTitle : public testing::GuiTest, public ::testing::WithParamInterface<TitleCase> {
 protected:
  void TearDown() override {
    SetPortSlotOverride(4, "");
    SetLanguage(Language::English);
  }
};

TEST_P(WindowTitle, NamesDriveAndPort) {
  const TitleCase c = GetParam();
  SetLanguage(c.language);
  SetPortSlotOverride(4, c.device);
  const TitleConnection connection{c.state, 4, "QMX10-BA", "4.1.7 "};
  EXPECT_EQ(MainWindowTitle(connection), c.title);
}

INSTANTIATE_TEST_SUITE_P(
    EachConnectionState, WindowTitle,
    ::testing::Values(TitleCase{State::Starting, "/dev/ttyUSB0", Language::English, "Axtune"},
                      TitleCase{State::NoPort, "/dev/ttyUSB0", Language::English,
                                "Axtune \xE2\x80\x93 no port open"},
                      TitleCase{State::NoPort, "/dev/ttyUSB0", Language::German,
                                "Axtune \xE2\x80\x93 keine Schnittstelle offen"},
                      TitleCase{State::NoDrive, "/dev/ttyUSB0", Language::English,
                                "Axtune \xE2\x80\x93 COM4 (/dev/ttyUSB0), no drive"},
                      TitleCase{State::NoDrive, "/dev/ttyUSB0", Language::German,
                                "Axtune \xE2\x80\x93 COM4 (/dev/ttyUSB0), kein Antrieb"},
                      TitleCase{State::Connected, "/dev/ttyUSB0", Language::English,
                                "Axtune \xE2\x80\x93 QMX10-BA 4.1.7 on COM4 (/dev/ttyUSB0)"},
                      TitleCase{State::Connected, "/dev/ttyUSB0", Language::German,
                                "Axtune \xE2\x80\x93 QMX10-BA 4.1.7 an COM4 (/dev/ttyUSB0)"},
                      TitleCase{State::Connected, "rfc2217://192.0.2.7:4001", Language::English,
                                "Axtune \xE2\x80\x93 QMX10-BA 4.1.7 on COM4 (rfc2217://192.0.2.7:4001)"},
                      TitleCase{State::Connected, "sim:title", Language::English,
                                "Axtune \xE2\x80\x93 QMX10-BA 4.1.7 on COM4 (Simulated drive)"}));

// The main window against simulated drives and fake ports.
class FeedbackWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::EnsureApplication();
    testing::IsolatePortSlots();
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    SetLanguage(Language::English);
  }
  void TearDown() override {
    window_.reset();
    sim::unregisterSimulatedDrive("sim:feedback");
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
  std::shared_ptr<sim::SimulatedDrive> PutDrive(int slot) {
    auto drive = sim::registerSimulatedDrive("sim:feedback", sim::SimConfig::unitTest());
    SetPortSlotOverride(slot, "sim:feedback");
    return drive;
  }

  testing::UiRecorder ui_;
  QTemporaryDir dir_;
  QString previousDir_;
  std::unique_ptr<CAxtuneDlg> window_;
};

// The title through the window's own connection states: no port, a port without a drive, a drive,
// and a port that fails to open afterwards.
TEST_F(FeedbackWindowTest, TitleFollowsTheConnection) {
  auto drive = PutDrive(1);
  auto line = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort silent("fake:quiet", line);
  SetPortSlotOverride(7, "fake:quiet");
  EXPECT_EQ(Window().windowTitle(), "Axtune");

  ASSERT_TRUE(Window().OpenPort(7));
  Window().StopWatcher();
  EXPECT_EQ(Window().windowTitle(), "Axtune \xE2\x80\x93 COM7 (fake:quiet), no drive");

  ASSERT_TRUE(Window().OpenPort(1));
  const QString connected = Window().windowTitle();
  EXPECT_TRUE(connected.startsWith("Axtune \xE2\x80\x93 QMX10-BA ")) << connected.toStdString();
  EXPECT_TRUE(connected.endsWith(" on COM1 (Simulated drive)")) << connected.toStdString();

  line->failNextOpen(PortOpenError::NotFound, "No such file or directory");
  EXPECT_FALSE(Window().OpenPort(7));
  EXPECT_EQ(Window().windowTitle(), "Axtune \xE2\x80\x93 no port open");
  ASSERT_EQ(ui_.messages.size(), 1u) << "one box, with the reason";
  EXPECT_TRUE(ui_.messages[0].contains("COM7")) << ui_.messages[0].toStdString();
}

// The window keeps its size when the connection line appears over a sheet full of pages (the
// drive gone) and when it goes again.
TEST_F(FeedbackWindowTest, TheWindowKeepsItsSizeWhenTheLineAppears) {
  PutDrive(1);
  auto line = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort silent("fake:gone", line);
  SetPortSlotOverride(7, "fake:gone");
  ASSERT_TRUE(Window().OpenPort(1));
  Window().StopWatcher();
  QCoreApplication::processEvents();
  const QSize connected = Window().size();
  ASSERT_TRUE(Window().OpenPort(7));
  Window().StopWatcher();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Window().ConnectionStateText().isEmpty());
  EXPECT_EQ(Window().size(), connected);
  ASSERT_TRUE(Window().OpenPort(1));
  Window().StopWatcher();
  QCoreApplication::processEvents();
  EXPECT_EQ(Window().size(), connected);
}

// A value written from a page leaves its page, caption, value and unit in the status line; a value
// the drive did not take leaves none.
TEST_F(FeedbackWindowTest, AWrittenFieldIsConfirmedInTheStatusLine) {
  PutDrive(1);
  ASSERT_TRUE(Window().OpenPort(1));
  Window().StopWatcher();
  auto* homing = static_cast<CReferenzfahrtPropertyPage*>(Window().ConnectionPages()[4]);
  Window().Sheet()->setCurrentWidget(homing);
  auto* position =
      homing->findChild<QLineEdit*>(QString::number(CReferenzfahrtPropertyPage::kIdReferencePosition));
  ASSERT_NE(position, nullptr);
  position->setFocus();
  position->selectAll();
  QTest::keyClicks(position, "-250");
  QTest::keyClick(position, Qt::Key_Return);
  EXPECT_EQ(Window().StatusNote(), "Homing: Ref. position -250 steps written to the drive");
}

// A drive that stops answering the status polls leaves no page to type in: they grey, a click says
// why, and the first answer again gives them back.
TEST_F(FeedbackWindowTest, PagesGreyWhileTheDriveDoesNotAnswer) {
  PutDrive(1);
  ASSERT_TRUE(Window().OpenPort(1));
  Window().StopWatcher();
  auto* bar = qobject_cast<DriveStatusBar*>(Window().DriveStatus());
  ASSERT_NE(bar, nullptr);
  auto* settings = Window().ConnectionPages()[0];
  bar->takePoll(DriveStatusPoll{});  // a poll that read nothing
  EXPECT_TRUE(bar->isStale());
  EXPECT_FALSE(settings->isEnabled());
  DriveStatusPoll answer;
  answer.ok = true;
  bar->takePoll(answer);
  EXPECT_TRUE(settings->isEnabled());
}

// The Settings page's idle row holds two values between three labels ("Reduce idle current after",
// "ms to", "%"): each note names its own value, not its neighbour's labels.
TEST_F(FeedbackWindowTest, AValueBesideAnotherIsNamedInItsNote) {
  PutDrive(1);
  ASSERT_TRUE(Window().OpenPort(1));
  Window().StopWatcher();
  auto* settings = Window().ConnectionPages()[0];
  Window().Sheet()->setCurrentWidget(settings);
  const struct {
    int id;
    const char* typed;
    const char* note;
  } cases[] = {
      {CSettingsPropertyPage::kIdIdleDelay, "700",
       "Settings: Reduce idle current after 700 ms written to the drive"},
      {CSettingsPropertyPage::kIdIdleLevel, "60",
       "Settings: Reduce idle current to 60 % written to the drive"},
  };
  for (const auto& c : cases) {
    auto* field = settings->findChild<QLineEdit*>(QString::number(c.id));
    ASSERT_NE(field, nullptr);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, c.typed);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(Window().StatusNote(), c.note);
  }
  // So is an output's current, whose row is labelled with the output alone.
  auto* outputs = Window().ConnectionPages()[2];
  Window().Sheet()->setCurrentWidget(outputs);
  auto* current = outputs->findChild<QComboBox*>(QString::number(COutputsPropertyPage::kIdCurrent[3]));
  ASSERT_NE(current, nullptr);
  emit current->activated(3);
  EXPECT_EQ(Window().StatusNote(), "Outputs: DA4 max. current 30 mA written to the drive");
}

struct NoteCase {
  const char* caption;
  const char* value;
  const char* unit;
  Language language;
  const char* note;
};

class WrittenNote : public testing::GuiTest, public ::testing::WithParamInterface<NoteCase> {
 protected:
  void TearDown() override { SetLanguage(Language::English); }
};

TEST_P(WrittenNote, SaysWhatWentToTheDrive) {
  const NoteCase c = GetParam();
  SetLanguage(c.language);
  EXPECT_EQ(WrittenNoteText(c.caption, c.value, c.unit), QString::fromUtf8(c.note));
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, WrittenNote,
                         ::testing::Values(NoteCase{"Motor current", "1500", "mA", Language::English,
                                                    "Motor current: 1500 mA written to the drive"},
                                           NoteCase{"Motorstrom", "1500", "mA", Language::German,
                                                    "Motorstrom: 1500 mA in den Antrieb geschrieben"},
                                           NoteCase{"Method", "Actual position ", "", Language::English,
                                                    "Method: Actual position written to the drive"},
                                           NoteCase{"", "7", "", Language::English, "7 written to the drive"},
                                           NoteCase{"", "7", "", Language::German,
                                                    "7 in den Antrieb geschrieben"}));

TEST(StatusNotes, StoreSaveAndLoadInBothLanguages) {
  const struct {
    int id;
    const char* german;
    const char* english;
  } notes[] = {{42612, "Parameter im Antrieb gespeichert", "Parameters stored in the drive"},
               {42613, "Gespeichert in %1", "Saved to %1"},
               {42614, "%1 Datens\xC3\xA4tze geladen", "%1 records loaded"}};
  for (const auto& note : notes) {
    EXPECT_STREQ(Text(note.id, Language::German), note.german);
    EXPECT_STREQ(Text(note.id, Language::English), note.english);
  }
}

// The homing run shows on the Homing page and in the status bar's profile pane, from the drive's
// statusword in the homing mode; a profile run afterwards shows the profile state again.
TEST_F(FeedbackWindowTest, HomingShowsOnItsPageAndInTheStatusBar) {
  auto drive = PutDrive(1);
  ASSERT_TRUE(Window().OpenPort(1));
  Window().StopWatcher();
  drive->advanceMs(1000);  // past the firmware's start-up
  auto* bar = qobject_cast<DriveStatusBar*>(Window().DriveStatus());
  ASSERT_NE(bar, nullptr);
  bar->stopPolling();  // the test polls itself
  auto* homing = static_cast<CReferenzfahrtPropertyPage*>(Window().ConnectionPages()[4]);

  ASSERT_TRUE(bar->pollOnce());
  EXPECT_EQ(homing->HomingStateShown(), "") << "the drive is in the profile mode";
  ASSERT_TRUE(WriteObject(0x6098, 0, 1, 17));
  homing->OnStart();
  drive->advanceMs(100);
  ASSERT_TRUE(bar->pollOnce());
  EXPECT_EQ(bar->paneText(kPaneProfile), "Homing running");
  EXPECT_EQ(homing->HomingStateShown(), "Homing running");
  // The status panel's profile line agrees with the status bar.
  CStatusDialog* panel = Window().StatusDialog();
  ASSERT_NE(panel, nullptr);
  panel->SetDriveIdentified(true);
  ASSERT_TRUE(panel->Tick());
  const QLabel* panelProfile = panel->findChild<QLabel*>(QStringLiteral("1149"));
  ASSERT_NE(panelProfile, nullptr);
  EXPECT_EQ(panelProfile->text(), "Homing running");

  for (int i = 0; i < 6000 && bar->homingState() == HomingState::Running; ++i) {
    drive->advanceMs(50);
    ASSERT_TRUE(bar->pollOnce());
  }
  EXPECT_EQ(bar->paneText(kPaneProfile), "Homing finished");
  EXPECT_EQ(homing->HomingStateShown(), "Homing finished");

  // The mode changed without a run: the statusword need not change, the regular look at the mode
  // finds it within a second of polls.
  ASSERT_TRUE(WriteObject(0x6060, 0, 1, 0xFF));
  for (int i = 0; i < DriveStatusBar::kModeRecheckPolls; ++i) ASSERT_TRUE(bar->pollOnce());
  EXPECT_EQ(bar->homingState(), std::nullopt) << "the profile mode again";
  EXPECT_EQ(homing->HomingStateShown(), "");
}

// ---- Where the status panel opens ------------------------------------------------------------

struct PlacementCase {
  const char* name;
  QRect main;  // the main window's frame
  QRect screen;
  bool roomBeside;  // whether the panel can stand clear of the main window
};

class PanelPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PanelPlacement, BesideTheWindowOnItsScreenNeverOverTheMenu) {
  const PlacementCase c = GetParam();
  const QSize panel(420, 330);
  const QRect menu(c.main.x(), c.main.y() + 24, c.main.width(), 22);  // below the title bar
  const QRect placed(PanelPositionBeside(c.main, menu, panel, c.screen), panel);
  EXPECT_TRUE(c.screen.contains(placed)) << "on the main window's screen, whole";
  EXPECT_FALSE(placed.intersects(menu)) << "the menu stays usable";
  if (c.roomBeside) {
    EXPECT_FALSE(placed.intersects(c.main)) << "beside, not over the window";
  } else {
    // Over the window only as far as it must: at the screen's edge on the side with more room.
    EXPECT_TRUE(placed.left() == c.screen.left() || placed.right() == c.screen.right());
  }
}

const QRect kScreen(0, 0, 1280, 900);
const QRect kSecondScreen(1280, 0, 1920, 1080);
const QRect kWideScreen(0, 0, 1920, 1080);

INSTANTIATE_TEST_SUITE_P(
    EachScreenEdge, PanelPlacement,
    ::testing::Values(PlacementCase{"Centre", QRect(600, 290, 720, 500), kWideScreen, true},
                      PlacementCase{"CentreOfASmallScreen", QRect(280, 200, 720, 500), kScreen, false},
                      PlacementCase{"LeftEdge", QRect(0, 100, 720, 500), kScreen, true},
                      PlacementCase{"RightEdge", QRect(560, 100, 720, 500), kScreen, true},
                      PlacementCase{"TopEdge", QRect(280, 0, 720, 500), kScreen, true},
                      PlacementCase{"BottomEdge", QRect(280, 400, 720, 500), kScreen, true},
                      PlacementCase{"TopLeftCorner", QRect(0, 0, 900, 500), kScreen, true},
                      PlacementCase{"BottomRightCorner", QRect(380, 400, 900, 500), kScreen, false},
                      PlacementCase{"Maximised", kScreen, kScreen, false},
                      PlacementCase{"SecondScreen", QRect(1280 + 1200, 300, 720, 500), kSecondScreen, true},
                      PlacementCase{"SecondScreenMaximised", kSecondScreen, kSecondScreen, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A panel that grew after it was placed comes back onto its screen with the least move.
TEST(PanelKeptOnScreen, AGrownPanelComesBackWithTheLeastMove) {
  const struct {
    QRect frame;
    QRect screen;
    QPoint kept;
  } cases[] = {
      {QRect(860, 240, 440, 330), kScreen, QPoint(840, 240)},          // over the right edge
      {QRect(900, 700, 440, 330), kScreen, QPoint(840, 570)},          // over the bottom right corner
      {QRect(-10, 100, 440, 330), kScreen, QPoint(0, 100)},            // over the left edge
      {QRect(500, 100, 440, 330), kScreen, QPoint(500, 100)},          // inside: not moved
      {QRect(2900, 100, 440, 330), kSecondScreen, QPoint(2760, 100)},  // the second screen's edge
      {QRect(100, 100, 1400, 330), kScreen, QPoint(0, 100)},           // wider than the screen
  };
  for (const auto& c : cases) EXPECT_EQ(PositionKeptOnScreen(c.frame, c.screen), c.kept) << c.frame.x();
}

// The panel itself (offscreen platform, geometry only): beside the main window, and its labels and
// buttons in the window's language.
TEST(StatusPanelWindow, OpensBesideTheMainWindowInItsLanguage) {
  testing::EnsureApplication();
  for (Language language : {Language::English, Language::German}) {
    SetLanguage(language);
    QMainWindow main;
    main.menuBar()->addMenu(QStringLiteral("File"));
    // At the right edge of the screen: the panel goes to the left of the window.
    const QRect screen = main.screen()->availableGeometry();
    main.setGeometry(screen.right() - 340, screen.top() + 100, 340, 300);
    main.show();
    CStatusDialog panel(&main);
    panel.ShowBeside(&main);
    EXPECT_FALSE(panel.frameGeometry().intersects(main.frameGeometry()));
    EXPECT_LE(panel.frameGeometry().right(), main.frameGeometry().left());
    EXPECT_TRUE(screen.contains(panel.frameGeometry()));
    // The first readings widen it: it is placed beside the window again, not grown over it.
    panel.findChild<QLabel*>(QStringLiteral("1149"))->setText(QString(60, QLatin1Char('W')));
    QCoreApplication::processEvents();
    EXPECT_FALSE(panel.frameGeometry().intersects(main.frameGeometry()));
    EXPECT_TRUE(screen.contains(panel.frameGeometry()));
    panel.findChild<QLabel*>(QStringLiteral("1149"))->setText({});
    QStringList words;
    for (const QLabel* label : panel.findChildren<QLabel*>()) words << label->text();
    for (const QPushButton* button : panel.findChildren<QPushButton*>()) words << button->text();
    const bool german = language == Language::German;
    EXPECT_EQ(words.contains("Motorposition:"), german);
    EXPECT_EQ(words.contains("Motor position:"), !german);
    EXPECT_EQ(words.contains(QString::fromUtf8("Fehler l\xC3\xB6schen")), german);
    EXPECT_EQ(words.contains("Reset Fault"), !german);
    EXPECT_EQ(words.contains("Referenziert"), german);
    EXPECT_EQ(words.contains("Referenced"), !german);
  }
  SetLanguage(Language::English);
}

}  // namespace
}  // namespace axtune
