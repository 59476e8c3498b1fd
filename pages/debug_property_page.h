// The Debug page: any record, word by word (expert mode; the record number is chosen on the page).
// So far the page binds only its record, which it reads each time it is shown; its controls are added
// with the page's editor.
#pragma once

#include "controls/axtune_property_page.h"

namespace axtune {

class CDebugPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 109;

  explicit CDebugPropertyPage(QWidget* parent = nullptr);
};

}  // namespace axtune
