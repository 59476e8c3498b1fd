#include "pages/drive_property_page.h"

#include <QGridLayout>

#include "link/drive_link.h"
#include "core/drive_identity.h"
#include "res/strings.h"

namespace axtune {
namespace {
QLabel* ValueLabel(QWidget* parent, int id, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::number(id));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setMinimumWidth(180);
  return label;
}
}  // namespace

CDrivePropertyPage::CDrivePropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(kIdentificationRecord);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(24, 24, 24, 24);
  grid->setHorizontalSpacing(16);
  grid->setVerticalSpacing(10);

  type_ = ValueLabel(this, kIdDriveType, QStringLiteral("Drive"));
  version_ = ValueLabel(this, kIdFirmwareVersion, QString());
  count_ = ValueLabel(this, kIdRecordCount, QString());
  auto* countLabel = new QLabel(QString::fromUtf8(Text(41140)), this);

  grid->addWidget(new QLabel(QString::fromUtf8(Text(41137)), this), 0, 0);
  grid->addWidget(type_, 0, 1);
  grid->addWidget(new QLabel(QString::fromUtf8(Text(41139)), this), 1, 0);
  grid->addWidget(version_, 1, 1);
  grid->addWidget(countLabel, 2, 0);
  grid->addWidget(count_, 2, 1);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(3, 1);
  // The record count is kept for the parameter file, not shown.
  countLabel->hide();
  count_->hide();
}

void CDrivePropertyPage::OnShowWindow(bool /*show*/) {
  uint16_t words[kRecordWords];
  if (!ReadRecord(kIdentificationRecord, words)) {
    // No message here: a missing drive simply shows empty fields. Count and version number stay.
    type_->clear();
    version_->clear();
    return;
  }
  RecordImage& image = MutableImage();
  for (int i = 0; i < kRecordWords; ++i) image[i] = static_cast<int16_t>(words[i]);
  const DriveIdentity id = DecodeIdentification(image);
  type_->setText(QString::fromUtf8(id.typeText));
  version_->setText(QString::fromUtf8(id.versionText));
  count_->setText(QString::number(id.recordCount));
  SetFirmwareVersionNumber(id.versionNumber);
  SetRecordCount(id.recordCount);
}

}  // namespace axtune
