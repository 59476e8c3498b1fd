// The bound combo box: which entry a drive value selects, what a choice writes and whom it tells,
// and what the list shows after a write the drive did not take.
#include "controls/axtune_combo_box.h"

#include <QTest>
#include <array>

#include "controls/axtune_property_page.h"
#include "tests/controls/sim_drive_fixture.h"

namespace axtune {
namespace {

using testing::ObjectWrite;
using testing::WordWrite;

constexpr std::array<int16_t, 4> kCodes = {0, 7, -1, 7};

class ComboTest : public testing::SimDriveTest {
 protected:
  void SetUp() override {
    SimDriveTest::SetUp();
    page_ = new CAxtunePropertyPage(164, &host_);
    page_->SetRecordNumber(3);
    list_ = new CAxtuneComboBox(page_, 1253);
    for (const char* text : {"zero", "seven", "minus one", "seven again"}) list_->addItem(text);
    list_->BindRecordWord(3, 0, kCodes);
    host_.show();
  }

  // What a choice with the mouse or the keyboard sends.
  void Choose(int entry) {
    list_->setCurrentIndex(entry);
    emit list_->activated(entry);
  }

  CAxtunePropertyPage* page_ = nullptr;
  CAxtuneComboBox* list_ = nullptr;
};

TEST_F(ComboTest, RecordWordSelectsTheLastMatchingEntrySignExtended) {
  RecordImage image{};
  image[0] = 7;
  EXPECT_TRUE(list_->LoadFromRecord(image));
  EXPECT_EQ(list_->currentIndex(), 3) << "duplicate codes: the last one";
  image[0] = static_cast<int16_t>(0xFFFF);
  EXPECT_TRUE(list_->LoadFromRecord(image));
  EXPECT_EQ(list_->currentIndex(), 2) << "code -1 matches the word 0xFFFF";
  EXPECT_EQ(list_->itemData(2).toInt(), -1);
  image[0] = 15;
  EXPECT_FALSE(list_->LoadFromRecord(image));
  EXPECT_EQ(list_->currentIndex(), -1) << "no match: no selection";
}

TEST_F(ComboTest, AChoiceWritesOneWordAndNotifiesOnlyAChange) {
  Choose(1);
  EXPECT_EQ(log_.words, (std::vector<WordWrite>{{3, 0, 7}}));
  EXPECT_EQ(DriveRecord(3)[0], 7);
  EXPECT_EQ(host_.notified, std::vector<int>{3});
  Choose(1);
  EXPECT_EQ(log_.words.size(), 1u) << "the entry the drive holds, chosen again, sends nothing";
  EXPECT_EQ(host_.notified, (std::vector<int>{3}));
  Choose(2);
  EXPECT_EQ(log_.words.back(), (WordWrite{3, 0, 0xFFFF}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ComboTest, ObjectBoundListWritesTheObjectAndReadsItBack) {
  auto* mode = new CAxtuneComboBox(page_, 1300);
  for (const char* text : {"profile", "homing"}) mode->addItem(text);
  constexpr std::array<int16_t, 2> kModes = {-1, -7};
  mode->BindObject(0x6060, 0, 1, kModes);
  mode->setCurrentIndex(1);
  emit mode->activated(1);
  EXPECT_EQ(log_.objects, (std::vector<ObjectWrite>{{0x6060, 0, 0xFFFFFFF9}})) << "sign-extended";
  EXPECT_EQ(host_.notified, std::vector<int>{128});
  // The drive hands back the single byte 0xF9, which no sign-extended code equals.
  EXPECT_FALSE(mode->ReadFromDrive());
  EXPECT_EQ(mode->currentIndex(), -1);
  EXPECT_FALSE(list_->ReadFromDrive()) << "not object-bound";
}

TEST_F(ComboTest, AChoiceTheDriveDidNotTakePutsThePreviousOneBack) {
  RecordImage image{};
  image[0] = 0;
  list_->LoadFromRecord(image);
  SetSilent(true);
  Choose(1);
  EXPECT_EQ(list_->currentIndex(), 0);
  EXPECT_TRUE(host_.notified.empty());
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].contains("did not answer"));
}

}  // namespace
}  // namespace axtune
