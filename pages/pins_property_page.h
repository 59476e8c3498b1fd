// The Inputs page: the function of each digital input (record 3). Ten 24 V inputs DE1..DE10 choose
// from the fifteen input functions; the 5 V inputs enable, step and direction have their own short
// lists. Every list writes its code to its word of record 3 the moment the user chooses.
#pragma once

#include <array>
#include <cstdint>

#include "controls/axtune_combo_box.h"
#include "controls/axtune_property_page.h"

namespace axtune {

class CPinsPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 164;
  static constexpr int kRecord = 3;
  static constexpr int kIdFirstInput = 1253;  // DE1..DE10 are 1253..1262, words 0..9
  static constexpr int kIdEnable = 1263;      // word 10
  static constexpr int kIdStep = 1264;        // word 11
  static constexpr int kIdDirection = 1237;   // word 12
  static constexpr int kListCount = 13;

  explicit CPinsPropertyPage(QWidget* parent = nullptr);

  void OnShowWindow(bool show) override;

  // The lists in control order: DE1..DE10, enable, step, direction.
  const std::array<CAxtuneComboBox*, kListCount>& Lists() const { return lists_; }

 private:
  std::array<CAxtuneComboBox*, kListCount> lists_{};
};

}  // namespace axtune
