// What a technician's mouse must not do on any page: a wheel turn over a list, spin box or field
// that was not clicked into writes nothing (and gives it no focus), and a click on a greyed control
// ends the edit of the field being typed in and says why the control is greyed.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QWheelEvent>
#include <functional>

#include "controls/axtune_combo_box.h"
#include "controls/axtune_edit.h"
#include "core/drive_identity.h"
#include "pages/debug_property_page.h"
#include "pages/fahrsatz_property_page.h"
#include "pages/outputs_property_page.h"
#include "pages/pins_property_page.h"
#include "pages/referenzfahrt_property_page.h"
#include "pages/settings_property_page.h"
#include "tests/controls/sim_drive_fixture.h"
#include "tests/pages/page_cases.h"
#include "tests/support/click_targets.h"
#include "tests/support/field_values.h"

namespace axtune {
namespace {

using testing::ClickableControls;
using testing::OtherValueText;
using testing::RealClick;

using testing::NotingHost;
using testing::PageCase;

// One notch of the wheel over the control's centre, delivered through its window as the window
// system does (the event goes to whatever lies under the pointer).
void Wheel(QWidget* control, int notches) {
  QWindow* window = control->window()->windowHandle();
  const QPointF local = control->mapTo(control->window(), control->rect().center());
  QWheelEvent wheel(local, window->mapToGlobal(local), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(window, &wheel);
  QApplication::processEvents();
}

class PageSafety : public testing::ShownPageTest {
 protected:
};

TEST_P(PageSafety, TheWheelChangesNothingThatWasNotClickedInto) {
  const std::vector<QWidget*> controls = ClickableControls(page_);
  for (QWidget* control : controls) {
    SCOPED_TRACE(control->objectName().toStdString());
    EXPECT_NE(control->focusPolicy(), Qt::WheelFocus) << "the wheel would give it the focus";
    if (!control->isEnabled()) continue;
    noting_.setFocus();
    log_.clear();
    for (int notches : {1, -1, -1}) Wheel(control, notches);
    EXPECT_EQ(log_.count(), 0u) << "written by the wheel alone";
    EXPECT_FALSE(control->hasFocus());
  }
  // The same wheel does choose in a list that was clicked into: the turn above reached the lists.
  for (auto* list : page_->findChildren<CAxtuneComboBox*>()) {
    if (!list->isVisible() || !list->isEnabled() || list->count() < 2) continue;
    list->setFocus(Qt::TabFocusReason);
    log_.clear();
    Wheel(list, list->currentIndex() > 0 ? 1 : -1);
    EXPECT_EQ(log_.count(), 1u) << list->objectName().toStdString();
    return;
  }
}

TEST_P(PageSafety, AClickOnAGreyedControlEndsTheEditAndSaysWhy) {
  CAxtuneEdit* field = nullptr;
  for (CAxtuneEdit* f : page_->findChildren<CAxtuneEdit*>())
    if (f->isVisible() && f->isEnabled() && field == nullptr) field = f;
  for (QWidget* control : ClickableControls(page_)) {
    if (control == field || !control->isEnabled()) continue;
    SCOPED_TRACE(control->objectName().toStdString());
    QString typed;
    if (field != nullptr) {
      RealClick(field);
      ASSERT_TRUE(field->hasFocus());
      typed = OtherValueText(*field);
      field->selectAll();
      QTest::keyClicks(field, typed);
    }
    log_.clear();
    noting_.notes.clear();
    control->setEnabled(false);
    RealClick(control);
    control->setEnabled(true);
    if (field != nullptr) {
      EXPECT_FALSE(field->hasFocus()) << "the typing would go on in the field";
      EXPECT_EQ(field->text(), typed) << "committed as on any focus loss";
      EXPECT_GE(log_.count(), 1u);
    }
    ASSERT_FALSE(noting_.notes.empty());
    EXPECT_TRUE(noting_.notes.back().contains("cannot be set") || noting_.notes.back().contains("needs"))
        << noting_.notes.back().toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, PageSafety, ::testing::ValuesIn(testing::EveryParameterPage()),
                         testing::PageCaseName);

class ProfilesSafety : public testing::SimDriveTest {};

TEST_F(ProfilesSafety, WaitingTimeGreyedNamesTheCheckBoxItNeeds) {
  NotingHost host;
  auto* page = new CFahrsatzPropertyPage(&host);
  host.resize(760, 560);
  page->resize(host.size());
  host.show();
  host.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
  auto* decel = page->findChild<CAxtuneEdit*>(QString::number(CFahrsatzPropertyPage::kIdDecel));
  auto* wait = page->findChild<CAxtuneEdit*>(QString::number(CFahrsatzPropertyPage::kIdWaitTime));
  ASSERT_FALSE(wait->isEnabled()) << "profile 0 has no next profile";
  RealClick(decel);
  decel->selectAll();
  const QString typed = OtherValueText(*decel);
  QTest::keyClicks(decel, typed);
  log_.clear();
  RealClick(wait);
  // What the technician types next goes nowhere near the deceleration.
  QWidget* focus = QApplication::focusWidget();
  QTest::keyClicks(focus != nullptr ? focus : &host, "500");
  QTest::keyClick(focus != nullptr ? focus : &host, Qt::Key_Return);
  ASSERT_EQ(log_.objects.size(), 1u);
  EXPECT_EQ(log_.objects[0].index, CFahrsatzPropertyPage::kObjectDeceleration);
  EXPECT_EQ(decel->text(), typed) << "the deceleration took what was typed before the click, no more";
  ASSERT_GE(host.notes.size(), 2u);
  EXPECT_TRUE(host.notes[host.notes.size() - 2].startsWith("Profiles, profile 0: Deceleration "))
      << host.notes[host.notes.size() - 2].toStdString();
  EXPECT_EQ(host.notes.back(), "Waiting time needs Next profile");
}

}  // namespace
}  // namespace axtune
