#include "app/written_parameter.h"

#include <QWidget>

#include "controls/axtune_property_page.h"
#include "core/parameter_dictionary.h"
#include "pages/fahrsatz_property_page.h"
#include "pages/outputs_property_page.h"
#include "pages/pins_property_page.h"
#include "pages/referenzfahrt_property_page.h"
#include "pages/settings_property_page.h"

namespace axtune {
namespace {

bool PageOfDialog(int dialogId, ParamPage* page) {
  switch (dialogId) {
    case CSettingsPropertyPage::kDialogId:
      *page = ParamPage::Settings;
      return true;
    case CPinsPropertyPage::kDialogId:
      *page = ParamPage::Inputs;
      return true;
    case COutputsPropertyPage::kDialogId:
      *page = ParamPage::Outputs;
      return true;
    case CFahrsatzPropertyPage::kDialogId:
      *page = ParamPage::Profiles;
      return true;
    case CReferenzfahrtPropertyPage::kDialogId:
      *page = ParamPage::Homing;
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string WrittenParameterLabel(const QWidget* control) {
  if (control == nullptr) return {};
  const CAxtunePropertyPage* page = nullptr;
  for (const QWidget* w = control->parentWidget(); w != nullptr && page == nullptr; w = w->parentWidget())
    page = qobject_cast<const CAxtunePropertyPage*>(w);
  ParamPage where = ParamPage::Record;
  if (page == nullptr || !PageOfDialog(page->DialogId(), &where)) return {};
  // The profiles page reads and writes the record of the profile it shows.
  const int profile =
      where == ParamPage::Profiles ? page->RecordNumber() - CFahrsatzPropertyPage::kFirstProfileRecord : -1;
  bool isNumber = false;
  const int controlId = control->objectName().toInt(&isNumber);
  const ParamEntry* entry = isNumber ? FindControlEntry(where, controlId, profile) : nullptr;
  return entry != nullptr ? ParameterLabel(*entry, CurrentLanguage()) : std::string();
}

}  // namespace axtune
