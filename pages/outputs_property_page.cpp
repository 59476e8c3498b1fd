#include "pages/outputs_property_page.h"

namespace axtune {

COutputsPropertyPage::COutputsPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(4);
}

}  // namespace axtune
