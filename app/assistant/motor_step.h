// Step 2, the motor: the rated current from the motor's data sheet gives a proposal for the motor
// current, the idle-current reduction and its delay within the drive's limits; the technician
// accepts it (it goes into the bound fields, which write it) or types other values in the fields.
// The step resolution is set here too. The fields are the Settings page's, bound the same way.
#pragma once

#include <map>

#include "app/assistant/assistant_step_page.h"
#include "app/assistant/motor_proposal.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace axtune {

class CAxtuneEdit;

class MotorStep : public AssistantStepPage {
  Q_OBJECT

 public:
  explicit MotorStep(CommissioningAssistant& assistant);

  void initializePage() override;
  bool validatePage() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Page object.
  void SetRatedCurrent(const QString& text);
  // Shows the proposal for the rated current typed; false (and says why) when there is none.
  bool Propose();
  // Writes the shown proposal through the bound fields.
  bool AcceptProposal();
  const MotorProposal& Proposal() const { return proposal_; }
  QString ProposalText() const;
  // The bound field of a Settings control id (1174 motor current, 1252 idle delay, 1175 idle level,
  // 1251 step resolution).
  CAxtuneEdit* Field(int controlId) const;
  // Types `text` into a field and commits it, as Enter does.
  void Enter(int controlId, const QString& text);

 private:
  void ReadFields();

  QLineEdit* rated_ = nullptr;
  QPushButton* propose_ = nullptr;
  QLabel* proposalText_ = nullptr;
  QPushButton* accept_ = nullptr;
  std::map<int, CAxtuneEdit*> fields_;
  MotorProposal proposal_;
  bool accepted_ = false;
};

}  // namespace axtune
