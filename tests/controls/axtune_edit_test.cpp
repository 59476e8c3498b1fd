// The bound edit field against the simulated drive: what Enter, Tab and the loss of focus write,
// when the main window hears of it, and what the field shows after a write the drive did not take.
#include "controls/axtune_edit.h"

#include <QAbstractItemView>
#include <QTest>

#include "controls/axtune_combo_box.h"
#include "controls/axtune_property_page.h"
#include "controls/written_note.h"
#include "res/strings.h"
#include "tests/controls/sim_drive_fixture.h"

namespace axtune {
namespace {

using testing::ObjectWrite;
using testing::WordWrite;

class EditTest : public testing::SimDriveTest {
 protected:
  void SetUp() override {
    SimDriveTest::SetUp();
    page_ = new CAxtunePropertyPage(149, &host_);
    page_->SetRecordNumber(2);
    current_ = new CAxtuneEdit(page_, 1174);
    current_->BindObject(0x6075, 0, 4);
    current_->SetLimit(7000);
    delay_ = new CAxtuneEdit(page_, 1252);
    delay_->BindRecordWord(2, 5);
    delay_->SetLimit(3000);
    delay_->move(0, 40);
    after_ = new CAxtuneEdit(page_, 1175);
    after_->move(0, 80);
    page_->resize(300, 200);
    host_.show();
    host_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
    ASSERT_TRUE(current_->ReadFromDrive());
    log_.clear();
  }

  void Type(CAxtuneEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }

  CAxtunePropertyPage* page_ = nullptr;
  CAxtuneEdit* current_ = nullptr;
  CAxtuneEdit* delay_ = nullptr;
  CAxtuneEdit* after_ = nullptr;
};

TEST_F(EditTest, EnterWritesAndKeepsTheFocusNotifyingOnlyAChange) {
  EXPECT_EQ(current_->text(), "2000");
  Type(current_, "2500");
  QTest::keyClick(current_, Qt::Key_Return);
  EXPECT_EQ(log_.objects, (std::vector<ObjectWrite>{{0x6075, 0, 2500}}));
  EXPECT_EQ(host_.notified, std::vector<int>{128}) << "object-bound: the default record number";
  EXPECT_TRUE(current_->hasFocus());

  QTest::keyClick(current_, Qt::Key_Return);
  EXPECT_EQ(log_.objects.size(), 1u) << "a commit without change sends nothing";
  EXPECT_EQ(host_.notified.size(), 1u) << "and does not notify";
}

TEST_F(EditTest, TabAndShiftTabMoveOnAndCommitOnceEnterThenTabTwice) {
  Type(delay_, "800");
  QTest::keyClick(delay_, Qt::Key_Tab);
  EXPECT_TRUE(after_->hasFocus());
  EXPECT_EQ(log_.words, (std::vector<WordWrite>{{2, 5, 800}}));
  EXPECT_EQ(DriveRecord(2)[5], 800);
  EXPECT_EQ(host_.notified, std::vector<int>{2});

  log_.clear();
  Type(current_, "1500");
  QTest::keyClick(current_, Qt::Key_Return);
  QTest::keyClick(current_, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_TRUE(delay_->hasFocus()) << "Shift+Tab goes forward as well";
  EXPECT_EQ(log_.objects, (std::vector<ObjectWrite>{{0x6075, 0, 1500}})) << "the focus loss sends it no more";
  EXPECT_EQ(host_.notified, (std::vector<int>{2, 128}));
}

TEST_F(EditTest, RejectedEntryPutsThePreviousValueBackAndWritesNothing) {
  Type(current_, "7001");
  QTest::keyClick(current_, Qt::Key_Return);
  EXPECT_EQ(current_->text(), "2000");
  EXPECT_EQ(log_.count(), 0u);
  EXPECT_TRUE(ui_.messages.empty()) << "silently";

  Type(current_, "-5");
  QTest::keyClick(current_, Qt::Key_Return);
  EXPECT_EQ(log_.count(), 0u);

  Type(current_, "7000");
  QTest::keyClick(current_, Qt::Key_Return);
  EXPECT_EQ(log_.objects, (std::vector<ObjectWrite>{{0x6075, 0, 7000}}));
  EXPECT_EQ(DriveRecord(2)[0], 7000);
}

TEST_F(EditTest, AWriteTheDriveDidNotTakeShowsThePreviousValueAndSaysWhyOnce) {
  SetSilent(true);
  Type(current_, "3000");
  QTest::keyClick(current_, Qt::Key_Return);
  EXPECT_EQ(current_->text(), "2000");
  EXPECT_EQ(current_->Value().Raw(), 2000u);
  EXPECT_TRUE(host_.notified.empty());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].contains("did not answer")) << ui_.messages[0].toStdString();

  // The focus leaving afterwards passes the drive's own value: nothing to send, nothing to report
  // (the cursor resting in a field when the cable is pulled gives no message for a change nobody made).
  log_.clear();
  QTest::keyClick(current_, Qt::Key_Tab);
  EXPECT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(log_.count(), 0u);

  SetSilent(false);
  Type(current_, "3000");
  QTest::keyClick(current_, Qt::Key_Return);
  EXPECT_EQ(current_->text(), "3000");
  EXPECT_EQ(host_.notified, std::vector<int>{128});
  EXPECT_EQ(ui_.messages.size(), 1u);
}

TEST_F(EditTest, AFailedWriteNamesItsField) {
  SetWrittenNoteNames(current_, "Motor current", "mA rms");
  SetSilent(true);
  Type(current_, "3000");
  QTest::keyClick(current_, Qt::Key_Return);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].startsWith("Motor current: ")) << ui_.messages[0].toStdString();
}

TEST_F(EditTest, TheGermanWindowTakesTheDecimalCommaAndOnlyIt) {
  SetLanguage(Language::German);
  after_->BindObject(0x2061, 0, 2);
  after_->SetLimit(0x3FFF);
  after_->SetScale(kScalePercent);
  ASSERT_TRUE(after_->ReadFromDrive());
  Type(after_, "37,5");
  QTest::keyClick(after_, Qt::Key_Return);
  EXPECT_EQ(log_.objects, (std::vector<ObjectWrite>{{0x2061, 0, 6144}}));
  EXPECT_EQ(after_->text(), "37,5") << "shown as the window writes it";
  for (const char* refused : {"37.5", "0x10", "40abc"}) {
    log_.clear();
    Type(after_, refused);
    QTest::keyClick(after_, Qt::Key_Return);
    EXPECT_EQ(log_.count(), 0u) << refused;
    EXPECT_EQ(after_->text(), "37,5") << refused;
  }
  SetLanguage(Language::English);
}

TEST_F(EditTest, AValueFarBeyondAnyMachineIsWrittenOnlyWhenTheUserSaysSo) {
  after_->BindObject(0x6083, 0, 4);
  after_->SetScale(kScaleAcceleration);
  after_->SetPracticalLimit(4194304);  // 100 000 000 steps/s²
  after_->SetUnit("steps/s²");
  ASSERT_TRUE(after_->ReadFromDrive());
  const QString before = after_->text();
  Type(after_, "99999999999");
  QTest::keyClick(after_, Qt::Key_Return);
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0],
            "99999999999 steps/s² is far above what a stepper motor can do. Write it anyway?");
  EXPECT_EQ(log_.count(), 0u) << "answered \"Don't write\"";
  EXPECT_EQ(after_->text(), before);

  ui_.answer = 0;
  Type(after_, "99999999999");
  QTest::keyClick(after_, Qt::Key_Return);
  EXPECT_EQ(log_.objects.size(), 1u) << "answered \"Write\"";

  ui_.questions.clear();
  Type(after_, "50000");
  QTest::keyClick(after_, Qt::Key_Return);
  EXPECT_TRUE(ui_.questions.empty()) << "a usual value is not asked about";
  EXPECT_EQ(log_.objects.size(), 2u);
}

TEST_F(EditTest, ARecordWordRefusedByTheDriveIsNotTaken) {
  // A record the drive does not have: it answers with an error reply.
  delay_->BindRecordWord(100, 5);
  Type(delay_, "700");
  QTest::keyClick(delay_, Qt::Key_Return);
  EXPECT_EQ(delay_->text(), "0");
  EXPECT_TRUE(host_.notified.empty());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].contains("refused")) << ui_.messages[0].toStdString();
}

TEST_F(EditTest, WithoutADriveTheMessageSaysSo) {
  delay_->setFocus();
  CloseLink();
  Type(delay_, "700");
  QTest::keyClick(delay_, Qt::Key_Return);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].contains("No drive is connected"));
}

TEST_F(EditTest, AFieldClosingWithItsWindowWritesNothing) {
  Type(delay_, "700");
  log_.clear();
  CloseLink();  // the main window closes the link before it goes
  host_.hide();
  EXPECT_EQ(log_.count(), 0u);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(EditTest, A32BitRecordValueGoesLowWordFirst) {
  delay_->BindRecordLong(2, 10);  // start/stop velocity, as the drive keeps it
  delay_->SetScale(kScaleVelocity);
  Type(delay_, "1000");
  QTest::keyClick(delay_, Qt::Key_Return);
  EXPECT_EQ(log_.words, (std::vector<WordWrite>{{2, 10, 0xCCCD}, {2, 11, 0x000C}}));
  EXPECT_EQ(delay_->text(), "1000");
  int32_t velocity = 0;
  ASSERT_TRUE(ReadObject(0x6058, 1, &velocity));
  EXPECT_EQ(velocity, 838861);
}

TEST_F(EditTest, RefreshShowsInvalidAndKeepsTheValue) {
  RecordImage image{};
  image[5] = 3001;
  EXPECT_FALSE(delay_->LoadFromRecord(image));
  EXPECT_EQ(delay_->text(), "Invalid");
  SetLanguage(Language::German);
  image[5] = 250;
  EXPECT_TRUE(delay_->LoadFromRecord(image));
  EXPECT_EQ(delay_->text(), "250");

  EXPECT_FALSE(delay_->ReadFromDrive()) << "not object-bound";
  EXPECT_EQ(delay_->text(), "ungültig");
  EXPECT_EQ(delay_->Value().Raw(), 250u);

  SetSilent(true);
  EXPECT_FALSE(current_->ReadFromDrive());
  EXPECT_EQ(current_->text(), "ungültig");
  EXPECT_EQ(current_->Value().Raw(), 2000u);
  SetLanguage(Language::English);
}

TEST_F(EditTest, ControlsArePaintedInThePageColour) {
  auto* list = new CAxtuneComboBox(page_, 1253);
  const QColor colour(79, 164, 163);
  for (QWidget* control : std::initializer_list<QWidget*>{current_, list}) {
    EXPECT_EQ(control->palette().color(QPalette::Base), colour) << control->objectName().toStdString();
    EXPECT_EQ(control->palette().color(QPalette::Button), colour);
    EXPECT_EQ(control->palette().color(QPalette::Window), colour);
  }
  list->addItem("a");
  list->addItem("b");
  list->showPopup();
  // Painted, not only set: the popup's item delegate fills unset roles with the menu colours.
  const QImage popup = list->view()->viewport()->grab().toImage();
  const QColor below = popup.pixelColor(popup.width() / 2, popup.height() - 2);
  EXPECT_GT(below.green() - below.red(), 50) << below.name().toStdString();
  list->hidePopup();
}

}  // namespace
}  // namespace axtune
