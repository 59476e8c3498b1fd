// The Settings page on the simulated drive: its bindings, what showing it reads and reveals, and
// what typing into its fields and ticking its boxes leaves in the drive.
#include "pages/settings_property_page.h"

#include <QTabWidget>
#include <QTest>

#include "controls/bound_value.h"
#include "core/drive_identity.h"
#include "res/strings.h"
#include "tests/controls/sim_drive_fixture.h"

namespace axtune {
namespace {

using C = CSettingsPropertyPage;

class SettingsPageTest : public testing::SimDriveTest {
 protected:
  void SetUp() override {
    SimDriveTest::SetUp();
    SetFirmwareVersionNumber(4001);
    page_ = new CSettingsPropertyPage(&host_);
    page_->hide();
    host_.show();
    host_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  }
  void TearDown() override {
    SetFirmwareVersionNumber(-1);
    SimDriveTest::TearDown();
  }

  // Clicks a check box on its text, where a click ticks it.
  void Click(int id) {
    QCheckBox* box = page_->CheckBox(id);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
  }
  void ShowPage() {
    page_->hide();
    page_->show();
  }
  void Enter(int id, const QString& text) {
    CAxtuneEdit* field = page_->Field(id);
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }
  uint32_t Object(uint16_t index, uint8_t subindex) {
    int32_t value = 0;
    EXPECT_TRUE(ReadObject(index, subindex, &value));
    return static_cast<uint32_t>(value);
  }
  QString Text(int id) { return page_->Field(id)->text(); }

  CSettingsPropertyPage* page_ = nullptr;
};

struct Expected {
  int id;
  bool object;
  uint16_t index;  // or record
  uint8_t sub;     // or word
  bool isLong;
  uint32_t limit;
  double scale;
};

TEST(SettingsPageBindings, LeaveEachFieldWithItsWidthLimitAndScale) {
  const Expected expected[] = {
      {C::kIdMotorCurrent, true, 0x6075, 0, true, 7000, 1},
      {C::kIdIdleLevel, true, 0x2061, 0, false, 0x3FFF, kScalePercent},
      {C::kIdStepResolution, true, 0x6510, 1, false, 0xFFFF, 1},
      {C::kIdEmergencyDeceleration, true, 0x6085, 0, true, 0xFFFFFFFF, kScaleAcceleration},
      {C::kIdStartStopVelocity, true, 0x6058, 1, true, 0xFFFFFFFF, kScaleVelocity},
      {C::kIdIdleDelay, false, 2, 5, false, 3000, 1},
      {C::kIdEncoderLines, false, 2, 14, false, 0xFFFF, kScaleEncoderLines},
  };
  std::map<int, BoundValue> fields;
  for (const EditBindStep& step : C::Bindings()) ApplyBindStep(fields[step.controlId], step);
  ASSERT_EQ(fields.size(), std::size(expected));
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.id);
    const BoundValue& f = fields[e.id];
    EXPECT_EQ(f.IsObjectMode(), e.object);
    EXPECT_EQ(e.object ? f.Index() : f.Record(), e.index);
    EXPECT_EQ(e.object ? f.Subindex() : f.Word(), e.sub);
    EXPECT_EQ(f.IsLong(), e.isLong);
    EXPECT_FALSE(f.IsSigned());
    EXPECT_EQ(f.Limit(), e.limit);
    EXPECT_DOUBLE_EQ(f.Scale(), e.scale);
  }
}

using SettingsPageTestStyles = test::InEveryReplyStyle<SettingsPageTest>;

TEST_F(SettingsPageTest, ShowingReadsTheDriveIntoEveryField) {
  EXPECT_TRUE(page_->Field(C::kIdMotorCurrent)->Value().IsLong()) << "the page applied its table";
  ShowPage();
  EXPECT_EQ(Text(C::kIdMotorCurrent), "2000");
  EXPECT_EQ(Text(C::kIdIdleLevel), "50");
  EXPECT_EQ(Text(C::kIdStepResolution), "3200");
  EXPECT_EQ(Text(C::kIdEmergencyDeceleration), "99993") << "the default 100000 as the drive can hold it";
  EXPECT_EQ(Text(C::kIdStartStopVelocity), "200");
  EXPECT_EQ(Text(C::kIdIdleDelay), "500");
  EXPECT_EQ(Text(C::kIdEncoderLines), "500");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(SettingsPageTest, EncoderRowFollowsTheFirmwareAndTheEnableBoxStaysHidden) {
  auto encoderRow = [this] {
    return std::vector<bool>{page_->findChild<QWidget*>("1265")->isVisible(),
                             page_->Field(C::kIdEncoderLines)->isVisible(),
                             page_->findChild<QWidget*>("1266")->isVisible()};
  };
  const std::vector<bool> hidden{false, false, false}, shown{true, true, true};
  SetFirmwareVersionNumber(-1);
  ShowPage();
  EXPECT_EQ(encoderRow(), hidden) << "before the drive was identified";
  SetFirmwareVersionNumber(4000);
  ShowPage();
  EXPECT_EQ(encoderRow(), hidden);
  SetFirmwareVersionNumber(4001);
  ShowPage();
  EXPECT_EQ(encoderRow(), shown);
  SetFirmwareVersionNumber(4000);
  ShowPage();
  EXPECT_EQ(encoderRow(), shown) << "never hidden again";
  EXPECT_FALSE(page_->CheckBox(C::kIdInvertEnable)->isVisible());
}

TEST_F(SettingsPageTest, TabVisitsTheFieldsInTheOrderTheyStand) {
  ShowPage();
  page_->Field(C::kIdMotorCurrent)->setFocus();
  std::vector<QString> visited;
  for (int i = 0; i < 6; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget()->objectName());
  }
  EXPECT_EQ(visited, (std::vector<QString>{"1252", "1175", "1251", "1176", "1177", "1178"}));
}

TEST_P(SettingsPageTestStyles, SwitchingToAnotherTabCommitsTheTypedValue) {
  auto* sheet = new QTabWidget(&host_);
  page_->setParent(nullptr);
  sheet->addTab(page_, "Settings");
  sheet->addTab(new CAxtunePropertyPage(164), "Inputs");
  sheet->resize(600, 400);
  sheet->show();
  ASSERT_TRUE(page_->isVisible());
  CAxtuneEdit* delay = page_->Field(C::kIdIdleDelay);
  delay->setFocus();
  delay->selectAll();
  QTest::keyClicks(delay, "900");
  sheet->setCurrentIndex(1);
  EXPECT_EQ(DriveRecord(2)[5], 900);
  EXPECT_EQ(host_.notified, std::vector<int>{2});
}

TEST_P(SettingsPageTestStyles, TypedValuesReachTheDriveConvertedAndNotified) {
  ShowPage();
  Enter(C::kIdMotorCurrent, "7001");
  EXPECT_EQ(Object(0x6075, 0), 2000u) << "7001 mA is rejected";
  EXPECT_EQ(Text(C::kIdMotorCurrent), "2000");
  EXPECT_TRUE(host_.notified.empty());
  Enter(C::kIdMotorCurrent, "7000");
  EXPECT_EQ(Object(0x6075, 0), 7000u);

  log_.clear();
  Enter(C::kIdIdleLevel, "50");
  EXPECT_TRUE(log_.objects.empty()) << "the unchanged default is not written again";
  Enter(C::kIdIdleLevel, "101");
  EXPECT_EQ(Text(C::kIdIdleLevel), "50");
  Enter(C::kIdIdleLevel, "100");
  EXPECT_EQ(DriveRecord(2)[2], 16383);

  Enter(C::kIdEncoderLines, "250");
  EXPECT_EQ(DriveRecord(2)[14], 1000);
  Enter(C::kIdIdleDelay, "3000");
  EXPECT_EQ(DriveRecord(2)[5], 3000);
  EXPECT_EQ(host_.notified, (std::vector<int>{128, 128, 2, 2})) << "objects report record 128";
}

TEST_P(SettingsPageTestStyles, FiftyPercentIsWrittenAs8192AndFiveHundredLinesAs2000) {
  ShowPage();
  Enter(C::kIdIdleLevel, "25");
  Enter(C::kIdIdleLevel, "50");
  EXPECT_EQ(log_.objects.back(), (testing::ObjectWrite{0x2061, 0, 8192}));
  EXPECT_EQ(DriveRecord(2)[2], 8192);
  Enter(C::kIdEncoderLines, "250");  // 500 is the default: entered alone it would send nothing
  Enter(C::kIdEncoderLines, "500");
  ASSERT_FALSE(log_.words.empty());
  EXPECT_EQ(log_.words.back(), (testing::WordWrite{2, 14, 2000}));
}

TEST_P(SettingsPageTestStyles, CheckBoxesWriteOneAndZeroToTheirWords) {
  ShowPage();
  QCheckBox* invert = page_->CheckBox(C::kIdInvertRotation);
  ASSERT_FALSE(invert->isChecked());
  Click(C::kIdInvertRotation);
  EXPECT_EQ(log_.words, (std::vector<testing::WordWrite>{{2, 7, 1}}));
  EXPECT_EQ(DriveRecord(2)[7], 1);
  EXPECT_EQ(page_->Image()[7], 1) << "the page keeps its image in step";
  Click(C::kIdInvertRotation);
  EXPECT_EQ(DriveRecord(2)[7], 0);

  Click(C::kIdSmoothing);
  EXPECT_EQ(DriveRecord(2)[3], 1);
  EXPECT_EQ(host_.notified, (std::vector<int>{2, 2, 2}));

  // The hidden enable box changes only bit 0 of its word when its handler runs.
  ASSERT_TRUE(WriteWords(2, 4, 0x0006));
  ShowPage();
  page_->CheckBox(C::kIdInvertEnable)->click();
  EXPECT_EQ(DriveRecord(2)[4], 0x0007);
}

TEST_P(SettingsPageTestStyles, ABoxTheDriveDidNotTakeIsUntickedAgain) {
  ShowPage();
  SetSilent(true);
  Click(C::kIdInvertRotation);
  EXPECT_FALSE(page_->CheckBox(C::kIdInvertRotation)->isChecked());
  EXPECT_EQ(page_->Image()[7], 0);
  EXPECT_TRUE(host_.notified.empty());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].contains("did not answer"));
}

TEST_F(SettingsPageTest, ValuesOutsideTheLimitsShowInvalid) {
  ASSERT_TRUE(WriteWords(2, 5, 3001));
  SetLanguage(Language::German);
  ShowPage();
  EXPECT_EQ(Text(C::kIdIdleDelay), "ungültig");
  SetLanguage(Language::English);
  host_.connected = false;
  ShowPage();
  EXPECT_EQ(Text(C::kIdIdleDelay), "ungültig") << "not connected: nothing refreshed";
}

INSTANTIATE_TEST_SUITE_P(Drives, SettingsPageTestStyles, ::testing::ValuesIn(test::kSimReplyStyles),
                         test::ReplyStyleName);

}  // namespace
}  // namespace axtune
