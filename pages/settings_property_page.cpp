#include "pages/settings_property_page.h"

namespace axtune {

CSettingsPropertyPage::CSettingsPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(2);
}

}  // namespace axtune
