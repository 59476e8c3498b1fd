// The page base: when it reads its record, what it says when that fails, and whom it tells about
// a change.
#include "controls/axtune_property_page.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/page_host.h"
#include "controls/record_read_text.h"
#include "link/drive_link.h"
#include "res/strings.h"
#include "tests/app/gui_test_support.h"

namespace axtune {
namespace {

class TestHost : public QWidget, public PageHost {
 public:
  bool IsConnected() const override { return connected; }
  void NotifyParameterChanged(int record) override { notified.push_back(record); }
  bool connected = true;
  std::vector<int> notified;
};

class PropertyPageTest : public testing::GuiTest {
 protected:
  static constexpr int kRecord = 2;

  void SetUp() override {
    SetLanguage(Language::English);
    ASSERT_TRUE(OpenLink("fake:page-drive"));
    host_.resize(200, 100);
    host_.show();
    page_ = new CAxtunePropertyPage(149, &host_);
    page_->SetRecordNumber(kRecord);
    page_->hide();
  }
  void TearDown() override { CloseLink(); }

  // Hides and shows the page as a tab switch does.
  void ShowAgain() {
    page_->hide();
    page_->show();
  }

  std::shared_ptr<testing::FakeLine> line_ = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort port_{"fake:page-drive", line_};
  testing::ScriptedDrive drive_{line_};
  testing::UiRecorder ui_;
  TestHost host_;
  CAxtunePropertyPage* page_ = nullptr;
};

TEST_F(PropertyPageTest, ShownPageReadsItsRecordIntoTheImage) {
  RecordWords words{};
  words[0] = 0xFFFF;
  words[14] = 1234;
  drive_.setRecord(kRecord, words);
  page_->show();
  EXPECT_EQ(drive_.reads(kRecord), 1);
  EXPECT_EQ(page_->Image()[0], -1) << "image words are signed";
  EXPECT_EQ(page_->Image()[14], 1234);
  EXPECT_TRUE(ui_.messages.empty());

  page_->hide();
  EXPECT_EQ(drive_.reads(kRecord), 1) << "hiding reads nothing";
  EXPECT_FALSE(page_->ReadRecordOnShow(false));
}

TEST_F(PropertyPageTest, DisconnectedPageNeitherReadsNorComplains) {
  host_.connected = false;
  page_->show();
  EXPECT_FALSE(page_->ReadRecordOnShow(true));
  EXPECT_EQ(drive_.reads(kRecord), 0);
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(PropertyPageTest, FailedReadsSayWhyOncePerShowingAndKeepTheImage) {
  RecordWords words{};
  words[3] = 77;
  drive_.setRecord(kRecord, words);
  page_->show();
  ASSERT_EQ(page_->Image()[3], 77);

  drive_.setBadChecksum(kRecord, true);
  ShowAgain();
  ShowAgain();
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[0], "wrong checksum");
  EXPECT_EQ(page_->Image()[3], 77) << "a failed read leaves the image as it was";

  // A record the drive does not answer at all.
  page_->SetRecordNumber(9);
  ShowAgain();
  ASSERT_EQ(ui_.messages.size(), 3u);
  EXPECT_EQ(ui_.messages[2], "Cannot read data");
}

TEST(RecordReadFailureText, ChosenByTheLinkError) {
  SetLanguage(Language::German);
  EXPECT_EQ(RecordReadFailureText(kLinkBadChecksum), "wrong checksum") << "fixed English text";
  EXPECT_EQ(RecordReadFailureText(kLinkNoReply), "Datensatz nicht gelesen");
  EXPECT_EQ(RecordReadFailureText(kLinkShortReply), "unkown error");
  EXPECT_EQ(RecordReadFailureText(kLinkDriveErrorBase + 3), "unkown error");
  SetLanguage(Language::English);
  EXPECT_EQ(RecordReadFailureText(kLinkNoReply), "Cannot read data");
}

TEST_F(PropertyPageTest, ChangesReachTheHostWithTheRecordNumber) {
  page_->NotifyParameterChanged();
  page_->NotifyParameterChanged(kObjectRecord);
  EXPECT_EQ(host_.notified, (std::vector<int>{kRecord, kObjectRecord}));
  EXPECT_EQ(page_->Title(), "Settings");
  EXPECT_EQ(page_->palette().color(QPalette::Window), QColor(79, 164, 163));
}

}  // namespace
}  // namespace axtune
