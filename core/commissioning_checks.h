// The commissioning checks of a report: what the commissioning assistant recorded step by step
// (the values set, what the technician confirmed, when and by whom), and the report section that
// lists them.
#pragma once

#include <string>
#include <vector>

#include "res/strings.h"

namespace axtune {

struct CommissioningCheck {
  std::string step;       // "Motor"
  std::string values;     // "Motor current 1500 mA rms; idle current 50 % after 500 ms"
  std::string confirmed;  // what the technician confirmed, or what was not
  std::string time;       // local time, "2026-12-08 06:12"
  std::string by;         // the user of File -> User
  bool passed = true;     // false: the step was left unconfirmed (shown as such)
};

// The section "Commissioning checks": a heading and one row per check, in the order given; empty
// when there are none.
std::string CommissioningChecksHtml(const std::vector<CommissioningCheck>& checks, Language language);

}  // namespace axtune
