// Step 3, the direction: a short relative move at low speed (distance and speed shown, Stop always
// there, Esc stops), then "Did the axis move in the positive direction of the machine?". No inverts
// the rotation (the Settings page's value, through the dictionary) and offers the move again.
#pragma once

#include "app/assistant/assistant_step_page.h"
#include "app/assistant/test_move.h"

class QLabel;
class QPushButton;

namespace axtune {

class DirectionStep : public AssistantStepPage {
  Q_OBJECT

 public:
  explicit DirectionStep(CommissioningAssistant& assistant);

  void initializePage() override;
  void cleanupPage() override;
  bool validatePage() override;
  void OnPoll(const DriveStatusPoll& poll) override;
  void OnAnsweringChanged(bool answering) override;

  // Page object.
  bool StartMove();
  void Stop();
  bool MoveRunning() const { return move_.Running(); }
  // The technician's answer to the question; No inverts the rotation. False when the inversion was
  // not written.
  bool Answer(bool positive);
  bool Confirmed() const { return confirmed_; }
  bool Inverted() const { return inverted_; }
  QString PlanText() const;

 private:
  void UpdateButtons();
  bool ReadInverted();

  QLabel* plan_ = nullptr;
  QLabel* result_ = nullptr;
  QPushButton* move_button_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* question_ = nullptr;
  QPushButton* yes_ = nullptr;
  QPushButton* no_ = nullptr;
  TestMove move_;
  TestMove::Plan planned_;
  bool moved_ = false;
  bool confirmed_ = false;
  bool inverted_ = false;
  int inversions_ = 0;
};

}  // namespace axtune
