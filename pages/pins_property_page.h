// The Inputs page: the functions of the digital inputs (record 3).
// So far the page binds only its record, which it reads each time it is shown; its controls are added
// with the page's editor.
#pragma once

#include "controls/axtune_property_page.h"

namespace axtune {

class CPinsPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 164;

  explicit CPinsPropertyPage(QWidget* parent = nullptr);
};

}  // namespace axtune
