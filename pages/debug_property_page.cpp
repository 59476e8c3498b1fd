#include "pages/debug_property_page.h"

namespace axtune {

CDebugPropertyPage::CDebugPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(0);
}

}  // namespace axtune
