// The Homing page: homing method and parameters (record 64).
// So far the page binds only its record, which it reads each time it is shown; its controls are added
// with the page's editor.
#pragma once

#include "controls/axtune_property_page.h"

namespace axtune {

class CReferenzfahrtPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 151;

  explicit CReferenzfahrtPropertyPage(QWidget* parent = nullptr);
};

}  // namespace axtune
