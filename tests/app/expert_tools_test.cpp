// The user dialog with "name.dat" and the expert mode, the user command's debug pages, and the help
// commands of the main window, against simulated drives.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "app/axtune_dlg.h"
#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/context_help.h"
#include "app/help_manual.h"
#include "app/status_dialog.h"
#include "controls/axtune_property_page.h"
#include "pages/debug_property_page.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"
#include "ui/benutzer_dialog.h"

namespace axtune {
namespace {

using testing::EnsureApplication;
using testing::UiRecorder;

// Runs `fill` on the user dialog as soon as it is open (it runs modally), then presses its button.
void AnswerUserDialog(const QString& name, const QString& company, const char* button = "1") {
  QTimer::singleShot(0, [=] {
    auto* dialog = qobject_cast<CBenutzerDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit*>("1135")->setText(name);
    dialog->findChild<QLineEdit*>("1136")->setText(company);
    dialog->findChild<QPushButton*>(button)->click();
    // A refused OK leaves the dialog open: close it so that the test goes on.
    if (dialog->isVisible()) dialog->reject();
  });
}

class ExpertToolsTest : public ::testing::Test {
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
    sim::unregisterSimulatedDrive("sim:expert-com1");
    testing::RestorePortSlots();
    QDir::setCurrent(previousDir_);
    CloseLink();
  }

  void PutDrive() {
    drive_ = sim::registerSimulatedDrive("sim:expert-com1", sim::SimConfig::unitTest());
    SetPortSlotOverride(1, "sim:expert-com1");
  }
  CAxtuneDlg& Window() {
    if (!window_) {
      window_ = std::make_unique<CAxtuneDlg>();
      window_->SetUrlOpener([this](const QString& url) {
        urls_ << url;
        return openerWorks_;
      });
      window_->show();
    }
    return *window_;
  }
  QStringList Tabs() {
    QStringList titles;
    for (int i = 0; i < Window().Sheet()->count(); ++i) titles << Window().Sheet()->tabText(i);
    return titles;
  }
  QByteArray NameDat() const {
    QFile file(dir_.filePath("name.dat"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  void WriteNameDat(const QByteArray& bytes) {
    QFile file(dir_.filePath("name.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  UiRecorder ui_;
  QTemporaryDir dir_;
  QString previousDir_;
  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<CAxtuneDlg> window_;
  QStringList urls_;
  bool openerWorks_ = true;
  const QStringList kConnectedTabs{"Drive", "Settings", "Inputs", "Outputs", "Profiles", "Homing"};
};

TEST_F(ExpertToolsTest, UserDialogSavesNameDatAndTheExpertCodeSwitchesTheDebugPages) {
  PutDrive();
  ASSERT_TRUE(Window().OpenPort(1));
  EXPECT_EQ(Tabs(), kConnectedTabs);

  AnswerUserDialog("Hans", "Orvane{Wartung}");
  Window().OnCommand(kCommandUser);
  EXPECT_EQ(NameDat(), QByteArray("Hans\0Orvane{Wartung}\0", 21));
  EXPECT_EQ(Tabs(), kConnectedTabs + QStringList({"Debug", "Debug 2"})) << "appended after Homing";
  EXPECT_EQ(Window().UserDialog()->Company(), "Orvane") << "shown without the code";
  EXPECT_EQ(Window().UserDialog()->Name(), "Hans");

  // Reopened, the dialog shows the company without the code; OK without typing it again turns the
  // expert mode off.
  QString shownCompany;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CBenutzerDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    shownCompany = dialog->findChild<QLineEdit*>("1136")->text();
    dialog->findChild<QPushButton*>("1")->click();
  });
  Window().OnCommand(kCommandUser);
  EXPECT_EQ(shownCompany, "Orvane");
  EXPECT_EQ(NameDat(), QByteArray("Hans\0Orvane\0", 12));
  EXPECT_EQ(Tabs(), kConnectedTabs);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ExpertToolsTest, CancelWritesNothingAndRestoresFromTheFile) {
  WriteNameDat(QByteArray("Erna\0{Wartung}Orvane\0", 21));
  AnswerUserDialog("Jemand", "Anders", "2");
  Window().OnCommand(kCommandUser);
  EXPECT_EQ(NameDat(), QByteArray("Erna\0{Wartung}Orvane\0", 21));
  EXPECT_EQ(Window().UserDialog()->Name(), "Erna");
  EXPECT_EQ(Window().UserDialog()->Company(), "") << "cut at the code that stands first";
  // No drive: the sheet holds the General page, and the debug pages come with the expert mode.
  EXPECT_EQ(Tabs(), QStringList({"Drive", "Debug", "Debug 2"}));
}

TEST_F(ExpertToolsTest, DriveFoundAfterTheExpertModeGetsAllPagesAndThePanel) {
  AnswerUserDialog("Hans", "Orvane{Wartung}");
  Window().OnCommand(kCommandUser);
  EXPECT_EQ(Tabs(), QStringList({"Drive", "Debug", "Debug 2"}));
  EXPECT_FALSE(Window().StatusDialog()->isVisible());

  PutDrive();
  ASSERT_TRUE(Window().OpenPort(1));
  EXPECT_EQ(Tabs(), kConnectedTabs + QStringList({"Debug", "Debug 2"}))
      << "the connection pages are not left out, and the debug pages follow them";
  EXPECT_TRUE(Window().StatusDialog()->isVisible()) << "identified in expert mode";
  const QRect menu(Window().menuBar()->mapToGlobal(QPoint(0, 0)), Window().menuBar()->size());
  EXPECT_FALSE(Window().StatusDialog()->frameGeometry().intersects(menu)) << "never over the menu";
  EXPECT_TRUE(Window().StatusDialog()->IsPolling());
  Window().StatusDialog()->close();
  EXPECT_FALSE(Window().StatusDialog()->IsPolling());
  // Closed, it comes back from the menu.
  QAction* again = Window().CommandAction(kCommandStatusPanel);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->isVisible()) << "expert mode";
  again->trigger();
  EXPECT_TRUE(Window().StatusDialog()->isVisible());
  EXPECT_TRUE(Window().StatusDialog()->IsPolling());
}

TEST_F(ExpertToolsTest, LowerCaseMakerWordLeavesTheExpertModeOff) {
  AnswerUserDialog("Hans", "orvane{Wartung}");
  Window().OnCommand(kCommandUser);
  EXPECT_EQ(Tabs(), QStringList({"Drive"}));
  EXPECT_EQ(Window().UserDialog()->Company(), "orvane{Wartung}");
  EXPECT_FALSE(Window().CommandAction(kCommandStatusPanel)->isVisible())
      << "the panel's entry is for experts";
}

TEST_F(ExpertToolsTest, TooLongEntriesAreRefusedAndTwoFullEntriesComeBackWhole) {
  const QString thirty = QString(29, 'n') + "N";
  const QString company = QString(29, 'c') + "C";
  AnswerUserDialog(thirty + "x", company);
  Window().OnCommand(kCommandUser);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0], "Please enter no more than 30 characters.");
  EXPECT_EQ(NameDat(), "<missing>") << "nothing written";

  AnswerUserDialog(thirty, company);
  Window().OnCommand(kCommandUser);
  EXPECT_EQ(NameDat().size(), 62);
  Window().UserDialog()->SetCompany("");
  EXPECT_FALSE(Window().UserDialog()->LoadAndCheck());
  EXPECT_EQ(Window().UserDialog()->Name(), thirty);
  EXPECT_EQ(Window().UserDialog()->Company(), company) << "the company keeps its last character";

  SetLanguage(Language::German);
  AnswerUserDialog("a", company + "y");
  Window().OnCommand(kCommandUser);
  EXPECT_EQ(ui_.messages.back(), "Geben Sie nicht mehr als 30 Zeichen ein.");
}

TEST_F(ExpertToolsTest, UnwritableNameDatIsReportedAndTheDialogStaysOpen) {
  QDir(dir_.path()).mkdir("name.dat");  // a directory where the file should be
  CBenutzerDialog dialog;
  dialog.show();
  dialog.findChild<QLineEdit*>("1135")->setText("Hans");
  dialog.findChild<QPushButton*>("1")->click();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].startsWith("Name and company were not saved")) << ui_.messages[0].toStdString();
  EXPECT_TRUE(ui_.messages[0].contains(dialog.FilePath()));
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(ExpertToolsTest, FileWithoutZeroByteIsAllName) {
  WriteNameDat("Nur ein Name");
  CBenutzerDialog dialog;
  dialog.SetCompany("vorher");
  EXPECT_FALSE(dialog.LoadAndCheck());
  EXPECT_EQ(dialog.Name(), "Nur ein Name");
  EXPECT_EQ(dialog.Company(), "");
  EXPECT_EQ(dialog.Directory(), QDir::currentPath()) << "the start-up working directory";
}

TEST_F(ExpertToolsTest, HelpHomepageAndFeedbackHandTheirAddresses) {
  Window().OnCommand(kCommandHelpTopics);
  ASSERT_EQ(urls_.size(), 1);
  EXPECT_TRUE(urls_[0].startsWith("file://")) << urls_[0].toStdString();
  EXPECT_TRUE(urls_[0].endsWith("/help/en/index.html#topic-3")) << urls_[0].toStdString();
  SetLanguage(Language::German);
  Window().OnCommand(kCommandHelpTopics);
  EXPECT_TRUE(urls_[1].endsWith("/help/de/index.html#topic-3")) << urls_[1].toStdString();

  Window().OnCommand(kCommandHomepage);
  EXPECT_EQ(urls_[2], "http://www.orvane.de");
  Window().OnCommand(kCommandFeedback);
  EXPECT_EQ(urls_[3],
            "mailto:support@orvane.de?subject=Axtune:&body=%0A%0AAxtune Version:%0AFirmware Version:");
  EXPECT_TRUE(ui_.messages.empty());

  // Without a browser the user still learns the address.
  openerWorks_ = false;
  Window().OnCommand(kCommandHomepage);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].contains("http://www.orvane.de"));

  // Nor is the manual left at "could not be opened": the message names the file and what to do.
  Window().OnCommand(kCommandHelpTopics);
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_TRUE(ui_.messages[1].contains("/help/de/index.html#topic-3")) << ui_.messages[1].toStdString();
  EXPECT_TRUE(ui_.messages[1].contains("Browser")) << ui_.messages[1].toStdString();
}

// The text of the manual's section `topic`, up to the next heading, with its line breaks as blanks.
QString ManualSection(const QString& html, const QString& topic) {
  const qsizetype start = html.indexOf(QStringLiteral("id=\"%1\"").arg(topic));
  if (start < 0) return {};
  qsizetype end = html.size();
  for (const char* heading : {"<h2", "<h3"}) {
    const qsizetype next = html.indexOf(QLatin1String(heading), start);
    if (next >= 0) end = std::min(end, next);
  }
  return html.mid(start, end - start).simplified();
}

TEST_F(ExpertToolsTest, TheManualNamesTheFieldsAndUnitsOfTheParameterPages) {
  struct Section {
    const char* topic;
    std::vector<int> texts;
  };
  const Section sections[] = {
      {"page-149",
       {44174, 44674, 44149, 44252, 44752, 44175, 44251, 44751, 44176, 44676, 44177, 44677, 44265, 44266,
        44106, 44108}},
      {"page-164", {44281, 44282, 32806, 32790, 32791, 32798, 32799, 32805, 32807, 44263, 44264, 44237}},
      {"page-165", {123, 124, 125, 126, 44273, 44274, 44290, 44291, 44292, 44293}},
      {"page-150",
       {47000, 57671, 57672, 47242, 47225, 47226, 47001, 47241, 47262, 47263, 47109, 47002, 47003, 47004,
        47230, 47005, 32785, 32786}},
      {"page-151", {48000, 47001, 47241, 47262, 47263, 47109, 48002, 47242, 48003, 48004, 48258}},
  };
  for (Language language : {Language::German, Language::English}) {
    QFile file(FindManual(language));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QString html = QString::fromUtf8(file.readAll());
    for (const Section& section : sections) {
      const QString text = ManualSection(html, QString::fromLatin1(section.topic));
      ASSERT_FALSE(text.isEmpty()) << section.topic;
      for (int id : section.texts) {
        const QString label = QString::fromUtf8(Text(id, language));
        EXPECT_TRUE(text.contains(label)) << file.fileName().toStdString() << " " << section.topic
                                          << " lacks \"" << label.toStdString() << "\"";
      }
    }
    // The enable-inversion box is never shown, so the manual does not send anyone looking for it.
    EXPECT_FALSE(html.contains(QString::fromUtf8(Text(44107, language)))) << file.fileName().toStdString();
  }
}

TEST_F(ExpertToolsTest, TheManualHasEveryTopicTheProgramOpens) {
  for (Language language : {Language::German, Language::English}) {
    QFile file(FindManual(language));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QString html = QString::fromUtf8(file.readAll());
    for (const char* topic : {"topic-3", "page-102", "page-145", "page-149", "page-164", "page-165",
                              "page-150", "page-151", "page-109", "page-144", "page-163"}) {
      EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(topic)))
          << file.fileName().toStdString() << " " << topic;
    }
  }
}

TEST_F(ExpertToolsTest, EveryControlOfTheExpertWindowsExplainsItselfInBothLanguages) {
  for (Language language : {Language::German, Language::English}) {
    SetLanguage(language);
    CAxtuneDlg window;
    CDebugPropertyPage debug;
    const QList<QWidget*> windows = {window.StatusDialog(), window.UserDialog(), &debug};
    for (QWidget* top : windows) {
      ASSERT_FALSE(top->whatsThis().isEmpty()) << top->objectName().toStdString();
      for (QWidget* control : top->findChildren<QWidget*>()) {
        const bool isControl = qobject_cast<QLabel*>(control) || qobject_cast<QLineEdit*>(control) ||
                               qobject_cast<QAbstractButton*>(control) ||
                               qobject_cast<QProgressBar*>(control);
        if (!isControl || !control->isVisibleTo(top)) continue;
        // Labels of the debug page's word edits share the page's text; every other control has its own.
        if (top == &debug && qobject_cast<QLabel*>(control)) continue;
        if (top == window.UserDialog() && qobject_cast<QLabel*>(control)) continue;
        if (top == window.UserDialog() && qobject_cast<QAbstractButton*>(control)) continue;
        EXPECT_FALSE(control->whatsThis().isEmpty())
            << top->objectName().toStdString() << " " << control->objectName().toStdString() << " "
            << control->metaObject()->className();
      }
    }
  }
}

TEST_F(ExpertToolsTest, ShiftF1OnAPageControlOpensTheManualAtThatPage) {
  PutDrive();
  ASSERT_TRUE(Window().OpenPort(1));
  CAxtunePropertyPage* settings = Window().ConnectionPages()[0];
  Window().Sheet()->SetActivePage(settings);
  auto* control = new QWidget(settings);  // any control of the page, with no text of its own
  EXPECT_EQ(ContextHelpTopic(control), "page-149");
  EXPECT_EQ(ContextHelpTopic(Window().Sheet()->tabBar()), "page-149") << "the tab bar: the current page";
  EXPECT_EQ(ContextHelpTopic(Window().menuBar()), "page-102");

  // The What's This request that no control took reaches the window and opens the manual.
  QHelpEvent help(QEvent::WhatsThis, QPoint(1, 1), control->mapToGlobal(QPoint(1, 1)));
  QApplication::sendEvent(control, &help);
  ASSERT_FALSE(urls_.isEmpty());
  EXPECT_TRUE(urls_.last().endsWith("#page-149") || urls_.last().endsWith("#page-102"))
      << urls_.last().toStdString();
}

}  // namespace
}  // namespace axtune
