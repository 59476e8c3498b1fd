// The progress window of the long drive work and the update's message boxes: how a report of the
// update lands in the window (phase, section, one bar over both passes, the time left), what Cancel
// and Escape do, and pictures in German and English beside the test program for a person to look at
// ("update-progress-de.png", "update-messages-en.png", ...).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "app/firmware_update_command.h"
#include "app/progress_dialog.h"
#include "app/switch_on_prompt.h"
#include "core/firmware_update.h"
#include "core/update_estimate.h"
#include "res/strings.h"

namespace axtune {
namespace {

const std::string kFirmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";

// The report the update gives when 40 % of its work (programming and verifying the real image) is
// done: inside the programming pass, at the section that holds the 80 % mark of its bytes.
UpdateProgress FortyPercentOfTheRealImage() {
  UpdateProgress p;
  const FirmwareFileCheck check = OpenFirmwareFile(kFirmware);
  EXPECT_EQ(check.problem, FirmwareFileProblem::None) << check.message;
  if (check.problem != FirmwareFileProblem::None) return p;
  const std::vector<FirmwareSectionInfo> sections = ProgrammedSections(*check.file);
  for (const FirmwareSectionInfo& s : sections) p.bytesTotal += s.sizeBytes;
  p.phase = UpdatePhase::Programming;
  p.baud = 115200;
  p.sectionCount = static_cast<int>(sections.size());
  p.bytesDone = p.bytesTotal * 4 / 5;
  uint64_t before = 0;
  for (const FirmwareSectionInfo& s : sections) {
    ++p.section;
    p.sectionName = s.name;
    p.address = s.loadAddress;
    p.sectionBytesTotal = s.sizeBytes;
    p.sectionBytesDone = p.bytesDone - before;
    if (before + s.sizeBytes >= p.bytesDone) break;
    before += s.sizeBytes;
  }
  return p;
}

QString PicturePath(const char* stem, Language language) {
  const QString name = QStringLiteral("%1-%2.png").arg(stem, language == Language::German ? "de" : "en");
  return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

QImage Grab(QWidget& widget) {
  widget.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
  return widget.grab().toImage();
}

// Pictures side by side on the main window's background.
QImage Row(const std::vector<QImage>& images) {
  int width = 8;
  int height = 0;
  for (const QImage& image : images) {
    width += image.width() + 8;
    height = std::max(height, image.height());
  }
  QImage row(width, height + 16, QImage::Format_RGB32);
  row.fill(QColor(79, 164, 163));
  QPainter painter(&row);
  int x = 8;
  for (const QImage& image : images) {
    painter.drawImage(x, 8, image);
    x += image.width() + 8;
  }
  return row;
}

TEST(ProgressDialog, AnUpdateReportFillsPhaseSectionBarAndTheWholeTimeLeft) {
  SetLanguage(Language::English);
  CProgressDialog dialog(QStringLiteral("Firmware Update"), true);
  int64_t now = 30000;
  dialog.SetClock([&now] { return now; });
  UpdatePlan plan;
  plan.imageBytes = 100000;
  plan.sections = 4;
  UpdateEstimate estimate(plan);

  // Nothing counts while the switch-on prompt waits; the clock starts at its OK, 10 s in.
  dialog.HoldClock();
  EXPECT_EQ(dialog.TimeText().trimmed(), "");
  now = 10000;
  dialog.RestartClock();
  EXPECT_EQ(dialog.TimeText(), "Elapsed 0:00");

  // The kernel load names itself, and the whole update's time left shows from its first report.
  UpdateProgress p;
  p.phase = UpdatePhase::Connecting;
  p.baud = 19200;
  p.bytesTotal = 4000;
  ShowUpdateProgress(dialog, estimate, p);
  EXPECT_EQ(dialog.PhaseText(), "Loading the flash kernel");
  EXPECT_TRUE(dialog.TimeText().startsWith("Elapsed 0:00, about ")) << dialog.TimeText().toStdString();
  const int64_t atStart = estimate.remainingMs(0);
  // kernel + erase + programming + sum check + restart, from the bytes and the rates
  EXPECT_GT(atStart, 10000);

  now = 40000;
  p = {};
  p.phase = UpdatePhase::Erasing;
  ShowUpdateProgress(dialog, estimate, p);
  EXPECT_EQ(dialog.PhaseText(), "Erasing the flash");

  // A section's name with its own bytes, and the pass's bytes below it.
  p = {UpdatePhase::Programming, 2, 4, 80000, 100000, ".econst", 0x310000, 115200};
  p.sectionBytesDone = 3240;
  p.sectionBytesTotal = 24946;
  ShowUpdateProgress(dialog, estimate, p);
  EXPECT_EQ(dialog.PhaseText(), "Programming");
  EXPECT_EQ(
      dialog.DetailText(),
      "Section 2 of 4 (.econst): 3,240 of 24,946 bytes\nAll sections: 80,000 of 100,000 bytes at 115200 "
      "baud");
  EXPECT_EQ(dialog.BarPermille(), 800);

  // Read back and restart are named as they are; at the restart nothing can be stopped any more.
  p = {UpdatePhase::Verifying, 4, 4, 0, 100000, "word-by-word comparison", 0x320000, 115200, true};
  ShowUpdateProgress(dialog, estimate, p);
  EXPECT_EQ(dialog.PhaseText(), "Reading back the flash");
  EXPECT_TRUE(
      dialog.DetailText().startsWith("Comparing the flash with the file word by word\n0 of 100,000 bytes"))
      << dialog.DetailText().toStdString();
  EXPECT_TRUE(dialog.CancelEnabled());
  p = {};
  p.phase = UpdatePhase::Closing;
  ShowUpdateProgress(dialog, estimate, p);
  EXPECT_EQ(dialog.PhaseText(), "Restarting the drive");
  EXPECT_FALSE(dialog.CancelEnabled());
  EXPECT_EQ(CProgressDialog::FormatDuration(3723000), "1:02:03");
}

// Once the flash is touched, Cancel asks first: No lets the work go on, Yes asks it to stop.
TEST(ProgressDialog, CancelAsksItsQuestionWhereOneIsSet) {
  CProgressDialog dialog(QStringLiteral("Firmware Update"), true);
  QSignalSpy cancels(&dialog, &CProgressDialog::CancelRequested);
  bool answer = false;
  int asked = 0;
  dialog.SetCancelQuestion([&] {
    ++asked;
    return answer;
  });
  dialog.show();
  auto* cancel = dialog.findChild<QAbstractButton*>(CProgressDialog::kCancelId);
  ASSERT_NE(cancel, nullptr);
  cancel->click();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(cancels.count(), 0) << "No: the update goes on";
  EXPECT_TRUE(cancel->isEnabled());
  answer = true;
  cancel->click();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(cancels.count(), 1);
  dialog.Finish();

  // The work reached its restart while the user read the question: a Yes then stops nothing.
  CProgressDialog late(QStringLiteral("Firmware Update"), true);
  QSignalSpy lateCancels(&late, &CProgressDialog::CancelRequested);
  late.SetCancelQuestion([&late] {
    late.DisableControls();
    return true;
  });
  late.show();
  late.findChild<QAbstractButton*>(CProgressDialog::kCancelId)->click();
  EXPECT_EQ(lateCancels.count(), 0);
  late.Finish();
}

// The note of a fall back to the slower rate wraps onto a second line; the window makes room for
// it instead of cutting the first line's top off.
TEST(ProgressDialog, AWrappedNoteGetsTheHeightOfItsLines) {
  for (Language language : {Language::English, Language::German}) {
    SetLanguage(language);
    CProgressDialog dialog(QStringLiteral("Firmware Update"), true);
    dialog.AddOption(QString::fromUtf8(Text(42185)), true);
    dialog.show();
    QCoreApplication::processEvents();
    dialog.SetNote(QString::fromUtf8(Text(42177)).arg(115200).arg(19200));
    QCoreApplication::processEvents();
    const auto* note = dialog.findChild<QLabel*>(CProgressDialog::kNoteId);
    ASSERT_NE(note, nullptr);
    ASSERT_GT(note->heightForWidth(note->width()), note->fontMetrics().height() * 3 / 2)
        << "the note is meant to wrap here";
    EXPECT_GE(note->height(), note->heightForWidth(note->width()));
  }
  SetLanguage(Language::English);
}

TEST(ProgressDialog, CancelAndEscapeAskTheWorkToStopButOnlyFinishCloses) {
  SetLanguage(Language::German);
  CProgressDialog dialog(QStringLiteral("Firmware Update"), true);
  QSignalSpy cancels(&dialog, &CProgressDialog::CancelRequested);
  dialog.show();
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(cancels.count(), 1);
  EXPECT_TRUE(dialog.isVisible()) << "the window waits for the work to stop";
  EXPECT_EQ(dialog.PhaseText(), "Wird abgebrochen ...");
  auto* cancel = dialog.findChild<QAbstractButton*>(CProgressDialog::kCancelId);
  ASSERT_NE(cancel, nullptr);
  EXPECT_FALSE(cancel->isEnabled());
  dialog.SetPhase(QStringLiteral("Prüfen"));
  EXPECT_EQ(dialog.PhaseText(), "Wird abgebrochen ...") << "later reports do not hide the cancel";
  dialog.Finish();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(cancels.count(), 1);

  // Saving and loading cannot be cancelled: no button, and Escape does nothing.
  CProgressDialog save(QStringLiteral("Parameter speichern"), false);
  QSignalSpy none(&save, &CProgressDialog::CancelRequested);
  save.show();
  QTest::keyClick(&save, Qt::Key_Escape);
  EXPECT_TRUE(save.isVisible());
  EXPECT_EQ(none.count(), 0);
  EXPECT_EQ(save.findChild<QAbstractButton*>(CProgressDialog::kCancelId), nullptr);
  SetLanguage(Language::English);
}

class UpdatePictures : public ::testing::TestWithParam<Language> {};

TEST_P(UpdatePictures, ProgressAtFortyPercentAndTheMessageBoxes) {
  if (!std::filesystem::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  const Language language = GetParam();
  SetLanguage(language);

  CProgressDialog dialog(QString::fromUtf8(Text(42102)), true);
  // The update's one choice: the word-by-word comparison after the sum check.
  dialog.AddOption(QString::fromUtf8(Text(42185)), true);
  ASSERT_NE(dialog.findChild<QAbstractButton*>(CProgressDialog::kOptionId), nullptr);
  int64_t now = 12000;
  dialog.SetClock([&now] { return now; });
  UpdateProgress start = FortyPercentOfTheRealImage();
  UpdatePlan plan;
  plan.imageBytes = start.bytesTotal;
  plan.sections = start.sectionCount;
  UpdateEstimate estimate(plan);
  const UpdateProgress forty = start;
  start.section = 1;
  start.bytesDone = 0;
  ShowUpdateProgress(dialog, estimate, start);
  now = 52000;
  ShowUpdateProgress(dialog, estimate, forty);
  EXPECT_EQ(dialog.BarPermille(), 800);
  const QImage progress = Grab(dialog);
  ASSERT_TRUE(Row({progress}).save(PicturePath("update-progress", language)));

  // The switch-on prompt, the four outcomes (English in both languages) and what to do when the
  // drive does not come back.
  std::vector<QImage> boxes;
  const std::pair<QString, QString> texts[] = {
      {"QMX Download", "QMX einschalten!"},
      {"Axtune", "Verify ok"},
      {"Axtune", "Verify failed"},
      {"Axtune", "Com open failed!"},
      {"Axtune", "Erase failed"},
      {"Axtune", QString::fromUtf8(Text(42144))},
      {"Axtune", QString::fromUtf8(Text(42186)).arg("0x003380E4")},
  };
  CSwitchOnPrompt prompt(QStringLiteral("QMX Download"), kDefaultKernelBaud, nullptr);
  EXPECT_EQ(prompt.ChosenBaud(), kDefaultKernelBaud);
  boxes.push_back(Grab(prompt));
  for (const auto& [title, text] : texts) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    boxes.push_back(Grab(box));
  }
  ASSERT_TRUE(Row({boxes.begin(), boxes.begin() + 3}).save(PicturePath("update-messages", language)));
  ASSERT_TRUE(Row({boxes.begin() + 3, boxes.end()}).save(PicturePath("update-messages-more", language)));
  std::printf("wrote %s and the message boxes beside it\n",
              qPrintable(PicturePath("update-progress", language)));
  SetLanguage(Language::English);
}

INSTANTIATE_TEST_SUITE_P(Languages, UpdatePictures, ::testing::Values(Language::German, Language::English),
                         [](const auto& info) {
                           return info.param == Language::German ? "German" : "English";
                         });

}  // namespace
}  // namespace axtune

// The application lives on main's stack, so it is gone before the program's static objects are
// destroyed.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
