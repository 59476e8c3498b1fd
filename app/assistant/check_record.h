// What the assistant records of a commissioning: one check per step, replaced when the step is done
// again, listed in step order for the report. Also the parameter file's proposed name. No Qt.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/commissioning_checks.h"

namespace axtune {

// The steps in their order.
enum class AssistantStep : int { Drive = 0, Motor, Direction, Switches, Homing, Finish, Count };

class CheckRecord {
 public:
  // A later check of the same step replaces the earlier one.
  void Record(AssistantStep step, CommissioningCheck check);
  bool Has(AssistantStep step) const { return checks_.count(step) != 0; }
  const CommissioningCheck* Find(AssistantStep step) const;
  std::vector<CommissioningCheck> InStepOrder() const;

 private:
  std::map<AssistantStep, CommissioningCheck> checks_;
};

// "<machine>_<axis>.qmx" from the names typed in the first step: characters no file system takes
// (/ \ : * ? " < > | and control characters) and blanks become '-', runs of them one, and leading
// and trailing ones go. Empty when both names are empty (the dialog then proposes nothing).
std::string ProposedParameterFileName(const std::string& machine, const std::string& axis);

}  // namespace axtune
