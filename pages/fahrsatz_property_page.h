// The Profiles page: the 50 motion profiles in records 14 to 63 (record 14 + the shown profile).
// So far the page binds only its record, which it reads each time it is shown; its controls are added
// with the page's editor.
#pragma once

#include "controls/axtune_property_page.h"

namespace axtune {

class CFahrsatzPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 150;
  static constexpr int kFirstProfileRecord = 14;

  explicit CFahrsatzPropertyPage(QWidget* parent = nullptr);
};

}  // namespace axtune
