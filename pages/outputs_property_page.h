// The Outputs page: the status signal and the maximum current of each digital output (record 4).
// DA1..DA4 each have a function list (words 0..3) and a current list in steps of 10 mA (words 4..7);
// a fifth output has the fixed function "enabled" (word 8).
#pragma once

#include <array>
#include <cstdint>

#include "controls/axtune_combo_box.h"
#include "controls/axtune_property_page.h"

namespace axtune {

class COutputsPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 165;
  static constexpr int kRecord = 4;
  static constexpr std::array<int, 4> kIdFunction = {1269, 1270, 1271, 1272};  // words 0..3
  static constexpr std::array<int, 4> kIdCurrent = {1274, 1275, 1276, 1278};   // words 4..7
  static constexpr int kIdEnabledOutput = 1273;                                // word 8
  static constexpr int kListCount = 9;

  explicit COutputsPropertyPage(QWidget* parent = nullptr);

  void OnShowWindow(bool show) override;

  // The lists in refresh order: 1269..1272, 1273, 1274..1276, 1278.
  const std::array<CAxtuneComboBox*, kListCount>& Lists() const { return lists_; }

 private:
  std::array<CAxtuneComboBox*, kListCount> lists_{};
};

}  // namespace axtune
