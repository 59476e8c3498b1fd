#include "pages/referenzfahrt_property_page.h"

namespace axtune {

CReferenzfahrtPropertyPage::CReferenzfahrtPropertyPage(QWidget* parent)
    : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(64);
}

}  // namespace axtune
