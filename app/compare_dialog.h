// "Vergleichen mit Datei..." / "Compare with file...": the parameters of the connected drive next to
// those of a parameter file, by page and name, in units and raw words. Only the values that differ
// are listed unless the user asks for the equal ones too. The file's value of a row can be written
// to the drive row by row or all at once, through the same writes as the pages; each write is read
// back, and the table shows what the drive holds afterwards.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "core/parameter_compare.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace axtune {

class CCompareDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kColumnPage = 0, kColumnName = 1, kColumnDrive = 2, kColumnFile = 3, kColumnUnit = 4,
                       kColumnRaw = 5;

  // `notify` tells the main window which value was written (the store command becomes the default,
  // the trend marks it by name).
  CCompareDialog(ParameterSet drive, ParameterSet file, std::function<void(const ParamEntry&)> notify,
                 QWidget* parent = nullptr);

  QTableWidget* Table() const { return table_; }
  QCheckBox* ShowEqualBox() const { return showEqual_; }
  QPushButton* WriteSelectedButton() const { return writeSelected_; }
  QPushButton* WriteAllButton() const { return writeAll_; }
  // The values that differ now.
  int DifferenceCount() const;
  // Writes the file's value of the listed rows (rows that differ) to the drive; the rows that the
  // drive did not take, or that read back otherwise, are named in a message. Returns the count taken.
  int WriteRows(const std::vector<int>& rows);

 private:
  void Fill();
  void UpdateButtons();
  bool WriteOne(const ParamDifference& difference);

  ParameterSet drive_;
  ParameterSet file_;
  std::function<void(const ParamEntry&)> notify_;
  std::vector<ParamDifference> rows_;
  QLabel* summary_ = nullptr;
  QTableWidget* table_ = nullptr;
  QCheckBox* showEqual_ = nullptr;
  QPushButton* writeSelected_ = nullptr;
  QPushButton* writeAll_ = nullptr;
};

}  // namespace axtune
