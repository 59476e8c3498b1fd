// The pages, the status panel's buttons and the Start/Stop of a profile and of homing against the
// reference drive in every reply style, offscreen, through the page objects: every write reaches the
// drive (its log) and none is reported as failed (no message box), whatever the reply's open words.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/status_dialog.h"
#include "controls/axtune_combo_box.h"
#include "controls/page_host.h"
#include "core/drive_identity.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "pages/debug_edit.h"
#include "pages/debug_property_page.h"
#include "pages/fahrsatz_property_page.h"
#include "pages/outputs_property_page.h"
#include "pages/pins_property_page.h"
#include "pages/referenzfahrt_property_page.h"
#include "pages/settings_property_page.h"
#include "res/strings.h"
#include "tests/app/gui_test_support.h"
#include "tests/interop/textdrive_peer.h"

namespace axtune::interop {
namespace {

class Host : public QWidget, public PageHost {
 public:
  bool IsConnected() const override { return true; }
  void NotifyParameterChanged(int record) override { notified.push_back(record); }
  std::vector<int> notified;
};

// The application exists before the fixture's widgets are built.
struct WithApplication {
  WithApplication() { testing::EnsureApplication(); }
};

class PagesInterop : public WithApplication, public ::testing::TestWithParam<PeerStyle> {
 protected:
  void SetUp() override {
    std::string why;
    drive_ = TextDrive::For(GetParam(), &why);
    if (drive_ == nullptr) GTEST_SKIP() << why;
    SetLanguage(Language::English);
    SetFirmwareVersionNumber(4001);
    SetRecordCount(20);
    ASSERT_TRUE(OpenLink(drive_->device())) << LastOpenErrorText();
    host_.resize(760, 560);
    host_.show();
    mark_ = drive_->mark();
  }
  void TearDown() override {
    if (drive_ == nullptr) return;
    CloseLink();
    drive_->awaitNoClient();
    SetFirmwareVersionNumber(-1);
    SetRecordCount(0);
  }

  template <typename W = QWidget>
  W* Control(QWidget* page, int id) {
    W* w = page->findChild<W*>(QString::number(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
  }
  void Enter(QWidget* page, int id, const QString& text) {
    auto* edit = Control<QLineEdit>(page, id);
    if (edit == nullptr) return;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  // Picks another entry of a list as the user does; the code it stands for.
  void ChooseAnother(QComboBox* list) {
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->count(), 1);
    const int index = (list->currentIndex() + 1) % list->count();
    list->setCurrentIndex(index);
    emit list->activated(index);
  }
  // The object writes of (index, sub) since the test began.
  std::vector<JsonValue> objectWrites(long long index, long long sub) const {
    return Where(Where(drive_->since(mark_, "object-write"), "index", index), "sub", sub);
  }
  std::vector<JsonValue> wordWrites(long long record, long long word) const {
    return Where(Where(drive_->since(mark_, "word"), "rec", record), "idx", word);
  }
  std::string messages() const {
    std::string all;
    for (const QString& m : ui_.messages) all += m.toStdString() + "\n";
    return all;
  }
  // A value only this test writes, so that an earlier test's write cannot pass for it.
  int fresh(int base) const { return base + static_cast<int>(mark_ % 89); }

  TextDrive* drive_ = nullptr;
  size_t mark_ = 0;
  testing::UiRecorder ui_;
  Host host_;
};

TEST_P(PagesInterop, SettingsPageEditAndCheckBox) {
  using C = CSettingsPropertyPage;
  auto* page = new C(&host_);
  page->show();
  const int current = fresh(1200);
  Enter(page, C::kIdMotorCurrent, QString::number(current));
  const auto writes = objectWrites(0x6075, 0);
  ASSERT_EQ(writes.size(), 1u) << messages();
  EXPECT_EQ(writes[0]["value"].integer(), current);
  EXPECT_TRUE(writes[0]["accepted"].boolean);
  EXPECT_EQ(page->Field(C::kIdMotorCurrent)->text(), QString::number(current));

  // Leaving the page (another tab) writes nothing back.
  page->hide();
  page->show();
  EXPECT_EQ(objectWrites(0x6075, 0).size(), 1u);

  QCheckBox* invert = page->CheckBox(C::kIdInvertRotation);
  const bool was = invert->isChecked();
  QTest::mouseClick(invert, Qt::LeftButton, {}, QPoint(8, invert->height() / 2));
  const auto word = wordWrites(2, C::kWordInvertRotation);
  ASSERT_EQ(word.size(), 1u) << messages();
  EXPECT_EQ(word[0]["kept"].integer() & 1, was ? 0 : 1);
  EXPECT_TRUE(ui_.messages.empty()) << messages();
}

TEST_P(PagesInterop, InputAndOutputListsWriteTheirWords) {
  auto* inputs = new CPinsPropertyPage(&host_);
  inputs->show();
  ChooseAnother(inputs->Lists()[0]);
  const auto input = wordWrites(CPinsPropertyPage::kRecord, 0);
  ASSERT_EQ(input.size(), 1u) << messages();
  EXPECT_EQ(input[0]["kept"].integer(), input[0]["value"].integer());
  inputs->hide();

  auto* outputs = new COutputsPropertyPage(&host_);
  outputs->show();
  ChooseAnother(outputs->Lists()[0]);
  EXPECT_EQ(wordWrites(COutputsPropertyPage::kRecord, 0).size(), 1u) << messages();
  EXPECT_TRUE(ui_.messages.empty()) << messages();
}

TEST_P(PagesInterop, ProfilesPageEditCheckBoxAndStartStop) {
  using P = CFahrsatzPropertyPage;
  auto* page = new P(&host_);
  page->resize(700, 520);
  page->show();
  const int velocity = fresh(1000);
  Enter(page, P::kIdVelocity, QString::number(velocity));
  EXPECT_FALSE(objectWrites(P::kObjectProfile, P::kSubVelocity).empty()) << messages();
  for (const JsonValue& w : objectWrites(P::kObjectProfile, P::kSubVelocity))
    EXPECT_TRUE(w["accepted"].boolean);

  auto* wait = Control<QCheckBox>(page, P::kIdWaitActive);
  ASSERT_NE(wait, nullptr);
  if (wait->isEnabled()) {
    QTest::mouseClick(wait, Qt::LeftButton, {}, QPoint(8, wait->height() / 2));
    EXPECT_FALSE(objectWrites(P::kObjectProfile, P::kSubFlags).empty()) << messages();
  }

  const size_t before = drive_->mark();
  page->OnStart();
  page->OnStop();
  const auto control = Where(drive_->since(before, "object-write"), "index", 0x6040);
  ASSERT_GE(control.size(), 2u) << messages();
  for (const JsonValue& w : control) EXPECT_TRUE(w["accepted"].boolean);
  EXPECT_EQ(control.back()["value"].integer() & 0x100, 0x100) << "Stop halts";
  EXPECT_TRUE(ui_.messages.empty()) << messages();
}

TEST_P(PagesInterop, HomingPageListEditAndStartStop) {
  using H = CReferenzfahrtPropertyPage;
  auto* page = new H(&host_);
  page->resize(700, 520);
  page->show();
  ChooseAnother(Control<QComboBox>(page, H::kIdMethod));
  const auto method = objectWrites(0x6098, 0);
  ASSERT_EQ(method.size(), 1u) << messages();
  EXPECT_TRUE(method[0]["accepted"].boolean);

  const int velocity = fresh(3000);
  Enter(page, H::kIdVelocity, QString::number(velocity));
  EXPECT_FALSE(objectWrites(0x2024, 3).empty()) << messages();

  const size_t before = drive_->mark();
  page->OnStart();
  page->OnStop();
  EXPECT_GE(Where(drive_->since(before, "object-write"), "index", 0x6040).size(), 2u);
  const auto mode = Where(drive_->since(before, "object-write"), "index", 0x6060);
  ASSERT_FALSE(mode.empty());
  EXPECT_TRUE(mode[0]["accepted"].boolean);
  EXPECT_TRUE(ui_.messages.empty()) << messages();
}

TEST_P(PagesInterop, DebugPageWritesTheRecord) {
  auto* page = new CDebugPropertyPage(&host_);
  page->show();
  page->RecordEdit()->setText("6");
  page->OnRecordEditLeft();
  const int value = fresh(500);
  page->WordEdit(3)->setText(QString::number(value));
  page->OnWrite();
  const auto writes = Where(drive_->since(mark_, "write"), "rec", 6);
  ASSERT_EQ(writes.size(), 1u) << messages();
  EXPECT_EQ(writes[0]["kept"][3].integer(), value);
  EXPECT_TRUE(ui_.messages.empty()) << messages();
}

TEST_P(PagesInterop, StatusPanelButtonsSendTheControlword) {
  // From the drive's "ready" state (its first 0.3 s it is not ready and ignores the controlword).
  drive_->awaitState("ready", [] { WriteObject(0x6040, 0, 2, 0); });
  mark_ = drive_->mark();
  CStatusDialog panel;
  panel.SetDriveIdentified(true);
  panel.show();
  // Each button as the drive's state enables it (the panel reads the drive before every click):
  // Switch On, Operation, Quickstop; Reset Fault only while the drive is in fault (below).
  std::vector<int> clicked;
  for (int id : {1243, 1246, 1248, 1242}) {
    ASSERT_TRUE(panel.Tick());
    auto* button = panel.findChild<QPushButton*>(QString::number(id));
    ASSERT_NE(button, nullptr) << id;
    if (!button->isEnabled()) continue;
    button->click();
    clicked.push_back(id);
  }
  EXPECT_EQ(clicked, (std::vector<int>{1243, 1246, 1248}));
  const auto control = objectWrites(0x6040, 0);
  ASSERT_EQ(control.size(), clicked.size());
  EXPECT_EQ(control[0]["value"].integer(), 0x05);
  EXPECT_EQ(control[1]["value"].integer(), 0x0D);
  EXPECT_EQ(control[2]["value"].integer(), 0x09);
  for (const JsonValue& w : control) EXPECT_TRUE(w["accepted"].boolean);
  const auto states = drive_->since(mark_, "state");
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back()["state"].string, "quick-stop");
  EXPECT_TRUE(ui_.messages.empty()) << messages();
}

// Reset Fault, which the panel enables only while the drive is in fault: a drive of each style that
// starts in fault.
class FaultResetInterop : public PagesInterop {};

TEST_P(FaultResetInterop, ResetFaultTakesTheDriveOutOfFault) {
  CStatusDialog panel;
  panel.SetDriveIdentified(true);
  panel.show();
  ASSERT_TRUE(panel.Tick());
  auto* reset = panel.findChild<QPushButton*>(QStringLiteral("1242"));
  ASSERT_NE(reset, nullptr);
  ASSERT_TRUE(reset->isEnabled()) << "the drive reports error 5";
  reset->click();
  const auto control = objectWrites(0x6040, 0);
  ASSERT_EQ(control.size(), 1u);
  EXPECT_EQ(control[0]["value"].integer(), 0x80);
  EXPECT_TRUE(control[0]["accepted"].boolean);
  ASSERT_TRUE(panel.Tick());
  EXPECT_FALSE(reset->isEnabled()) << "the fault is gone";
  EXPECT_TRUE(ui_.messages.empty()) << messages();
}

std::vector<PeerStyle> FaultStyles() {
  std::vector<PeerStyle> styles;
  for (const PeerStyle& style : AllPeerStyles()) styles.push_back(InFault(style, 5));
  return styles;
}

INSTANTIATE_TEST_SUITE_P(Styles, FaultResetInterop, ::testing::ValuesIn(FaultStyles()),
                         [](const ::testing::TestParamInfo<PeerStyle>& info) {
                           return PeerStyleName(info.param);
                         });

INSTANTIATE_TEST_SUITE_P(Styles, PagesInterop, ::testing::ValuesIn(AllPeerStyles()),
                         [](const ::testing::TestParamInfo<PeerStyle>& info) {
                           return PeerStyleName(info.param);
                         });

}  // namespace
}  // namespace axtune::interop
