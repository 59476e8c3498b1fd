#include "pages/pins_property_page.h"

namespace axtune {

CPinsPropertyPage::CPinsPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(3);
}

}  // namespace axtune
