// The Debug page (expert mode): any drive record, word by word. The user types a record number, sees
// its fifteen words as signed decimal numbers, edits any of them and writes the whole record back
// with "Übernehmen". The main window holds two independent instances.
#pragma once

#include <array>
#include <cstdint>

#include "controls/axtune_property_page.h"

class QLineEdit;
class QPushButton;

namespace axtune {

class CDebugEdit;

class CDebugPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 109;
  static constexpr int kRecordEditId = 1045;
  static constexpr int kWriteButtonId = 1048;
  static constexpr int kHighestRecord = 132;
  // Control ids of the word edits, word 0 first.
  static constexpr std::array<int, 15> kWordEditIds = {1044, 1030, 1031, 1032, 1033, 1034, 1035, 1036,
                                                       1037, 1038, 1039, 1040, 1041, 1042, 1043};

  explicit CDebugPropertyPage(QWidget* parent = nullptr);

  // Shown: takes the typed values, reads the record (when a drive is connected) and shows it. Also
  // what Enter in the record-number edit does.
  void OnShowWindow(bool show) override;
  // Leaving the record-number edit: reads the typed record and shows it (a failed read quietly).
  void OnRecordEditLeft();
  // "Übernehmen": writes the shown words as the whole record.
  void OnWrite();

  const std::array<int16_t, 15>& DisplayValues() const { return display_; }
  CDebugEdit* RecordEdit() const { return recordEdit_; }
  QLineEdit* WordEdit(int word) const { return wordEdits_[static_cast<size_t>(word)]; }

 private:
  // The framework's data exchange: controls into record number and display values, with its
  // validation messages; false (after the message, with the focus on the edit) when one is invalid.
  bool TakeValues();
  // Record number and display values into the controls.
  void PutValues();
  void ShowImage();

  CDebugEdit* recordEdit_ = nullptr;
  std::array<QLineEdit*, 15> wordEdits_{};
  std::array<int16_t, 15> display_{};
  bool busy_ = false;
};

}  // namespace axtune
