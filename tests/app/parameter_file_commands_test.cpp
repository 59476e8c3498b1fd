// Save, Load and Save Changes in the main window against the simulated drive: what goes into the file,
// what goes to the drive and in which order, what the user is told, and the menu state afterwards.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QEvent>
#include <QMenuBar>
#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>

#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/drive_status_hooks.h"
#include "app/progress_dialog.h"
#include "app/worker_job.h"
#include "core/drive_identity.h"
#include "core/parameter_file.h"
#include "link/object_access.h"
#include "pages/drive_property_page.h"
#include "tests/app/drive_work_fixture.h"
#include "tests/support/reply_styles.h"
#include "ui/benutzer_dialog.h"

namespace axtune {
namespace {

using testing::DriveWorkTest;
using Entries = std::vector<std::string>;

std::vector<uint8_t> FileBytes(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const QString& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

sim::SimConfig DriveWithRecords(int count) {
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.recordCount = count;
  return config;
}

using ParameterFileCommandTest = DriveWorkTest;

TEST_F(ParameterFileCommandTest, SaveWritesTheCoresFileAndAsksForTheNameWhenItIsEmpty) {
  CAxtuneDlg& window = Connect();
  // No "name.dat" yet: the name is empty until the user dialog has been shown.
  int userDialogs = 0;
  window.SetUserDialogShow([&] {
    ++userDialogs;
    window.UserDialog()->SetName(QStringLiteral("Technician"));
    window.UserDialog()->SetCompany(QStringLiteral("Orvane"));
  });
  parameterPath = Path("commissioned");  // typed without an extension

  window.CommandAction(kCommandSaveParameters)->trigger();

  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().toStdString();
  EXPECT_EQ(choices, std::vector<FileChoice>{FileChoice::SaveParameters});
  EXPECT_EQ(userDialogs, 1);
  // Every record read in order, the file dialog only after them.
  Entries reads;
  for (int r = 0; r < 65; ++r) reads.push_back("read " + std::to_string(r));
  Entries logged = Frames();
  logged.erase(
      std::remove_if(logged.begin(), logged.end(),
                     [](const std::string& e) { return e == "read 129" || e == "read 131" || e == "cmd 8"; }),
      logged.end());
  EXPECT_EQ(logged, reads);

  const QString saved = Path("commissioned.qmx");
  std::vector<RecordWords> records(65);
  for (int r = 0; r < 65; ++r) ASSERT_TRUE(drive->record(r, records[static_cast<size_t>(r)]));
  const ParameterFileTrailer trailer{AbsoluteFilePath(saved.toStdString()),
                                     FormatSaveDate(std::time(nullptr)), "Technician", "Orvane"};
  EXPECT_EQ(FileBytes(saved), BuildParameterFile(records, trailer));
  EXPECT_EQ(window.StatusNote(), "Saved to " + QDir::toNativeSeparators(saved)) << "said without a box";

  // The drive is watched and polled again.
  EXPECT_TRUE(window.WatcherRunning());
  if (window.DriveStatus() != nullptr) {
    EXPECT_TRUE(IsDriveStatusPolling(window.DriveStatus()));
  }
  EXPECT_FALSE(window.IsModified()) << "saving a file changes nothing in the drive";

  // With a name the user dialog stays closed; a cancelled file dialog writes nothing.
  parameterPath.clear();
  window.CommandAction(kCommandSaveParameters)->trigger();
  EXPECT_EQ(userDialogs, 1);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ParameterFileCommandTest, SaveWithAnUnreadableRecordSays119AndAsksForNoFile) {
  CAxtuneDlg& window = Connect();
  // The drive answers record 64 but not record 65: a count one too high meets an unknown record.
  SetRecordCount(66);
  parameterPath = Path("never.qmx");
  window.OnCommand(kCommandSaveParameters);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Cannot read data.\nChanges not saved.");
  EXPECT_TRUE(choices.empty()) << "the file dialog is not shown";
  EXPECT_FALSE(QFile::exists(parameterPath));
  EXPECT_EQ(Frames().back(), "read 65") << "the reads stop at the first failure";
}

TEST_F(ParameterFileCommandTest, SaveThatCannotWriteKeepsTheOldFileAndSaysWhy) {
  CAxtuneDlg& window = Connect();
  parameterPath = Path("missing-folder/params.qmx");
  window.OnCommand(kCommandSaveParameters);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].startsWith("The file was not written: ")) << ui.messages[0].toStdString();
  EXPECT_TRUE(ui.messages[0].contains("missing-folder")) << ui.messages[0].toStdString();
  EXPECT_EQ(window.StatusNote(), "") << "nothing was saved, so no note says it was";
}

TEST_F(ParameterFileCommandTest, LoadSendsRecordsTwoToCountThenEndOfLoadAndMarksAChange) {
  CAxtuneDlg& window = Connect(DriveWithRecords(20));
  // A file saved from a 20-record drive whose record n holds n in every word.
  std::vector<RecordWords> records(20);
  for (int r = 0; r < 20; ++r) records[static_cast<size_t>(r)].fill(static_cast<uint16_t>(r));
  parameterPath = Path("twenty.qmx");
  WriteBytes(parameterPath, BuildParameterFile(records, {"C:\\twenty.qmx", "01.02.2026", "A", "B"}));
  // The Settings page is the active page: it reads record 2 again once the records are in.
  window.Sheet()->SetActivePage(1);
  log.clear();
  ui.clear();

  window.CommandAction(kCommandLoadParameters)->trigger();

  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().toStdString();
  EXPECT_EQ(choices, std::vector<FileChoice>{FileChoice::LoadParameters});
  Entries expected;
  for (int r = 2; r < 20; ++r) {
    expected.push_back("write " + std::to_string(r));
    expected.push_back("read " + std::to_string(r));  // what the drive holds, read back
  }
  expected.push_back("read 2");  // the active page re-reads its record (and its objects, left out here)
  expected.push_back("cmd 4");   // end of load
  std::vector<std::string> frames = Frames();
  frames.erase(std::remove(frames.begin(), frames.end(), "cmd 8"), frames.end());
  // Before anything is sent, the preview read the drive to count what the file changes, and asked.
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_TRUE(ui.questions[0].startsWith("File: ")) << ui.questions[0].toStdString();
  EXPECT_TRUE(ui.questions[0].contains("Saved from a drive with 20 records, on 01.02.2026 by A (B)"))
      << ui.questions[0].toStdString();
  const auto firstWrite = std::find(frames.begin(), frames.end(), "write 2");
  EXPECT_TRUE(
      std::all_of(frames.begin(), firstWrite, [](const std::string& f) { return f.rfind("read ", 0) == 0; }));
  frames.erase(frames.begin(), firstWrite);
  EXPECT_EQ(frames, expected);
  RecordWords words{};
  ASSERT_TRUE(drive->record(19, words));
  EXPECT_EQ(words[14], 19);
  ASSERT_TRUE(drive->record(1, words));
  EXPECT_NE(words[0], 1) << "records 0 and 1 are never sent";
  EXPECT_EQ(ui.countPauses(100), 20) << "the drive's 2 s, in slices that Cancel can cut short";
  EXPECT_EQ(window.StatusNote(), "18 records loaded");

  EXPECT_TRUE(window.CommandAction(kCommandStoreParameters)->isEnabled());
  EXPECT_TRUE(window.IsCommandDefault(kCommandStoreParameters));
  EXPECT_TRUE(window.WatcherRunning());
}

TEST_F(ParameterFileCommandTest, LoadRefusalsStillEndTheLoad) {
  CAxtuneDlg& window = Connect(DriveWithRecords(20));
  std::vector<RecordWords> records(20);

  // A wrong identification: text 120, nothing but the end-of-load command, no change.
  std::vector<uint8_t> bytes = BuildParameterFile(records, {"p", "01.02.2026", "", ""});
  bytes[7] = '1';  // "LWB V2.1"
  parameterPath = Path("other-version.qmx");
  WriteBytes(parameterPath, bytes);
  window.OnCommand(kCommandLoadParameters);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Unkown file format");
  EXPECT_EQ(Frames(), Entries{"cmd 4"});
  EXPECT_FALSE(window.IsModified());

  // A file of another drive type is refused before anything is sent; it still counts as a load.
  std::vector<RecordWords> more(65);
  parameterPath = Path("bigger-drive.qmx");
  WriteBytes(parameterPath, BuildParameterFile(more, {"C:\\big.qmx", "01.02.2026", "", ""}));
  log.clear();
  ui.clear();
  window.OnCommand(kCommandLoadParameters);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].contains("65 records; this drive has 20")) << ui.messages[0].toStdString();
  EXPECT_EQ(Frames(), Entries{"cmd 4"});
  EXPECT_TRUE(window.IsModified());

  // A cancelled dialog sends nothing at all.
  parameterPath.clear();
  log.clear();
  window.OnCommand(kCommandLoadParameters);
  EXPECT_TRUE(Frames().empty());
}

class LoadStylesTest : public DriveWorkTest, public ::testing::WithParamInterface<test::SimReplyStyle> {};

TEST_P(LoadStylesTest, AClampedValueIsTakenAndTheDifferenceShownAfterTheLoad) {
  CAxtuneDlg& window = Connect(test::WithReplyStyle(DriveWithRecords(20), GetParam()));
  std::vector<RecordWords> records(20);
  for (int r = 0; r < 20; ++r) ASSERT_TRUE(drive->record(r, records[static_cast<size_t>(r)]));
  records[2][2] = 20000;  // idle-current level above 100 %: the drive keeps 16383
  parameterPath = Path("limited.dmd");
  WriteBytes(parameterPath, BuildParameterFile(records, {"D:\\Anlagen\\limited.dmd", "7.12.2026", "", ""}));

  window.OnCommand(kCommandLoadParameters);

  RecordWords words{};
  ASSERT_TRUE(drive->record(2, words));
  EXPECT_EQ(words[2], 16383);
  const Entries frames = Frames();
  EXPECT_EQ(std::count(frames.begin(), frames.end(), "write 2"), 1) << "not sent again";
  EXPECT_TRUE(window.IsModified());
  // The read-back tells, whatever the reply's words held.
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].startsWith("The drive holds one value other than the file's"))
      << ui.messages[0].toStdString();
  EXPECT_TRUE(
      ui.messages[0].contains("Record 2, word 2 (Reduce idle current to, %): file 20000, drive 16383"))
      << ui.messages[0].toStdString();
}

TEST_P(LoadStylesTest, CancelStopsBeforeTheNextRecordAndSaysHowManyTheDriveTook) {
  CAxtuneDlg& window = Connect(test::WithReplyStyle(DriveWithRecords(20), GetParam()));
  std::vector<RecordWords> records(20);
  parameterPath = Path("twenty.qmx");
  WriteBytes(parameterPath, BuildParameterFile(records, {"C:\\twenty.qmx", "01.02.2026", "A", "B"}));
  // Cancel is pressed while record 6 goes out.
  log.onAdd = [&window](const std::string& entry) {
    if (entry != "write 6") return;
    RunOnGui(&window, [&window] {
      auto* dialog = window.findChild<CProgressDialog*>();
      ASSERT_NE(dialog, nullptr);
      auto* cancel = dialog->findChild<QAbstractButton*>(CProgressDialog::kCancelId);
      ASSERT_NE(cancel, nullptr);
      cancel->click();
    });
  };
  window.OnCommand(kCommandLoadParameters);
  log.onAdd = nullptr;

  Entries expected;
  for (int r = 2; r <= 6; ++r) expected.push_back("write " + std::to_string(r));
  Entries frames = Frames();
  frames.erase(std::remove_if(frames.begin(), frames.end(),
                              [](const std::string& e) { return e.rfind("write", 0) != 0 && e != "cmd 4"; }),
               frames.end());
  expected.push_back("cmd 4");  // the drive still hears that the load is over
  EXPECT_EQ(frames, expected);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].startsWith("Loading was cancelled: the drive took 5 of 18 records"))
      << ui.messages[0].toStdString();
  // The active General page read the drive again after the records, the Cancel notwithstanding.
  auto* general = qobject_cast<CDrivePropertyPage*>(window.Sheet()->GetActivePage());
  ASSERT_NE(general, nullptr);
  EXPECT_EQ(general->DriveTypeText(), "QMX10-BA");
}

INSTANTIATE_TEST_SUITE_P(Drives, LoadStylesTest, ::testing::ValuesIn(test::kSimReplyStyles),
                         test::ReplyStyleName);

// Paints of the menu bar, and the menu's state at the moment of the drive's 2 s pause.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(ParameterFileCommandTest, StoreGreysAndRepaintsBeforeTheWaitOnAnyWholeAnswer) {
  CAxtuneDlg& window = Connect();
  QAction* store = window.CommandAction(kCommandStoreParameters);
  PaintCounter counter;
  window.menuBar()->installEventFilter(&counter);
  int paintsAtWait = -1;
  bool enabledAtWait = true;
  bool firstWindow = true;  // the sleeper looks at the first window's item only while it exists
  ScopedSleeper sleeper([&](int ms) {
    if (ms != 2000 || !firstWindow) return;
    paintsAtWait = counter.paints;
    enabledAtWait = store->isEnabled();
  });

  window.NotifyParameterChanged(2);
  QCoreApplication::processEvents();
  counter.paints = 0;
  store->trigger();
  EXPECT_FALSE(enabledAtWait);
  EXPECT_GE(paintsAtWait, 1) << "the menu bar still showed the bold item during the wait";
  EXPECT_TRUE(ui.messages.empty());

  // What the answer holds is the drive's own: {5, 1} from a drive is a whole answer like {5, 0} or
  // zeros, so the store is taken (only a missing answer keeps the change marked).
  const QString unwritable = Path("no-such-folder/image.bin");
  firstWindow = false;
  CloseLink();
  window.StopWatcher();
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.persistentImagePath = unwritable.toStdString();
  Connect(config);
  window_->NotifyParameterChanged(2);
  window_->OnCommand(kCommandStoreParameters);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().toStdString();
  EXPECT_FALSE(window_->IsModified());
}

// Unstored work is never lost unasked: before a firmware update (it restarts the drive), closing the
// window and a load, "Store the changes in the drive first?" - Store stores and goes on, Discard goes
// on, Cancel stops there. Nothing is asked when everything is stored.
enum class Losing { Update, Close, Load };
enum Answer { kStore = 0, kDiscard = 1, kCancel = 2 };
struct StoreFirstCase {
  const char* name;
  Losing losing;
  int answer;
};

class StoreFirstQuestion : public DriveWorkTest, public ::testing::WithParamInterface<StoreFirstCase> {
 protected:
  // Runs the command; true when it went on past the question.
  bool Run(CAxtuneDlg& window) {
    switch (GetParam().losing) {
      case Losing::Update:
        firmwarePath = Path("missing.out");  // goes on as far as the file's check, which says so
        window.OnCommand(kCommandFirmwareUpdate);
        return !ui.messages.empty();
      case Losing::Close:
        window.findChild<QAction*>(QStringLiteral("quit"))->trigger();
        return !window.isVisible();
      case Losing::Load: {
        std::vector<RecordWords> records(static_cast<size_t>(RecordCount()));
        parameterPath = Path("load.qmx");
        WriteBytes(parameterPath, BuildParameterFile(records, {"C:\\load.qmx", "01.02.2026", "A", "B"}));
        // "Load" in the file's preview, which follows the store question when there is one.
        ui.answers = window.IsModified() ? std::vector<int>{GetParam().answer, 1} : std::vector<int>{1};
        window.OnCommand(kCommandLoadParameters);
        const Entries frames = Frames();
        return std::find(frames.begin(), frames.end(), "write 2") != frames.end();
      }
    }
    return false;
  }
};

TEST_P(StoreFirstQuestion, StoreDiscardOrCancel) {
  CAxtuneDlg& window = Connect();
  window.NotifyParameterChanged(2);
  ASSERT_TRUE(window.IsModified());
  ui.answer = GetParam().answer;
  const bool wentOn = Run(window);
  ASSERT_GE(ui.questions.size(), 1u);
  EXPECT_TRUE(ui.questions[0].endsWith("Store the changes in the drive first?"))
      << ui.questions[0].toStdString();
  const Entries frames = Frames();
  const bool stored = std::find(frames.begin(), frames.end(), "cmd 5") != frames.end();
  EXPECT_EQ(stored, GetParam().answer == kStore);
  EXPECT_EQ(wentOn, GetParam().answer != kCancel);
  EXPECT_EQ(window.IsModified(), GetParam().answer != kStore || GetParam().losing == Losing::Load);
}

TEST_P(StoreFirstQuestion, NothingIsAskedWhenEverythingIsStored) {
  CAxtuneDlg& window = Connect();
  ui.answer = kCancel;
  EXPECT_TRUE(Run(window));
  for (const QString& question : ui.questions) EXPECT_FALSE(question.contains("Store the changes"));
}

INSTANTIATE_TEST_SUITE_P(Losing, StoreFirstQuestion,
                         ::testing::Values(StoreFirstCase{"UpdateStore", Losing::Update, kStore},
                                           StoreFirstCase{"UpdateDiscard", Losing::Update, kDiscard},
                                           StoreFirstCase{"UpdateCancel", Losing::Update, kCancel},
                                           StoreFirstCase{"CloseStore", Losing::Close, kStore},
                                           StoreFirstCase{"CloseDiscard", Losing::Close, kDiscard},
                                           StoreFirstCase{"CloseCancel", Losing::Close, kCancel},
                                           StoreFirstCase{"LoadStore", Losing::Load, kStore},
                                           StoreFirstCase{"LoadDiscard", Losing::Load, kDiscard},
                                           StoreFirstCase{"LoadCancel", Losing::Load, kCancel}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace axtune
