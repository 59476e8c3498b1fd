// Step 1, the drive: its type, firmware and port as the drive gives them, the machine's and the
// axis's names (they name the parameter file), and whether to start from the drive's values or
// from a parameter file, which the File command loads with its own checks and difference list.
#pragma once

#include "app/assistant/assistant_step_page.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace axtune {

class DriveStep : public AssistantStepPage {
  Q_OBJECT

 public:
  explicit DriveStep(CommissioningAssistant& assistant);

  void initializePage() override;
  bool validatePage() override;

  // Page object: what a technician types and chooses.
  void SetNames(const QString& machine, const QString& axis);
  QString Machine() const;
  QString Axis() const;
  void ChooseStartFromFile(bool fromFile);
  // Runs the load command of the main window (its file dialog, checks and difference list).
  void LoadFile();
  QString DriveText() const;

 private:
  void ShowIdentity();

  QLabel* identity_ = nullptr;
  QLineEdit* machine_ = nullptr;
  QLineEdit* axis_ = nullptr;
  QRadioButton* fromDrive_ = nullptr;
  QRadioButton* fromFile_ = nullptr;
  QPushButton* load_ = nullptr;
  bool loaded_ = false;
};

}  // namespace axtune
