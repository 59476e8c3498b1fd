// The Settings page against a drive that shares no code with the simulator (tests/support/
// protocol_peer.h), which repeats single-word requests and answers record writes with its record.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTest>

#include "controls/axtune_edit.h"
#include "controls/page_host.h"
#include "core/drive_identity.h"
#include "link/drive_link.h"
#include "link/sleeper.h"
#include "link/testing/fake_serial_port.h"
#include "pages/settings_property_page.h"
#include "res/strings.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/protocol_peer.h"

namespace axtune {
namespace {

using C = CSettingsPropertyPage;

class Host : public QWidget, public PageHost {
 public:
  bool IsConnected() const override { return true; }
  void NotifyParameterChanged(int record) override { notified.push_back(record); }
  std::vector<int> notified;
};

class PeerSettingsPageTest : public testing::GuiTest {
 protected:
  static constexpr const char* kDevice = "peer:settings-page";

  void SetUp() override {
    SetLanguage(Language::English);
    SetFirmwareVersionNumber(4001);
    line_->setResponder(peer_.responder());
    // Check boxes off: smoothing, enable inversion, direction inversion.
    test::ProtocolPeer::Record settings = peer_.record(2);
    settings[3] = settings[4] = settings[7] = 0;
    peer_.setRecord(2, settings);
    ASSERT_TRUE(OpenLink(kDevice));
    page_ = new C(&host_);
    host_.resize(700, 500);
    host_.show();
    host_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
    page_->hide();
    page_->show();
  }
  void TearDown() override {
    CloseLink();
    SetFirmwareVersionNumber(-1);
  }

  test::ProtocolPeer peer_{20};
  std::shared_ptr<testing::FakeLine> line_ = std::make_shared<testing::FakeLine>();
  testing::ScopedFakePort port_{kDevice, line_};
  testing::UiRecorder ui_;
  Host host_;
  C* page_ = nullptr;
};

TEST_F(PeerSettingsPageTest, CheckBoxesAndRecordFieldsWriteWithoutAComplaint) {
  EXPECT_EQ(page_->Field(C::kIdIdleDelay)->text(), "205") << "record 2 word 5 of the peer";

  QCheckBox* invert = page_->CheckBox(C::kIdInvertRotation);
  QTest::mouseClick(invert, Qt::LeftButton, {}, QPoint(8, invert->height() / 2));
  EXPECT_TRUE(invert->isChecked());
  EXPECT_EQ(peer_.record(2)[7], 1);

  CAxtuneEdit* delay = page_->Field(C::kIdIdleDelay);
  delay->setFocus();
  delay->selectAll();
  QTest::keyClicks(delay, "3000");
  QTest::keyClick(delay, Qt::Key_Return);
  EXPECT_EQ(peer_.record(2)[5], 3000);
  EXPECT_EQ(delay->text(), "3000");

  EXPECT_TRUE(ui_.messages.empty()) << ui_.messages.front().toStdString();
  EXPECT_EQ(host_.notified, (std::vector<int>{2, 2}));
  EXPECT_EQ(peer_.wordWrites(), 2);
}

}  // namespace
}  // namespace axtune
