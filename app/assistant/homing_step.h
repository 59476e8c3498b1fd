// Step 5, homing: the method and its speed (the Homing page's controls, bound the same way), a run
// with Stop always there and Esc stopping it, and "referenced" confirmed from the drive's status.
// The run's position and following error are shown small.
#pragma once

#include "app/assistant/assistant_step_page.h"

class QLabel;
class QPushButton;

namespace axtune {

class CAxtuneComboBox;
class CAxtuneEdit;
class MiniTrend;

class HomingStep : public AssistantStepPage {
  Q_OBJECT

 public:
  explicit HomingStep(CommissioningAssistant& assistant);

  void initializePage() override;
  void cleanupPage() override;
  bool validatePage() override;
  void OnPoll(const DriveStatusPoll& poll) override;
  void OnAnsweringChanged(bool answering) override;

  // Page object.
  CAxtuneComboBox* Method() const { return method_; }
  CAxtuneEdit* Velocity() const { return velocity_; }
  bool Run();
  void Stop();
  bool Running() const { return running_; }
  // Record 129 word 10 as last polled: 0 not referenced, 1 homing, 2 referenced, others failed.
  int ReferencedState() const { return referenced_; }
  QString StateText() const;

 private:
  void ShowState();

  CAxtuneComboBox* method_ = nullptr;
  CAxtuneEdit* velocity_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* state_ = nullptr;
  MiniTrend* trend_ = nullptr;
  bool running_ = false;
  bool seenHoming_ = false;
  int quietPolls_ = 0;
  int referenced_ = 0;
  bool ranHere_ = false;
};

}  // namespace axtune
