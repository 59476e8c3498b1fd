// The Profiles page against the simulated drive: binding to a profile, stepping between profiles,
// the flag controls and their rules, the start and stop sequences, and what the page says when the
// drive does not answer.
#include "pages/fahrsatz_property_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "pages/profile_flags.h"
#include "tests/pages/motion_page_test_support.h"

namespace axtune {
namespace {

using testing::Access;
using testing::Object;
using testing::Read;
using testing::Word;
using Page = CFahrsatzPropertyPage;

constexpr uint16_t kProfileObject = 0x2022;

class ProfilesPageTest : public testing::MotionPageTest {
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
  bool Enabled(int id) { return Control(id)->isEnabled(); }
  bool Checked(int id) { return Control<QAbstractButton>(id)->isChecked(); }
  // Shows the page (the first showing binds its controls) and forgets what that sent.
  void ShowPage() {
    page_->show();
    clearAccesses();
    host_.notified.clear();
  }
  void StepTo(int n) {
    while (page_->Profile() != n) page_->OnProfileStep(page_->Profile(), n > page_->Profile() ? 1 : -1);
    clearAccesses();
    host_.notified.clear();
  }
  // Types into a field and commits it with Enter.
  void Enter(int id, const QString& text) {
    auto* edit = Control<QLineEdit>(id);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
  }
  // A click as the user makes it (the button's own click, wherever its text ends).
  void Click(int id) { Control<QAbstractButton>(id)->click(); }

  Page* page_ = nullptr;
};

using ProfilesPageTestStyles = test::InEveryReplyStyle<ProfilesPageTest>;

TEST_F(ProfilesPageTest, FirstShowingPointsTheSelectorAtProfile0ThenReadsIt) {
  page_->show();
  const auto sent = accesses();
  ASSERT_EQ(sent.size(), 2u) << "refreshing from the record image sends nothing more";
  EXPECT_EQ(sent[0], Object(kProfileObject, 5, 2, 0)) << "the selector goes before every other access";
  EXPECT_EQ(sent[1], Read(14));

  // Profile 0 of the simulated drive: absolute to 10000 at 4000 steps/s, ramps of 20000 steps/s^2.
  EXPECT_EQ(TextOf(Page::kIdPosition), "10000");
  EXPECT_EQ(TextOf(Page::kIdVelocity), "4000");
  EXPECT_EQ(TextOf(Page::kIdAccel), "20003");  // raw 839: the drive's resolution shows
  EXPECT_EQ(TextOf(Page::kIdDecel), "20003");
  EXPECT_EQ(TextOf(Page::kIdWaitTime), "0");
  EXPECT_EQ(Control<QLabel>(Page::kIdPositionLabel)->text(), "Target position");
  EXPECT_TRUE(Checked(Page::kIdAbsolute));
  EXPECT_EQ(page_->IconId(), 158);
  EXPECT_EQ(Control<QSpinBox>(Page::kIdProfileNumber)->value(), 0);

  // The ramps show as accelerations; their time fields stay hidden, and so does the SI check box.
  for (int id : {Page::kIdAccel, Page::kIdDecel, Page::kIdAccelLabel, Page::kIdDecelLabel})
    EXPECT_TRUE(Control(id)->isVisible()) << id;
  for (int id : {Page::kIdAccelTime, Page::kIdDecelTime, Page::kIdAccelTimeLabel, Page::kIdDecelTimeLabel,
                 Page::kIdSiUnits})
    EXPECT_FALSE(Control(id)->isVisible()) << id;
  EXPECT_EQ(Control<QLabel>(Page::kIdAccelTimeResult)->text(), " ");

  // Each later showing reads the record again but binds nothing.
  page_->hide();
  clearAccesses();
  page_->show();
  EXPECT_EQ(accesses(), std::vector<Access>{Read(14)});
}

TEST_F(ProfilesPageTest, SteppingRebindsWritesTheSelectorAndStopsAtTheEnds) {
  ShowPage();
  page_->OnProfileStep(0, -1);
  EXPECT_EQ(page_->Profile(), 0);
  EXPECT_EQ(accesses(), (std::vector<Access>{Object(kProfileObject, 5, 2, 0), Read(14)}))
      << "stepping below 0 stays on 0 and still reads it again";

  clearAccesses();
  page_->OnProfileStep(0, 3);
  EXPECT_EQ(page_->Profile(), 3);
  EXPECT_EQ(page_->RecordNumber(), 17);
  EXPECT_EQ(accesses(), (std::vector<Access>{Object(kProfileObject, 5, 2, 3), Read(17)}));
  EXPECT_EQ(Control<QSpinBox>(Page::kIdProfileNumber)->value(), 3);
  // Profile 3: 5000 steps back, relative.
  EXPECT_EQ(TextOf(Page::kIdPosition), "-5000");
  EXPECT_EQ(TextOf(Page::kIdVelocity), "2000");
  EXPECT_EQ(Control<QLabel>(Page::kIdPositionLabel)->text(), "Distance");
  EXPECT_TRUE(Checked(Page::kIdRelative));

  page_->OnProfileStep(3, 100);
  EXPECT_EQ(page_->Profile(), 49);
  clearAccesses();
  page_->OnProfileStep(49, 1);
  EXPECT_EQ(page_->Profile(), 49);
  EXPECT_EQ(accesses(), (std::vector<Access>{Object(kProfileObject, 5, 2, 49), Read(63)}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ProfilesPageTest, AFieldBeingTypedInCommitsToTheOldProfileBeforeTheSelectorMoves) {
  host_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  ShowPage();
  auto* velocity = Control<QLineEdit>(Page::kIdVelocity);
  velocity->setFocus();
  ASSERT_TRUE(velocity->hasFocus());
  velocity->selectAll();
  QTest::keyClicks(velocity, "1000");
  page_->OnProfileStep(0, 1);

  const auto sent = writes();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], Object(kProfileObject, 2, 4, 838861)) << "1000 steps/s is raw 838861";
  EXPECT_EQ(sent[1], Object(kProfileObject, 5, 2, 1));
  EXPECT_EQ(LongAt(record(14), 2), 838861u) << "the old profile got the velocity";
  EXPECT_EQ(LongAt(record(15), 2), 3355443u) << "the new one kept its own (4000 steps/s)";
  EXPECT_EQ(host_.notified, std::vector<int>{14});
  EXPECT_EQ(velocity->text(), "4000");
}

TEST_P(ProfilesPageTestStyles, EditsWriteThroughTheObjectsOfTheShownProfile) {
  ShowPage();
  StepTo(4);  // a profile with a next one, so that its waiting time can be edited
  Enter(Page::kIdPosition, "7000");
  Enter(Page::kIdVelocity, "0");
  Enter(Page::kIdAccel, "10000");
  Enter(Page::kIdWaitTime, "250");
  EXPECT_EQ(writes(),
            (std::vector<Access>{Object(kProfileObject, 1, 4, 7000), Object(kProfileObject, 2, 4, 0),
                                 Object(0x6083, 0, 4, 419), Object(kProfileObject, 11, 2, 250)}));
  const RecordWords r = record(18);
  EXPECT_EQ(LongAt(r, 0), 7000u);
  EXPECT_EQ(LongAt(r, 2), 0u) << "0 steps/s is raw 0";
  EXPECT_EQ(LongAt(r, 4), 419u) << "10000 steps/s^2 is raw 419";
  EXPECT_EQ(r[9], 250);
  EXPECT_EQ(host_.notified, (std::vector<int>{18, 18, 18, 18}));
  EXPECT_EQ(TextOf(Page::kIdAccel), "9990") << "shown as the drive will run it";
}

TEST_P(ProfilesPageTestStyles, FlagControlsWriteTheWholeFlagWordAndOnlyTheCheckBoxesNotify) {
  ASSERT_TRUE(WriteWords(18, 8, 0x2008));  // profile 4: next profile, and SI units, which the page carries
  ShowPage();
  StepTo(4);
  EXPECT_EQ(page_->IconId(), 157);
  EXPECT_EQ(Control<QSpinBox>(Page::kIdNextNumber)->value(), 5);

  Click(Page::kIdRelative);
  Click(Page::kIdWaitActive);
  EXPECT_EQ(page_->IconId(), 162);
  Click(Page::kIdWithoutStop);
  EXPECT_EQ(page_->IconId(), 159);
  Click(Page::kIdNextActive);
  EXPECT_EQ(page_->IconId(), 161);
  EXPECT_EQ(writes(), (std::vector<Access>{
                          Object(kProfileObject, 3, 2, 0x2009), Object(kProfileObject, 3, 2, 0x2089),
                          Object(kProfileObject, 3, 2, 0x2099), Object(kProfileObject, 3, 2, 0x2091)}));
  EXPECT_EQ(host_.notified, (std::vector<int>{18, 18, 18})) << "the radio button does not notify";
  EXPECT_EQ(record(18)[8], 0x2091);
  EXPECT_EQ(Control<QLabel>(Page::kIdPositionLabel)->text().toStdString(), "Distance");
}

TEST_F(ProfilesPageTest, EnablingRulesFollowEveryChange) {
  ShowPage();
  StepTo(4);  // next profile after a stop
  EXPECT_TRUE(Enabled(Page::kIdWithoutStop));
  EXPECT_FALSE(Enabled(Page::kIdTargetVelocity));
  EXPECT_TRUE(Enabled(Page::kIdWaitActive));
  EXPECT_TRUE(Enabled(Page::kIdWaitTime));
  EXPECT_TRUE(Enabled(Page::kIdNextNumber));

  Click(Page::kIdWithoutStop);  // at once: no waiting, a target velocity to choose
  EXPECT_FALSE(Enabled(Page::kIdWaitActive));
  EXPECT_FALSE(Enabled(Page::kIdWaitTime));
  EXPECT_TRUE(Enabled(Page::kIdTargetVelocity));

  auto* target = Control<QComboBox>(Page::kIdTargetVelocity);
  ASSERT_EQ(target->count(), 2);
  EXPECT_EQ(target->itemText(1), "Next task's velocity");
  clearAccesses();
  host_.notified.clear();
  target->setCurrentIndex(1);
  emit target->activated(1);
  EXPECT_EQ(writes(), std::vector<Access>{Object(kProfileObject, 3, 2, 0x0118)});
  EXPECT_TRUE(host_.notified.empty()) << "the combo box writes without notifying";
  EXPECT_EQ(page_->IconId(), 160);

  Click(Page::kIdNextActive);  // no next profile: none of the chaining controls
  for (int id : {Page::kIdWithoutStop, Page::kIdTargetVelocity, Page::kIdWaitActive, Page::kIdWaitTime,
                 Page::kIdNextNumber})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_EQ(page_->IconId(), 158) << "bits 4 and 8 mean nothing without bit 3";
}

TEST_F(ProfilesPageTest, AnUnreadableProfileGetsNothingOfTheFieldBeingTypedIn) {
  host_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host_));
  ShowPage();
  StepTo(4);
  auto* velocity = Control<QLineEdit>(Page::kIdVelocity);
  velocity->setFocus();
  velocity->selectAll();
  QTest::keyClicks(velocity, "1000");
  silenceDrive(true);
  page_->OnProfileStep(4, 1);
  EXPECT_EQ(writes(),
            (std::vector<Access>{Object(kProfileObject, 2, 4, 838861), Object(kProfileObject, 5, 2, 5)}))
      << "the typed value goes to profile 4 only, and neither it nor \"Invalid\" reaches profile 5";
  EXPECT_FALSE(velocity->hasFocus());
  ASSERT_EQ(ui_.messages.size(), 2u) << "the failed write of the field, then the unreadable profile";
  EXPECT_TRUE(ui_.messages[1].startsWith("Profile 5 could not be read"));
  silenceDrive(false);
  EXPECT_EQ(LongAt(record(19), 2), 2516582u) << "profile 5 keeps its 3000 steps/s";
}

TEST_F(ProfilesPageTest, TabFollowsTheRowsTopToBottom) {
  ShowPage();
  StepTo(4);  // every chaining control but the target velocity enabled
  EXPECT_EQ(testing::TabOrder(page_, Control(Page::kIdProfileNumber)),
            (std::vector<int>{Page::kIdProfileNumber, Page::kIdProfileNumberText, Page::kIdStart,
                              Page::kIdStop, Page::kIdPosition, Page::kIdAbsolute, Page::kIdRelative,
                              Page::kIdVelocity, Page::kIdAccel, Page::kIdDecel, Page::kIdWaitTime,
                              Page::kIdWaitActive, Page::kIdNextActive, Page::kIdNextNumber,
                              Page::kIdNextNumberText, Page::kIdWithoutStop}));
}

TEST_F(ProfilesPageTest, WaitingProfileWithTheNextProfilesVelocityShowsTheStopPictogram) {
  ASSERT_TRUE(WriteWords(14 + 5, 8, 0x0188));
  ShowPage();
  StepTo(5);
  EXPECT_EQ(page_->IconId(), 157);
  EXPECT_EQ(Control<QComboBox>(Page::kIdTargetVelocity)->currentIndex(), 1);
  EXPECT_EQ(TextOf(Page::kIdWaitTime), "500");
}

TEST_F(ProfilesPageTest, NextProfileStepsWriteOnlyWithinTheRange) {
  ShowPage();
  StepTo(4);
  auto* next = Control<UpDownControl>(Page::kIdNextNumber);
  page_->OnNextProfileStep(5, 1);
  EXPECT_EQ(next->value(), 6);
  page_->OnNextProfileStep(49, 1);
  page_->OnNextProfileStep(0, -1);
  EXPECT_EQ(next->value(), 0);
  EXPECT_EQ(writes(), std::vector<Access>{Object(kProfileObject, 10, 2, 6)});
  EXPECT_TRUE(host_.notified.empty());
  EXPECT_EQ(record(18)[10], 6);
}

TEST_P(ProfilesPageTestStyles, StartRunsTheShownProfileAndStopHaltsIt) {
  ShowPage();
  StepTo(1);  // to 0 ...
  StepTo(0);  // ... and back: profile 0 runs to 10000
  Click(Page::kIdStart);
  EXPECT_EQ(writes(), (std::vector<Access>{Object(0x6060, 0, 1, 0xFF), Object(0x6040, 0, 2, 0x000D),
                                           Object(0x6040, 0, 2, 0x000D), Object(0x6040, 0, 2, 0x001D)}));
  drive_->advanceMs(1500);
  EXPECT_EQ(drive_->snapshot().motionState, 1);
  clearAccesses();
  Click(Page::kIdStop);
  EXPECT_EQ(writes(), std::vector<Access>{Object(0x6040, 0, 2, 0x010D)});
  ASSERT_TRUE(runUntil([&] { return drive_->snapshot().velocity == 0; }));
  EXPECT_EQ(drive_->snapshot().motionState, 3);
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(host_.notified.empty());
}

TEST_F(ProfilesPageTest, AStartOrStopTheDriveDidNotGetIsReportedAtOnce) {
  ShowPage();
  silenceDrive(true);
  Click(Page::kIdStop);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_TRUE(ui_.messages[0].startsWith("The drive did not confirm the stop command"))
      << ui_.messages[0].toStdString();
  Click(Page::kIdStart);
  ASSERT_EQ(ui_.messages.size(), 2u) << "one message for the four writes";
  EXPECT_TRUE(ui_.messages[1].startsWith("The drive did not confirm the start command"));
  EXPECT_EQ(writes().size(), 5u) << "every write of both sequences still went out";
}

TEST_F(ProfilesPageTest, AnUnreadableProfileShowsInvalidFieldsAndSaysWhyOnce) {
  ShowPage();
  StepTo(4);
  silenceDrive(true);
  page_->OnProfileStep(4, 1);
  EXPECT_EQ(page_->Profile(), 5);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0],
            "Profile 5 could not be read (Cannot read data).\n\nIts fields show \"Invalid\" "
            "until it has been read: select it again or switch pages.");
  for (int id : {Page::kIdPosition, Page::kIdVelocity, Page::kIdAccel, Page::kIdDecel, Page::kIdWaitTime}) {
    EXPECT_EQ(TextOf(id), "Invalid") << id;
    EXPECT_FALSE(Enabled(id)) << id << ": nothing of profile 4 may be written into profile 5";
  }
  for (int id : {Page::kIdAbsolute, Page::kIdRelative, Page::kIdNextActive, Page::kIdWithoutStop,
                 Page::kIdWaitActive, Page::kIdTargetVelocity, Page::kIdNextNumber})
    EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(Page::kIdStop)) << "Stop stays at hand";

  // Once the drive answers again, showing the page reads profile 5 and all is as before.
  silenceDrive(false);
  page_->hide();
  page_->show();
  EXPECT_EQ(TextOf(Page::kIdPosition), "8000");
  EXPECT_EQ(TextOf(Page::kIdWaitTime), "500");
  EXPECT_TRUE(Enabled(Page::kIdPosition));
  EXPECT_TRUE(Enabled(Page::kIdWaitTime));
  EXPECT_EQ(page_->IconId(), 162);
  EXPECT_EQ(ui_.messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Drives, ProfilesPageTestStyles, ::testing::ValuesIn(test::kSimReplyStyles),
                         test::ReplyStyleName);

}  // namespace
}  // namespace axtune
