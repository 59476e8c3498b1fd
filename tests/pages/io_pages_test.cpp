// The Inputs and Outputs pages on the simulated drive: their lists and codes, the selections that
// showing the page makes, and what a choice with the mouse leaves in the drive.
#include <QAbstractItemView>
#include <QTest>

#include "pages/outputs_property_page.h"
#include "pages/pins_property_page.h"
#include "res/strings.h"
#include "tests/controls/sim_drive_fixture.h"

namespace axtune {
namespace {

using testing::WordWrite;

std::vector<std::pair<QString, int>> Entries(const QComboBox* list) {
  std::vector<std::pair<QString, int>> entries;
  for (int i = 0; i < list->count(); ++i) entries.emplace_back(list->itemText(i), list->itemData(i).toInt());
  return entries;
}

// Opens the drop-down list and clicks the entry, as the user does.
void ClickEntry(QComboBox* list, int entry) {
  list->showPopup();
  QAbstractItemView* view = list->view();
  const QRect rect = view->visualRect(view->model()->index(entry, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

template <typename Page>
class ListPageTest : public testing::SimDriveTest {
 protected:
  void SetUp() override {
    SimDriveTest::SetUp();
    page_ = new Page(&host_);
    page_->hide();
    host_.show();
  }
  void ShowPage() {
    page_->hide();
    page_->show();
  }
  CAxtuneComboBox* List(int id) { return page_->template findChild<CAxtuneComboBox*>(QString::number(id)); }
  Page* page_ = nullptr;
};

using InputsPageTest = ListPageTest<CPinsPropertyPage>;
using OutputsPageTest = ListPageTest<COutputsPropertyPage>;

using InputsPageTestStyles = test::InEveryReplyStyle<InputsPageTest>;
using OutputsPageTestStyles = test::InEveryReplyStyle<OutputsPageTest>;

TEST_F(InputsPageTest, ListsOfferTheirFunctionsInOrderWithTheirCodes) {
  SetLanguage(Language::German);
  CPinsPropertyPage german;
  SetLanguage(Language::English);
  const auto functions = Entries(german.Lists()[3]);
  ASSERT_EQ(functions.size(), 15u);
  EXPECT_EQ(functions[0], std::make_pair(QString("keine Funktion"), 0));
  EXPECT_EQ(functions[1], std::make_pair(QString("unterer Endschalter"), 1));
  EXPECT_EQ(functions[9], std::make_pair(QString("Referenzfahrt"), 9));
  EXPECT_EQ(functions[13], std::make_pair(QString("Fahrsatz 2 tippen"), 13));
  for (int i = 0; i < 15; ++i) EXPECT_EQ(functions[static_cast<size_t>(i)].second, i);

  const auto& lists = page_->Lists();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(lists[static_cast<size_t>(i)]->ControlId(), 1253 + i);
    EXPECT_EQ(lists[static_cast<size_t>(i)]->Codes().Word(), i);
    EXPECT_EQ(lists[static_cast<size_t>(i)]->Codes().Record(), 3);
  }
  EXPECT_EQ(Entries(List(1253))[14], std::make_pair(QString("Profile 3 jogging"), 14));
  EXPECT_EQ(Entries(List(1263)), (std::vector<std::pair<QString, int>>{{"None", 0}, {"Enable", 10}}));
  EXPECT_EQ(Entries(List(1264)), (std::vector<std::pair<QString, int>>{{"Step", 0}}));
  EXPECT_EQ(Entries(List(1237)), (std::vector<std::pair<QString, int>>{{"Direction", 0}}));
  EXPECT_EQ(lists[12]->ControlId(), 1237);
  EXPECT_EQ(lists[12]->Codes().Word(), 12);
}

TEST_F(InputsPageTest, ShowingSelectsWhatTheDriveHoldsAndUnknownCodesSelectNothing) {
  ShowPage();
  EXPECT_EQ(List(1253)->currentText(), "Limit switch low");
  EXPECT_EQ(List(1261)->currentText(), "Homing");
  EXPECT_EQ(List(1262)->currentText(), "None");
  EXPECT_EQ(List(1263)->currentText(), "Enable");
  EXPECT_EQ(List(1264)->currentIndex(), 0);

  ASSERT_TRUE(WriteWords(3, 0, 15));
  ASSERT_TRUE(WriteWords(3, 10, 5));
  ShowPage();
  EXPECT_EQ(List(1253)->currentIndex(), -1);
  EXPECT_EQ(List(1263)->currentIndex(), -1) << "5 is an input function, not an enable choice";
}

TEST_P(InputsPageTestStyles, Profile2JoggingOnDE4Writes13ToWord3) {
  ShowPage();
  log_.clear();
  ClickEntry(List(1256), 13);
  EXPECT_EQ(List(1256)->currentText(), "Profile 2 jogging");
  EXPECT_EQ(log_.words, (std::vector<WordWrite>{{3, 3, 13}}));
  EXPECT_EQ(DriveRecord(3)[3], 13);
  EXPECT_EQ(host_.notified, std::vector<int>{3});
}

TEST_F(InputsPageTest, WithoutADriveThePreviousImageComesBack) {
  ShowPage();
  ClickEntry(List(1253), 0);
  ASSERT_EQ(DriveRecord(3)[0], 0);
  host_.connected = false;
  ShowPage();
  EXPECT_EQ(List(1253)->currentText(), "Limit switch low") << "the image from the last read";
  EXPECT_TRUE(ui_.messages.empty());

  // A failed read refreshes from the previous image too, after its message.
  host_.connected = true;
  SetSilent(true);
  ShowPage();
  EXPECT_EQ(ui_.messages, std::vector<QString>{"Cannot read data"});
  EXPECT_EQ(List(1253)->currentText(), "Limit switch low");
}

TEST_F(OutputsPageTest, ListsAndTheirWords) {
  const auto& lists = page_->Lists();
  const std::vector<int> ids = {1269, 1270, 1271, 1272, 1273, 1274, 1275, 1276, 1278};
  const std::vector<int> words = {0, 1, 2, 3, 8, 4, 5, 6, 7};
  for (size_t i = 0; i < lists.size(); ++i) {
    EXPECT_EQ(lists[i]->ControlId(), ids[i]);
    EXPECT_EQ(lists[i]->Codes().Word(), words[i]);
  }
  EXPECT_EQ(Entries(List(1271)),
            (std::vector<std::pair<QString, int>>{
                {"None", 0}, {"Ready", 1}, {"Enabled", 2}, {"Target reached", 3}, {"Error", 4}}));
  EXPECT_EQ(Entries(List(1278)),
            (std::vector<std::pair<QString, int>>{{"0 mA", 0}, {"10 mA", 1}, {"20 mA", 2}, {"30 mA", 3}}));
  EXPECT_EQ(Entries(List(1273)), (std::vector<std::pair<QString, int>>{{"Enabled", 2}}));
}

TEST_P(OutputsPageTestStyles, TwentyMilliampereOnDA3Writes2ToWord6) {
  ASSERT_TRUE(WriteWords(4, 6, 0));
  ShowPage();
  ASSERT_EQ(List(1276)->currentText(), "0 mA");
  log_.clear();
  ClickEntry(List(1276), 2);
  EXPECT_EQ(log_.words, (std::vector<WordWrite>{{4, 6, 2}}));
  EXPECT_EQ(DriveRecord(4)[6], 2);
  EXPECT_EQ(host_.notified, std::vector<int>{4});
}

TEST_F(OutputsPageTest, CodesTheListsDoNotOfferSelectNothing) {
  ASSERT_TRUE(WriteWords(4, 8, 3));
  ASSERT_TRUE(WriteWords(4, 7, 4));
  ShowPage();
  EXPECT_EQ(List(1273)->currentIndex(), -1);
  EXPECT_EQ(List(1278)->currentIndex(), -1);
  EXPECT_EQ(List(1269)->currentText(), "Ready");

  ClickEntry(List(1273), 0);
  EXPECT_EQ(DriveRecord(4)[8], 2) << "its only entry writes 2";
  EXPECT_EQ(host_.notified, std::vector<int>{4});
}

INSTANTIATE_TEST_SUITE_P(Drives, InputsPageTestStyles, ::testing::ValuesIn(test::kSimReplyStyles),
                         test::ReplyStyleName);
INSTANTIATE_TEST_SUITE_P(Drives, OutputsPageTestStyles, ::testing::ValuesIn(test::kSimReplyStyles),
                         test::ReplyStyleName);

}  // namespace
}  // namespace axtune
