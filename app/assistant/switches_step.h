// Step 4, the switches: the live state of every input wired to a limit, reference or stop switch,
// from the drive's status. The technician actuates each switch on the machine; the step ticks it
// once the drive saw it change, and names the ones that never did.
#pragma once

#include <vector>

#include "app/assistant/assistant_step_page.h"
#include "app/assistant/switch_check.h"

class QGridLayout;
class QLabel;
class QPushButton;

namespace axtune {

class SwitchesStep : public AssistantStepPage {
  Q_OBJECT

 public:
  explicit SwitchesStep(CommissioningAssistant& assistant);

  void initializePage() override;
  bool validatePage() override;
  void OnPoll(const DriveStatusPoll& poll) override;

  // Page object.
  const SwitchCheck& Check() const { return check_; }
  // "DE3 Reference switch", one line each, of the inputs that never changed.
  QString NeverChangedText() const;
  // The state text shown for input n (DE n), empty when it is no switch.
  QString RowText(int input) const;
  void Restart();

 private:
  QString SwitchName(const SwitchInput& in) const;
  void ShowStates();

  SwitchCheck check_;
  uint16_t configured_[10] = {0xFFFF};  // the functions check_ was configured with
  QGridLayout* grid_ = nullptr;
  QLabel* none_ = nullptr;
  QPushButton* restart_ = nullptr;
  std::vector<QLabel*> rows_;
  bool warned_ = false;
};

}  // namespace axtune
