// What every step of the commissioning assistant has: a line that says what to do on the machine,
// a line that shows while the drive does not answer (the step waits), and its place in the
// assistant. The steps fill Body() with their own fields.
#pragma once

#include <QWizardPage>

#include "app/assistant/check_record.h"
#include "app/drive_status_poller.h"

class QLabel;
class QVBoxLayout;

namespace axtune {

class CommissioningAssistant;

class AssistantStepPage : public QWizardPage {
  Q_OBJECT

 public:
  AssistantStepPage(CommissioningAssistant& assistant, AssistantStep step, int titleId, int instructionId);

  AssistantStep StepId() const { return step_; }
  CommissioningAssistant& Assistant() const { return assistant_; }
  QString InstructionText() const;

  // A poll of the drive's status while this step is shown.
  virtual void OnPoll(const DriveStatusPoll& poll) { (void)poll; }
  // The drive stopped or started answering: the waiting line shows or goes, the step's actions
  // follow through OnAnsweringChanged.
  void SetAnswering(bool answering);
  virtual void OnAnsweringChanged(bool answering) { (void)answering; }

 protected:
  QVBoxLayout* Body() const { return body_; }
  // A label whose text is string `id`, word-wrapped.
  QLabel* AddText(int id);

 private:
  CommissioningAssistant& assistant_;
  AssistantStep step_;
  QLabel* instruction_ = nullptr;
  QLabel* waiting_ = nullptr;
  QVBoxLayout* body_ = nullptr;
};

// The text of string `id` as a QString.
QString AssistantText(int id);

}  // namespace axtune
