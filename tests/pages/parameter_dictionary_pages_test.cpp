// The parameter dictionary against the pages' bound controls: every edit field, list and check box
// of a page has its entry, the entry says what the control was bound to, and every entry of a page
// has its control there. The dictionary's conversion agrees with the bound edit's for each scale.
#include <QCheckBox>
#include <QTest>
#include <set>

#include "controls/axtune_combo_box.h"
#include "controls/axtune_edit.h"
#include "pages/dictionary_binding.h"
#include "pages/fahrsatz_property_page.h"
#include "pages/outputs_property_page.h"
#include "pages/pins_property_page.h"
#include "pages/referenzfahrt_property_page.h"
#include "pages/settings_property_page.h"
#include "tests/controls/sim_drive_fixture.h"

namespace axtune {
namespace {

class DictionaryAgainstPages : public testing::SimDriveTest {
 protected:
  // Checks every bound control of `page` against its entry and returns the ids it saw.
  std::set<int> CheckControls(QWidget* page, ParamPage which, int profile) {
    std::set<int> seen;
    for (CAxtuneEdit* edit : page->findChildren<CAxtuneEdit*>()) {
      const BoundValue& v = edit->Value();
      if (!v.IsObjectMode() && v.Record() == kNoRecord) continue;  // the unbound ramp-time fields
      SCOPED_TRACE(edit->ControlId());
      const ParamEntry* e = FindControlEntry(which, edit->ControlId(), profile);
      if (e == nullptr) {
        ADD_FAILURE() << "no entry";
        continue;
      }
      seen.insert(e->controlId);
      EXPECT_EQ(e->control, ParamControl::Edit);
      EXPECT_EQ(e->HasObject(), v.IsObjectMode());
      if (e->HasObject()) {
        EXPECT_EQ((std::tuple{e->index, e->subindex, e->size}),
                  (std::tuple{v.Index(), v.Subindex(), v.Size()}));
      }
      EXPECT_EQ(e->HasRecord() ? e->record : kNoRecord, v.Record());
      if (e->HasRecord()) {
        EXPECT_EQ(e->word, v.Word());
      }
      EXPECT_EQ(e->isLong, v.IsLong());
      EXPECT_EQ(e->isSigned, v.IsSigned());
      EXPECT_EQ(e->limit, v.Limit());
      EXPECT_DOUBLE_EQ(e->scale, v.Scale());
    }
    for (CAxtuneComboBox* list : page->findChildren<CAxtuneComboBox*>()) {
      SCOPED_TRACE(list->ControlId());
      const ParamEntry* e = FindControlEntry(which, list->ControlId(), profile);
      if (e == nullptr) {
        ADD_FAILURE() << "no entry";
        continue;
      }
      seen.insert(e->controlId);
      const BoundCodes& codes = list->Codes();
      EXPECT_EQ(e->HasObject(), codes.IsObjectMode());
      EXPECT_EQ(e->HasRecord() ? e->record : kNoRecord, codes.Record());
      if (e->HasRecord()) {
        EXPECT_EQ(e->word, codes.Word());
      }
      if (static_cast<size_t>(list->count()) != e->items.size()) {
        ADD_FAILURE() << "entries " << list->count() << ", dictionary " << e->items.size();
        continue;
      }
      for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(codes.CodeOf(i), e->items[static_cast<size_t>(i)].code) << i;
        EXPECT_EQ(list->itemText(i).toStdString(), Text(e->items[static_cast<size_t>(i)].textId)) << i;
      }
    }
    for (QCheckBox* box : page->findChildren<QCheckBox*>()) {
      const ParamEntry* e = FindControlEntry(which, box->objectName().toInt(), profile);
      if (e == nullptr) {
        ADD_FAILURE() << "no entry for check box " << box->objectName().toStdString();
        continue;
      }
      EXPECT_EQ(e->kind, ParamKind::Flag);
      seen.insert(e->controlId);
    }
    return seen;
  }

  // The ids of the page's entries that stand for a bound control (edit, list, check box).
  static std::set<int> EntryControls(ParamPage which, int profile) {
    std::set<int> ids;
    for (const ParamEntry& e : ParameterDictionary())
      if (e.page == which && e.profile == profile && e.control != ParamControl::Other)
        ids.insert(e.controlId);
    return ids;
  }
};

TEST_F(DictionaryAgainstPages, EveryBoundControlHasItsEntryAndEveryEntryItsControl) {
  struct Case {
    QWidget* page;
    ParamPage which;
  } cases[] = {{new CSettingsPropertyPage(&host_), ParamPage::Settings},
               {new CPinsPropertyPage(&host_), ParamPage::Inputs},
               {new COutputsPropertyPage(&host_), ParamPage::Outputs},
               {new CReferenzfahrtPropertyPage(&host_), ParamPage::Homing}};
  for (const Case& c : cases) {
    SCOPED_TRACE(PageTitle(c.which, Language::English));
    if (auto* homing = qobject_cast<CReferenzfahrtPropertyPage*>(c.page)) homing->OnInitDialog();
    EXPECT_EQ(CheckControls(c.page, c.which, -1), EntryControls(c.which, -1));
  }
}

TEST_F(DictionaryAgainstPages, TheProfilesPageBindsEachProfileAsItsEntriesSay) {
  auto* page = new CFahrsatzPropertyPage(&host_);
  page->OnInitDialog();
  EXPECT_EQ(CheckControls(page, ParamPage::Profiles, 0), EntryControls(ParamPage::Profiles, 0));
  // Another profile: the same controls, bound to its record.
  for (const EditBindStep& step : CFahrsatzPropertyPage::Bindings(49)) {
    if (step.call == BindCall::RecordWord || step.call == BindCall::RecordLong) {
      EXPECT_EQ(step.first, 63u);
    }
  }
  EXPECT_EQ(EntryControls(ParamPage::Profiles, 49), EntryControls(ParamPage::Profiles, 0));
}

// The dictionary converts user text to raw exactly as a bound edit with the same entry does, at the
// limit, just past it and in between, for each scale in use.
TEST(DictionaryConversion, AgreesWithTheBoundEditForEachScale) {
  const char* names[] = {"motor-current",          "idle-current-level",  "step-resolution",
                         "emergency-deceleration", "start-stop-velocity", "encoder-lines",
                         "profile-0-position",     "homing-current",      "homing-acceleration"};
  const char* texts[] = {"0",     "1",          "7000",       "7001",        "100",        "101",
                         "50",    "1000",       "-5",         "0.5",         "16383",      "65535",
                         "65536", "4294967295", "2147483647", "-2147483647", "-2147483648"};
  for (const char* name : names) {
    const ParamEntry entry = *FindParameter(name);
    BoundValue field;
    for (const EditBindStep& step : BindStepsFor(entry)) ApplyBindStep(field, step);
    for (const char* text : texts) {
      SCOPED_TRACE(std::string(name) + " " + text);
      const BoundValue::Typed typed = field.Convert(text);
      const RawResult parsed = ParseUserValue(entry, text, Language::English);
      EXPECT_EQ(parsed.ok, typed.accepted) << parsed.error;
      if (typed.accepted && parsed.ok) {
        EXPECT_EQ(parsed.raw, typed.raw);
      }
    }
  }
}

}  // namespace
}  // namespace axtune
