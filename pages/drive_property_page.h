// The General page: device type and firmware version of the connected drive, read from record 128
// each time the page is shown or hidden, connected or not. It publishes the firmware version number
// and the record count for the other parts of the program.
#pragma once

#include <QLabel>

#include "controls/axtune_property_page.h"

namespace axtune {

class CDrivePropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 145;
  static constexpr int kIdDriveType = 1137;
  static constexpr int kIdFirmwareVersion = 1139;
  static constexpr int kIdRecordCount = 1140;

  explicit CDrivePropertyPage(QWidget* parent = nullptr);

  void OnShowWindow(bool show) override;

  QString DriveTypeText() const { return type_->text(); }
  QString FirmwareVersionText() const { return version_->text(); }
  QString RecordCountText() const { return count_->text(); }

 private:
  QLabel* type_;
  QLabel* version_;
  QLabel* count_;
};

}  // namespace axtune
