// The Homing page against the simulated drive: what it reads when shown, the method list and the
// maximum-distance row, the limits of its fields, and the homing run it starts.
#include "pages/referenzfahrt_property_page.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "pages/dictionary_binding.h"
#include "pages/homing_methods.h"
#include "tests/pages/motion_page_test_support.h"

namespace axtune {
namespace {

using testing::Access;
using testing::Object;
using testing::ObjectRead;
using testing::Read;
using testing::Word;
using Page = CReferenzfahrtPropertyPage;

class HomingPageTest : public testing::MotionPageTest {
 protected:
  void SetUp() override {
    MotionPageTest::SetUp();
    page_ = new Page(&host_);
    page_->resize(640, 440);
    page_->hide();
  }

  template <typename W = QWidget>
  W* Control(int id) {
    W* w = page_->findChild<W*>(QString::number(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
  }
  QString TextOf(int id) { return Control<QLineEdit>(id)->text(); }
  QComboBox* Method() { return Control<QComboBox>(Page::kIdMethod); }
  bool MaxDistanceShown() {
    const bool shown = Control(Page::kIdMaxDistance)->isVisible();
    EXPECT_EQ(Control(Page::kIdMaxDistanceLabel)->isVisible(), shown);
    EXPECT_EQ(Control(Page::kIdMaxDistanceUnit)->isVisible(), shown);
    return shown;
  }
  void ShowPage() {
    page_->show();
    clearAccesses();
    host_.notified.clear();
  }
  // Picks a list entry as the user does.
  void Choose(int index) {
    QComboBox* method = Method();
    method->setCurrentIndex(index);
    emit method->activated(index);
  }
  void Enter(int id, const QString& text) {
    auto* edit = Control<QLineEdit>(id);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }

  Page* page_ = nullptr;
};

using HomingPageTestStyles = test::InEveryReplyStyle<HomingPageTest>;

TEST_F(HomingPageTest, ShowingReadsTheRecordAndTheObjectsInOrder) {
  page_->show();
  EXPECT_EQ(accesses(),
            (std::vector<Access>{Read(64), ObjectRead(0x6098, 0), ObjectRead(0x2024, 3),
                                 ObjectRead(0x2024, 6), ObjectRead(0x2024, 7), ObjectRead(0x2024, 8)}))
      << "binding writes nothing; the ramps come from the record image";
  // The simulated drive's homing: method 24 at 5000 steps/s, ramps 20000, reference 0, 75 %.
  ASSERT_EQ(Method()->count(), 9);
  EXPECT_EQ(Method()->currentIndex(), 3);
  EXPECT_EQ(Method()->itemText(8), "Mechanical limit high");
  EXPECT_EQ(TextOf(Page::kIdVelocity), "5000");
  EXPECT_EQ(TextOf(Page::kIdAccel), "20003");
  EXPECT_EQ(TextOf(Page::kIdDecel), "20003");
  EXPECT_EQ(TextOf(Page::kIdReferencePosition), "0");
  EXPECT_EQ(TextOf(Page::kIdCurrent), "75");
  EXPECT_EQ(TextOf(Page::kIdMaxDistance), "50000");
  EXPECT_FALSE(MaxDistanceShown());
  for (int id : {Page::kIdAccel, Page::kIdDecel, Page::kIdAccelLabel, Page::kIdDecelLabel})
    EXPECT_TRUE(Control(id)->isVisible()) << id;
  for (int id : {Page::kIdAccelTime, Page::kIdDecelTime, Page::kIdAccelTimeLabel, Page::kIdDecelTimeLabel})
    EXPECT_FALSE(Control(id)->isVisible()) << id;
}

TEST_F(HomingPageTest, TabFollowsTheRowsTopToBottom) {
  ShowPage();
  Choose(8);  // the maximum distance shows
  EXPECT_EQ(testing::TabOrder(page_, Method()),
            (std::vector<int>{Page::kIdMethod, Page::kIdVelocity, Page::kIdAccel, Page::kIdDecel,
                              Page::kIdReferencePosition, Page::kIdCurrent, Page::kIdMaxDistance,
                              Page::kIdStart, Page::kIdStop}));
}

TEST_F(HomingPageTest, MethodsCarryTheirNumbersAndOnlyTheMechanicalStopsShowTheMaximumDistance) {
  ShowPage();
  Choose(8);
  EXPECT_TRUE(MaxDistanceShown());
  Choose(0);
  EXPECT_FALSE(MaxDistanceShown());
  Choose(7);
  EXPECT_TRUE(MaxDistanceShown());
  EXPECT_EQ(writes(), (std::vector<Access>{Object(0x6098, 0, 1, 251), Object(0x6098, 0, 1, 35),
                                           Object(0x6098, 0, 1, 250)}));
  EXPECT_EQ(record(64)[0], 250);
  EXPECT_EQ(host_.notified.size(), 3u);

  const std::vector<int16_t> codes = ListCodes(ParamPage::Homing, CReferenzfahrtPropertyPage::kIdMethod);
  ASSERT_EQ(codes, (std::vector<int16_t>{35, 17, 18, 24, 25, 29, 28, 250, 251}));
  for (int i = 0; i < 9; ++i) {
    Choose(i);
    EXPECT_EQ(record(64)[0], static_cast<uint16_t>(codes[static_cast<size_t>(i)])) << i;
  }
}

TEST_F(HomingPageTest, AMethodNotInTheListLeavesNoSelectionAndHidesTheMaximumDistance) {
  ShowPage();
  Choose(8);
  ASSERT_TRUE(WriteWords(64, 0, 1));  // homing method 1, which the page does not offer
  page_->hide();
  page_->show();
  EXPECT_EQ(Method()->currentIndex(), -1);
  EXPECT_FALSE(MaxDistanceShown());
}

TEST_P(HomingPageTestStyles, FieldsKeepToTheirLimits) {
  ShowPage();
  Enter(Page::kIdCurrent, "100");
  EXPECT_EQ(record(64)[10], 16383);
  EXPECT_EQ(TextOf(Page::kIdCurrent), "100");
  Enter(Page::kIdCurrent, "50");
  EXPECT_EQ(record(64)[10], 8192) << "8191.5 goes up";
  clearAccesses();
  Enter(Page::kIdCurrent, "101");
  EXPECT_TRUE(writes().empty()) << "over 100 % is not written";
  EXPECT_EQ(TextOf(Page::kIdCurrent), "50");

  Enter(Page::kIdReferencePosition, "-1500");
  EXPECT_EQ(static_cast<int32_t>(LongAt(record(64), 8)), -1500);
  clearAccesses();
  Enter(Page::kIdMaxDistance, "-10");
  EXPECT_TRUE(writes().empty()) << "a negative distance is refused";
  EXPECT_EQ(TextOf(Page::kIdMaxDistance), "50000");

  clearAccesses();
  Enter(Page::kIdAccel, "10000");
  EXPECT_EQ(writes(), (std::vector<Access>{Word(64, 4, 419), Word(64, 5, 0)}))
      << "record-bound: low word first";
  Enter(Page::kIdVelocity, "1000");
  EXPECT_EQ(LongAt(record(64), 2), 838861u);
}

TEST_P(HomingPageTestStyles, HomingOnTheActualPositionAndAgainstTheLowerStopBothReference) {
  ShowPage();
  Choose(0);  // method 35
  clearAccesses();
  QTest::mouseClick(Control(Page::kIdStart), Qt::LeftButton);
  EXPECT_EQ(writes(), (std::vector<Access>{Object(0x6060, 0, 1, 0xF9), Object(0x6040, 0, 2, 0x000D),
                                           Object(0x6040, 0, 2, 0x000D), Object(0x6040, 0, 2, 0x001D)}));
  ASSERT_TRUE(runUntil([&] { return drive_->snapshot().referenced == 2; }));

  Choose(7);  // against the lower mechanical stop at -21000, within 50000 steps
  Enter(Page::kIdReferencePosition, "-21000");
  QTest::mouseClick(Control(Page::kIdStart), Qt::LeftButton);
  ASSERT_TRUE(runUntil([&] { return drive_->snapshot().referenced == 1; }, 1000));
  ASSERT_TRUE(runUntil([&] { return drive_->snapshot().referenced == 2; }));
  EXPECT_EQ(drive_->snapshot().position, -21000);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(HomingPageTest, StopHaltsTheRunAndAStopTheDriveDidNotGetIsReported) {
  ShowPage();
  QTest::mouseClick(Control(Page::kIdStart), Qt::LeftButton);  // method 24: a search for the cam
  drive_->advanceMs(300);
  ASSERT_NE(drive_->snapshot().velocity, 0);
  clearAccesses();
  QTest::mouseClick(Control(Page::kIdStop), Qt::LeftButton);
  EXPECT_EQ(writes(), std::vector<Access>{Object(0x6040, 0, 2, 0x010D)});
  ASSERT_TRUE(runUntil([&] { return drive_->snapshot().velocity == 0; }));
  EXPECT_NE(drive_->snapshot().referenced, 2);
  EXPECT_TRUE(ui_.messages.empty());

  silenceDrive(true);
  QTest::mouseClick(Control(Page::kIdStop), Qt::LeftButton);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].startsWith("The drive did not confirm the stop command"));
}

INSTANTIATE_TEST_SUITE_P(Drives, HomingPageTestStyles, ::testing::ValuesIn(test::kSimReplyStyles),
                         test::ReplyStyleName);

}  // namespace
}  // namespace axtune
