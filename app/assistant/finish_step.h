// Step 6, finish: store the parameters in the drive, save the parameter file (its name proposed
// from the machine and the axis of step 1) and write the commissioning report with its section of
// checks, each through the main window's own command. What was done shows beside each button.
#pragma once

#include "app/assistant/assistant_step_page.h"

class QLabel;
class QPushButton;

namespace axtune {

class FinishStep : public AssistantStepPage {
  Q_OBJECT

 public:
  explicit FinishStep(CommissioningAssistant& assistant);

  void initializePage() override;
  bool validatePage() override;

  // Page object.
  bool Store();
  QString SaveFile();
  QString WriteReport();
  QString ProposedFileName() const;
  QString SummaryText() const;

 private:
  void ShowDone();
  void RecordFinish();

  QLabel* summary_ = nullptr;
  QPushButton* store_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* report_ = nullptr;
  QLabel* storeState_ = nullptr;
  QLabel* saveState_ = nullptr;
  QLabel* reportState_ = nullptr;
  bool stored_ = false;
};

}  // namespace axtune
