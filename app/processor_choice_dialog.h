// The question before a firmware update when the file does not fit the processor that the drive's
// type names, or the type names none: which processor the drive has. "Start update" is offered only
// for a processor whose erased flash holds the whole file, so no choice here can erase a drive for
// an image that cannot be programmed; Cancel (the default) sends nothing to the drive.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace axtune {

class FirmwareFile;
struct ProcessorFlash;

class CProcessorChoiceDialog : public QDialog {
  Q_OBJECT

 public:
  // `reason` says why the question comes up; `proposed` is preselected (null: the first processor
  // that fits the file).
  CProcessorChoiceDialog(const QString& reason, const FirmwareFile& file, const ProcessorFlash* proposed,
                         QWidget* parent = nullptr);

  // The chosen processor; null while it does not fit the file.
  const ProcessorFlash* Chosen() const;
  QString Reason() const;

 private:
  void OnChoice();

  const FirmwareFile& file_;
  QLabel* reason_ = nullptr;
  QComboBox* processors_ = nullptr;
  QLabel* verdict_ = nullptr;
  QPushButton* start_ = nullptr;
};

}  // namespace axtune
