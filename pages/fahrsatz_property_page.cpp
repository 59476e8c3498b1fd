#include "pages/fahrsatz_property_page.h"

namespace axtune {

CFahrsatzPropertyPage::CFahrsatzPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(kFirstProfileRecord);
}

}  // namespace axtune
