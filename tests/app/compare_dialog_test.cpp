// The compare dialog on the simulated drive: three parameters changed since a file was taken show
// as exactly three rows; writing one back puts the file's value into the drive through the page
// writes and leaves two rows. The dialog is also saved as "compare-dialog-<language>.png" beside
// the test program for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/compare_dialog.h"
#include "core/parameter_access.h"
#include "link/drive_link.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"

namespace axtune {
namespace {

class CompareDialogTest : public testing::GuiTest, public ::testing::WithParamInterface<Language> {
 protected:
  void SetUp() override {
    SetLanguage(GetParam());
    drive_ = sim::registerSimulatedDrive("sim:compare", sim::SimConfig::unitTest());
    drive_->advanceMs(1000);
    ASSERT_TRUE(OpenLink("sim:compare"));
  }
  void TearDown() override {
    CloseLink();
    sim::unregisterSimulatedDrive("sim:compare");
    SetLanguage(Language::English);
  }
  ParameterSet ReadDrive() {
    LinkParameterRecordAccess access;
    ParameterSet set;
    std::string error;
    EXPECT_TRUE(ReadDriveParameterSet(access, 65, set, error)) << error;
    return set;
  }
  void Set(const char* name, const char* value) {
    const ParamEntry e = *FindParameter(name);
    const RawResult raw = ParseUserValue(e, value, Language::English);
    ASSERT_TRUE(raw.ok && WriteParameter(e, raw.raw)) << name;
  }
  static std::vector<std::string> Names(const QTableWidget* table) {
    std::vector<std::string> names;
    for (int r = 0; r < table->rowCount(); ++r)
      names.push_back(table->item(r, CCompareDialog::kColumnName)->toolTip().toStdString());
    return names;
  }
  std::shared_ptr<sim::SimulatedDrive> drive_;
};

TEST_P(CompareDialogTest, ShowsTheThreeChangesAndWritesOneBack) {
  ParameterSet file = ReadDrive();
  file.source = "/srv/machine-7/reference.qmx";
  Set("idle-current-delay", "800");
  Set("profile-4-velocity", "2500");
  Set("input-de4", "profile-2-jogging");
  ParameterSet drive = ReadDrive();
  drive.source = "COM1 (sim)";
  std::vector<int> notified;
  CCompareDialog dialog(drive, file, [&](const ParamEntry& e) { notified.push_back(e.record); });
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(Names(dialog.Table()),
            (std::vector<std::string>{"idle-current-delay", "input-de4", "profile-4-velocity"}));
  // Counted in words; the columns say which side is which; the unit in its own column only.
  const bool german = GetParam() == Language::German;
  const auto* summary = dialog.findChild<QLabel*>(QStringLiteral("summary"));
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(summary->text(), german ? "3 Werte weichen ab" : "3 values differ");
  EXPECT_EQ(dialog.Table()->horizontalHeaderItem(CCompareDialog::kColumnDrive)->text(),
            german ? "Im Antrieb" : "In the drive");
  EXPECT_EQ(dialog.Table()->horizontalHeaderItem(CCompareDialog::kColumnFile)->text(),
            german ? "In der Datei" : "In the file");
  EXPECT_EQ(dialog.Table()->item(0, CCompareDialog::kColumnDrive)->text(), "800");
  const QImage image = dialog.grab().toImage();
  const QString png =
      QDir(QCoreApplication::applicationDirPath())
          .filePath(QStringLiteral("compare-dialog-%1.png")
                        .arg(GetParam() == Language::German ? QStringLiteral("de") : QStringLiteral("en")));
  EXPECT_TRUE(image.save(png));

  dialog.Table()->selectRow(1);
  EXPECT_EQ(dialog.WriteRows({1}), 1);
  // The rows left: none of them selected for the next write, the raw words still out to the edge.
  EXPECT_TRUE(dialog.Table()->selectionModel()->selectedRows().isEmpty());
  const QHeaderView* header = dialog.Table()->horizontalHeader();
  EXPECT_GE(header->sectionViewportPosition(CCompareDialog::kColumnRaw) +
                header->sectionSize(CCompareDialog::kColumnRaw),
            header->viewport()->width() - 1);
  RecordWords inputs{};
  ASSERT_TRUE(ReadRecord(3, inputs));
  EXPECT_EQ(inputs[3], file.records[3][3]) << "the file's function is back in the drive";
  EXPECT_EQ(notified, std::vector<int>{3});
  EXPECT_EQ(Names(dialog.Table()), (std::vector<std::string>{"idle-current-delay", "profile-4-velocity"}));
  dialog.ShowEqualBox()->setChecked(true);
  EXPECT_GT(dialog.Table()->rowCount(), 600);
  EXPECT_EQ(dialog.DifferenceCount(), 2);
  EXPECT_EQ(dialog.WriteRows({0, 1, 2, 3}), 0) << "equal rows are not written";
}

TEST_P(CompareDialogTest, AValueTheDriveDidNotGiveSaysWhyInItsRowAndCanBeWrittenBack) {
  ParameterSet file = ReadDrive();
  ParameterSet drive = file;
  drive.objects.erase("motor-current");
  drive.unreadable["motor-current"] = ReadFailure{0x06020000, 0};
  CCompareDialog dialog(drive, file, {});
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  ASSERT_EQ(Names(dialog.Table()), std::vector<std::string>{"motor-current"});
  EXPECT_EQ(dialog.Table()->item(0, CCompareDialog::kColumnDrive)->text().toStdString(),
            ReadFailureText(ReadFailure{0x06020000, 0}, GetParam()));
  const QString png =
      QDir(QCoreApplication::applicationDirPath())
          .filePath(QStringLiteral("compare-dialog-unreadable-%1.png")
                        .arg(GetParam() == Language::German ? QStringLiteral("de") : QStringLiteral("en")));
  EXPECT_TRUE(dialog.grab().toImage().save(png));
  // Written back and read back: the row is answered.
  EXPECT_EQ(dialog.WriteRows({0}), 1);
  EXPECT_TRUE(Names(dialog.Table()).empty());
}

// "Write all to drive" asks once with what the file is (date, user and company from its trailer) and
// how many values it changes; the box's default, Enter, is Cancel, and Cancel writes nothing. The
// question is saved as "compare-write-all-<language>.png".
TEST_P(CompareDialogTest, WriteAllAsksWithTheFilesOriginAndCancelWritesNothing) {
  ParameterSet file = ReadDrive();
  file.source = "/srv/machine-7/reference.qmx";
  file.trailer = ParameterFileTrailer{"", "03.11.2026", "Weber", "Kranbau Nord"};
  Set("idle-current-delay", "800");
  Set("profile-4-velocity", "2500");
  CCompareDialog dialog(ReadDrive(), file, [](const ParamEntry&) { ADD_FAILURE() << "written"; });
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const bool german = GetParam() == Language::German;
  const auto* close = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
  EXPECT_EQ(close->text(), german ? "Schließen" : "Close");

  QString question;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    poll.stop();
    question = box->text();
    EXPECT_TRUE(box->grab().toImage().save(
        QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral("compare-write-all-%1.png").arg(german ? "de" : "en"))));
    QTest::keyClick(box, Qt::Key_Return);
  });
  poll.start(10);
  dialog.WriteAllButton()->click();
  EXPECT_TRUE(question.contains("reference.qmx")) << question.toStdString();
  EXPECT_TRUE(question.contains("03.11.2026")) << question.toStdString();
  EXPECT_TRUE(question.contains("Weber (Kranbau Nord)")) << question.toStdString();
  EXPECT_TRUE(question.contains(german ? "2 Werte weichen" : "2 values differ")) << question.toStdString();
  EXPECT_EQ(dialog.DifferenceCount(), 2);
  uint32_t delay = 0;
  ASSERT_TRUE(ReadParameter(*FindParameter("idle-current-delay"), &delay));
  EXPECT_EQ(FormatUserValue(*FindParameter("idle-current-delay"), delay, Language::English).rfind("800", 0),
            0u);
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, CompareDialogTest,
                         ::testing::Values(Language::German, Language::English));

}  // namespace
}  // namespace axtune
