// Identification record 128: the General page's texts and the two numbers it publishes.
#include "core/drive_identity.h"

#include <gtest/gtest.h>

#include <memory>

#include "link/drive_link.h"
#include "pages/drive_property_page.h"
#include "res/strings.h"
#include "tests/app/gui_test_support.h"

namespace axtune {
namespace {

std::array<int16_t, 15> Record(int16_t type, uint16_t version, int16_t build, int16_t test,
                               int16_t count = 65) {
  std::array<int16_t, 15> r{};
  r[0] = type;
  r[1] = static_cast<int16_t>(version);
  r[2] = build;
  r[3] = test;
  r[6] = count;
  return r;
}

TEST(DriveIdentity, VersionTextAndNumber) {
  DriveIdentity id = DecodeIdentification(Record(1025, 0x0401, 7, 0));
  EXPECT_EQ(id.typeText, "QMX10-BA");
  EXPECT_EQ(id.versionText, "4.1.7 ") << "normal firmware ends in a blank";
  EXPECT_EQ(id.versionNumber, 4001);
  EXPECT_EQ(id.recordCount, 65);

  EXPECT_EQ(DecodeIdentification(Record(1025, 0x0401, 7, 1)).versionText, "4.1.7 Testversion");
  EXPECT_EQ(DecodeIdentification(Record(1025, 0x0401, 7, 2)).versionText, "4.1.7 ") << "only 1 marks a test";
  // The major number comes from the sign-extended word.
  id = DecodeIdentification(Record(1025, 0xFF05, -1, 0));
  EXPECT_EQ(id.versionText, "-1.5.-1 ");
  EXPECT_EQ(id.versionNumber, -995);
}

TEST(DriveIdentity, DeviceTypes) {
  SetLanguage(Language::English);
  EXPECT_EQ(DriveTypeText(1026), "QMX10-PB");
  EXPECT_EQ(DriveTypeText(1027), "QMX10-CB");
  EXPECT_EQ(DriveTypeText(1028), "QMX10-ET");
  EXPECT_EQ(DriveTypeText(1029), "nicht unterstütztes Gerät") << "German in both languages";
  EXPECT_EQ(DecodeIdentification(Record(1029, 0x0302, 1, 0)).versionText, "3.2.1 ") << "still shown";
  EXPECT_FALSE(IsSupportedDriveType(1024));
  EXPECT_TRUE(IsSupportedDriveType(1025));
  EXPECT_TRUE(IsSupportedDriveType(1028));
  EXPECT_FALSE(IsSupportedDriveType(1029));
}

// The General page reads record 128 on every showing and hiding, connected or not, and clears its
// fields silently when the read fails.
class GeneralPageTest : public testing::GuiTest {
 protected:
  void SetUp() override {
    SetLanguage(Language::German);
    SetFirmwareVersionNumber(-1);
    SetRecordCount(0);
    ASSERT_TRUE(OpenLink("fake:general-page"));
    window_.resize(300, 200);
    window_.show();
    page_ = new CDrivePropertyPage(&window_);
    page_->hide();
  }
  void TearDown() override {
    CloseLink();
    SetLanguage(Language::English);
  }

  std::shared_ptr<testing::FakeLine> line_ = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort port_{"fake:general-page", line_};
  testing::ScriptedDrive drive_{line_};
  testing::UiRecorder ui_;
  QWidget window_;  // no main window: the page does not ask whether a drive is connected
  CDrivePropertyPage* page_ = nullptr;
};

TEST_F(GeneralPageTest, ShowsAndPublishesTheIdentification) {
  EXPECT_EQ(page_->DriveTypeText(), "Drive") << "initial text";
  EXPECT_EQ(page_->findChild<QLabel*>("1140")->isVisibleTo(page_), false) << "the record count stays hidden";
  drive_.setRecord(kIdentificationRecord, testing::IdentificationRecord(1028, 0x0401, 7, 1, 70));
  page_->show();
  EXPECT_EQ(page_->DriveTypeText(), "QMX10-ET");
  EXPECT_EQ(page_->FirmwareVersionText(), "4.1.7 Testversion");
  EXPECT_EQ(page_->RecordCountText(), "70");
  EXPECT_EQ(FirmwareVersionNumber(), 4001);
  EXPECT_EQ(RecordCount(), 70);
  page_->hide();
  EXPECT_EQ(drive_.reads(kIdentificationRecord), 2) << "switching away reads record 128 once more";
}

TEST_F(GeneralPageTest, FailedReadClearsTypeAndVersionSilently) {
  drive_.setRecord(kIdentificationRecord, testing::IdentificationRecord(1025, 0x0203, 4, 0, 65));
  page_->show();
  drive_.setBadChecksum(kIdentificationRecord, true);
  page_->hide();
  EXPECT_EQ(page_->DriveTypeText(), "");
  EXPECT_EQ(page_->FirmwareVersionText(), "");
  EXPECT_EQ(page_->RecordCountText(), "65") << "the count keeps its value";
  EXPECT_EQ(FirmwareVersionNumber(), 2003);
  EXPECT_EQ(RecordCount(), 65);
  EXPECT_TRUE(ui_.messages.empty()) << "unlike the other pages, no message";
}

}  // namespace
}  // namespace axtune
