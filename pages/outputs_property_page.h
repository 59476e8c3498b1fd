// The Outputs page: the functions and currents of the digital outputs (record 4).
// So far the page binds only its record, which it reads each time it is shown; its controls are added
// with the page's editor.
#pragma once

#include "controls/axtune_property_page.h"

namespace axtune {

class COutputsPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 165;

  explicit COutputsPropertyPage(QWidget* parent = nullptr);
};

}  // namespace axtune
