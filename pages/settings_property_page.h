// The Settings page: motor current, current reduction, step resolution, ramps and options (record 2).
// So far the page binds only its record, which it reads each time it is shown; its controls are added
// with the page's editor.
#pragma once

#include "controls/axtune_property_page.h"

namespace axtune {

class CSettingsPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 149;

  explicit CSettingsPropertyPage(QWidget* parent = nullptr);
};

}  // namespace axtune
