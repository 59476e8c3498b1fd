// The debug page against the simulated drive: reading a typed record (Enter, leaving the edit,
// showing the page), writing the whole record, the validation messages and two independent pages.
#include "pages/debug_property_page.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <vector>

#include "controls/page_host.h"
#include "link/drive_link.h"
#include "pages/debug_edit.h"
#include "res/strings.h"
#include "sim/simulated_drive.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/reply_styles.h"

namespace axtune {
namespace {

class Host : public QWidget, public PageHost {
 public:
  bool IsConnected() const override { return connected; }
  void NotifyParameterChanged(int record) override { notified.push_back(record); }
  bool connected = true;
  std::vector<int> notified;
};

class DebugPageTest : public testing::GuiTest {
 protected:
  void SetUp() override {
    SetLanguage(Language::English);
    drive_ = sim::registerSimulatedDrive("sim:debug-page", driveConfig());
    drive_->advanceMs(1000);
    ASSERT_TRUE(OpenLink("sim:debug-page"));
    host_.resize(400, 600);
    host_.show();
    first_ = new CDebugPropertyPage(&host_);
    second_ = new CDebugPropertyPage(&host_);
    second_->hide();
    first_->show();
    ui_.clear();
  }
  void TearDown() override {
    CloseLink();
    sim::unregisterSimulatedDrive("sim:debug-page");
  }

  // The drive the test talks to; a style-parameterised fixture answers writes its own way.
  virtual sim::SimConfig driveConfig() { return sim::SimConfig::unitTest(); }

  RecordWords DriveRecord(int number) {
    RecordWords words{};
    EXPECT_TRUE(drive_->record(number, words));
    return words;
  }
  QStringList Words(CDebugPropertyPage* page) {
    QStringList texts;
    for (int i = 0; i < kRecordWords; ++i) texts << page->WordEdit(i)->text();
    return texts;
  }
  static QStringList Expected(const RecordWords& words) {
    QStringList texts;
    for (uint16_t w : words) texts << QString::number(static_cast<int16_t>(w));
    return texts;
  }
  void TypeRecordAndPressEnter(CDebugPropertyPage* page, const QString& number) {
    page->RecordEdit()->setText(number);
    QTest::keyClick(page->RecordEdit(), Qt::Key_Return);
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  testing::UiRecorder ui_;
  Host host_;
  CDebugPropertyPage* first_ = nullptr;
  CDebugPropertyPage* second_ = nullptr;
};

using DebugPageStyles = test::InEveryReplyStyle<DebugPageTest>;

TEST_F(DebugPageTest, ControlsInTheirColumnAndOrder) {
  EXPECT_EQ(first_->Title(), "Debug");
  EXPECT_EQ(first_->RecordNumber(), 0);
  const int ids[] = {1044, 1030, 1031, 1032, 1033, 1034, 1035, 1036,
                     1037, 1038, 1039, 1040, 1041, 1042, 1043};
  int previousY = -1;
  for (int word = 0; word < kRecordWords; ++word) {
    QLineEdit* edit = first_->findChild<QLineEdit*>(QString::number(ids[word]));
    ASSERT_NE(edit, nullptr) << word;
    EXPECT_EQ(edit, first_->WordEdit(word));
    EXPECT_GT(edit->y(), previousY) << "word " << word << " stands below word " << word - 1;
    EXPECT_EQ(edit->x(), first_->WordEdit(0)->x()) << "one column";
    previousY = edit->y();
  }
  QLineEdit* record = first_->findChild<QLineEdit*>("1045");
  ASSERT_EQ(record, first_->RecordEdit());
  EXPECT_LE(record->x(), first_->WordEdit(0)->x());
  EXPECT_LE(record->y(), first_->WordEdit(0)->y() + 2) << "the record edit at the top left";
  QPushButton* write = first_->findChild<QPushButton*>("1048");
  ASSERT_NE(write, nullptr);
  EXPECT_EQ(write->text(),
            "\xC3\x9C"
            "bernehmen");
  EXPECT_GT(write->x(), first_->WordEdit(0)->x());
  EXPECT_GE(write->y(), first_->WordEdit(13)->y()) << "the button at the bottom right";
}

TEST_F(DebugPageTest, EnterReadsTheTypedRecordAndDoesNotInsertIt) {
  TypeRecordAndPressEnter(first_, "5");
  EXPECT_EQ(first_->RecordNumber(), 5);
  EXPECT_EQ(first_->RecordEdit()->text(), "5");
  EXPECT_EQ(Words(first_), Expected(DriveRecord(5)));
  TypeRecordAndPressEnter(first_, "2");
  EXPECT_EQ(Words(first_), Expected(DriveRecord(2)));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(DebugPageTest, LeavingTheEditReadsQuietlyAndRefusesOutOfRange) {
  first_->RecordEdit()->setText("64");
  first_->OnRecordEditLeft();
  EXPECT_EQ(first_->RecordNumber(), 64);
  EXPECT_EQ(Words(first_), Expected(DriveRecord(64)));

  const QStringList before = Words(first_);
  first_->RecordEdit()->setText("133");
  first_->OnRecordEditLeft();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0], "Please enter an integer between 0 and 132.");
  EXPECT_EQ(first_->RecordNumber(), 64);
  EXPECT_EQ(first_->RecordEdit()->text(), "64") << "the previous record number comes back";
  EXPECT_EQ(Words(first_), before) << "nothing read";

  // A record the drive does not have: no message, the display shows the image it had.
  first_->RecordEdit()->setText("100");
  first_->OnRecordEditLeft();
  EXPECT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(first_->RecordNumber(), 100);
  EXPECT_EQ(Words(first_), before);
}

TEST_F(DebugPageTest, WordValidationMessagesAndTheirFallBack) {
  TypeRecordAndPressEnter(first_, "3");
  const QStringList shown = Words(first_);
  first_->WordEdit(4)->setText("zwölf");
  first_->OnWrite();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0], "Please enter an integer.");
  EXPECT_EQ(DriveRecord(3), DriveRecord(3));
  first_->WordEdit(4)->setText("40000");
  first_->OnWrite();
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[1], "Please enter an integer between -32768 and 32767.") << "refused, not wrapped";
  EXPECT_TRUE(host_.notified.empty()) << "nothing written";

  SetLanguage(Language::German);
  first_->OnShowWindow(true);
  EXPECT_EQ(ui_.messages.back(), "Geben Sie eine ganze Zahl zwischen -32768 und 32767 ein.");
  EXPECT_EQ(Words(first_), shown) << "the display values come back into the edits";
}

TEST_P(DebugPageStyles, UebernehmenWritesTheWholeRecord) {
  TypeRecordAndPressEnter(first_, "14");
  RecordWords expected = DriveRecord(14);
  first_->WordEdit(0)->setText("-1000");
  first_->WordEdit(9)->setText(" 250 ");
  expected[0] = static_cast<uint16_t>(-1000);
  expected[9] = 250;
  first_->findChild<QPushButton*>("1048")->click();
  EXPECT_EQ(DriveRecord(14), expected);
  EXPECT_EQ(first_->Image()[0], -1000);
  EXPECT_EQ(host_.notified, std::vector<int>({14})) << "the store command can make it permanent";
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(DebugPageTest, DisconnectedWriteChangesNothingOnThePage) {
  TypeRecordAndPressEnter(first_, "4");
  const QStringList shown = Words(first_);
  CloseLink();
  host_.connected = false;
  first_->WordEdit(2)->setText("7");
  first_->OnWrite();
  EXPECT_TRUE(ui_.messages.empty()) << "a failed write shows nothing";
  EXPECT_TRUE(host_.notified.empty());
  EXPECT_EQ(first_->WordEdit(2)->text(), "7") << "the display is not refreshed";
  // Enter without a drive reads nothing and says nothing; the page keeps its values.
  TypeRecordAndPressEnter(first_, "4");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(DebugPageTest, TwoPagesKeepTheirOwnRecordAndImage) {
  TypeRecordAndPressEnter(first_, "2");
  first_->hide();
  second_->show();
  TypeRecordAndPressEnter(second_, "64");
  EXPECT_EQ(first_->RecordNumber(), 2);
  EXPECT_EQ(second_->RecordNumber(), 64);
  EXPECT_EQ(Words(first_), Expected(DriveRecord(2)));
  EXPECT_EQ(Words(second_), Expected(DriveRecord(64)));
  EXPECT_NE(first_->Image(), second_->Image());
}

INSTANTIATE_TEST_SUITE_P(Drives, DebugPageStyles, ::testing::ValuesIn(test::kSimReplyStyles),
                         test::ReplyStyleName);

}  // namespace
}  // namespace axtune
