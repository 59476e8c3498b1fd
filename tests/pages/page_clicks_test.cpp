// Every control of every parameter page takes the mouse: a click (routed by position, as the window
// system delivers it) reaches each field, list and box; a clicked field gets the focus, and what is
// typed there commits to that field's own address and to no other. Also what a refused entry leaves:
// nothing written, the previous value back, and the allowed range at the field and in the host's
// status line.
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <functional>

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
using testing::ClickReaches;
using testing::RealClick;

using testing::NotingHost;
using testing::PageCase;

class PageClicks : public testing::ShownPageTest {
 protected:
  // The writes a commit of `field` may send: its object, or its record word(s).
  bool OwnWrites(const CAxtuneEdit* field) const {
    const BoundValue& v = field->Value();
    if (v.IsObjectMode()) {
      return log_.words.empty() && log_.objects.size() == 1 && log_.objects[0].index == v.Index() &&
             log_.objects[0].subindex == v.Subindex();
    }
    if (!log_.objects.empty() || log_.words.size() != (v.IsLong() ? 2u : 1u)) return false;
    for (size_t i = 0; i < log_.words.size(); ++i) {
      if (log_.words[i].record != v.Record() || log_.words[i].word != v.Word() + static_cast<int>(i))
        return false;
    }
    return true;
  }
};

TEST_P(PageClicks, EveryControlTakesTheClickAndEachFieldCommitsToItsOwnAddress) {
  const std::vector<QWidget*> controls = ClickableControls(page_);
  ASSERT_FALSE(controls.empty());
  for (QWidget* control : controls)
    EXPECT_TRUE(ClickReaches(control)) << "control " << control->objectName().toStdString() << " is covered";

  for (CAxtuneEdit* field : page_->findChildren<CAxtuneEdit*>()) {
    if (!field->isVisible() || !field->isEnabled()) continue;  // a greyed field takes no entry
    SCOPED_TRACE(field->objectName().toStdString());
    RealClick(field);
    ASSERT_EQ(QApplication::focusWidget(), field) << "the click did not give the field the focus";
    log_.clear();                                           // the previous field's commit on losing the focus
    const QString other = testing::OtherValueText(*field);  // the same value would send nothing
    field->selectAll();
    QTest::keyClicks(field, other);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(OwnWrites(field)) << log_.words.size() << " word and " << log_.objects.size()
                                  << " object writes";
    EXPECT_EQ(field->text(), other);
  }
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_P(PageClicks, RefusedEntriesWriteNothingAndShowTheRange) {
  for (CAxtuneEdit* field : page_->findChildren<CAxtuneEdit*>()) {
    if (!field->isVisible() || !field->isEnabled()) continue;
    SCOPED_TRACE(field->objectName().toStdString());
    EXPECT_TRUE(field->toolTip().startsWith("Allowed: ")) << field->toolTip().toStdString();
    EXPECT_FALSE(field->AllowedRange().endsWith(QString::fromStdString(field->Value().HighestText())))
        << "the range names its unit: " << field->AllowedRange().toStdString();
    RealClick(field);
    noting_.notified.clear();  // the commit of the field the click left
    const QString before = field->text();
    for (const char* typed : {"", "abc", "-", ".", "1e400"}) {
      log_.clear();
      noting_.notes.clear();
      field->selectAll();
      field->del();
      QTest::keyClicks(field, typed);
      QTest::keyClick(field, Qt::Key_Return);
      EXPECT_EQ(log_.count(), 0u) << "\"" << typed << "\" was written";
      EXPECT_EQ(field->text(), before);
      ASSERT_EQ(noting_.notes.size(), 1u);
      EXPECT_TRUE(noting_.notes[0].endsWith("Allowed: " + field->AllowedRange()))
          << noting_.notes[0].toStdString();
    }
    EXPECT_TRUE(noting_.notified.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, PageClicks, ::testing::ValuesIn(testing::EveryParameterPage()),
                         testing::PageCaseName);

}  // namespace
}  // namespace axtune
