#include "app/assistant/drive_step.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/assistant/assistant_window.h"
#include "app/axtune_dlg.h"
#include "app/connection_state_text.h"
#include "controls/message_box.h"
#include "core/drive_identity.h"
#include "link/drive_link.h"

namespace axtune {
namespace {

constexpr int kTextTitle = 56020, kTextInstruction = 56021, kTextType = 56022, kTextFirmware = 56023;
constexpr int kTextPort = 56024, kTextMachine = 56025, kTextAxis = 56026, kTextFromDrive = 56027;
constexpr int kTextFromFile = 56028, kTextLoad = 56029, kTextLoadFirst = 56030, kTextStartedDrive = 56031;
constexpr int kTextStartedFile = 56032, kTextUnknown = 56033;

}  // namespace

DriveStep::DriveStep(CommissioningAssistant& assistant)
    : AssistantStepPage(assistant, AssistantStep::Drive, kTextTitle, kTextInstruction) {
  identity_ = new QLabel(this);
  identity_->setObjectName(QStringLiteral("identity"));
  identity_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Body()->addWidget(identity_);
  auto* form = new QFormLayout;
  machine_ = new QLineEdit(this);
  machine_->setObjectName(QStringLiteral("machine"));
  axis_ = new QLineEdit(this);
  axis_->setObjectName(QStringLiteral("axis"));
  form->addRow(AssistantText(kTextMachine), machine_);
  form->addRow(AssistantText(kTextAxis), axis_);
  Body()->addLayout(form);
  fromDrive_ = new QRadioButton(AssistantText(kTextFromDrive), this);
  fromDrive_->setObjectName(QStringLiteral("fromDrive"));
  fromDrive_->setChecked(true);
  fromFile_ = new QRadioButton(AssistantText(kTextFromFile), this);
  fromFile_->setObjectName(QStringLiteral("fromFile"));
  load_ = new QPushButton(AssistantText(kTextLoad), this);
  load_->setObjectName(QStringLiteral("load"));
  load_->setEnabled(false);
  Body()->addWidget(fromDrive_);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(fromFile_);
  fileRow->addWidget(load_);
  fileRow->addStretch(1);
  Body()->addLayout(fileRow);
  connect(fromFile_, &QRadioButton::toggled, load_, &QPushButton::setEnabled);
  connect(load_, &QPushButton::clicked, this, &DriveStep::LoadFile);
  registerField(QStringLiteral("machine"), machine_);
  registerField(QStringLiteral("axis"), axis_);
}

void DriveStep::initializePage() {
  ShowIdentity();
}

void DriveStep::ShowIdentity() {
  QString type = AssistantText(kTextUnknown), version = type;
  RecordWords words{};
  if (Assistant().IsConnected() && ReadRecord(kIdentificationRecord, words)) {
    std::array<int16_t, 15> signedWords{};
    for (int i = 0; i < kRecordWords; ++i)
      signedWords[static_cast<size_t>(i)] = static_cast<int16_t>(words[static_cast<size_t>(i)]);
    const DriveIdentity id = DecodeIdentification(signedWords);
    type = QString::fromStdString(id.typeText).trimmed();
    version = QString::fromStdString(id.versionText).trimmed();
  }
  const QString port = QString::fromStdString(PortLabel(Assistant().Window().CheckedPort()));
  identity_->setText(QStringLiteral("%1 <b>%2</b><br>%3 %4<br>%5 %6")
                         .arg(AssistantText(kTextType), type.toHtmlEscaped(), AssistantText(kTextFirmware),
                              version.toHtmlEscaped(), AssistantText(kTextPort), port.toHtmlEscaped()));
}

QString DriveStep::DriveText() const {
  QString text = identity_->text();
  text.replace(QStringLiteral("<br>"), QStringLiteral("; "));
  text.remove(QStringLiteral("<b>")).remove(QStringLiteral("</b>"));
  return text;
}

void DriveStep::SetNames(const QString& machine, const QString& axis) {
  machine_->setText(machine);
  axis_->setText(axis);
}

QString DriveStep::Machine() const {
  return machine_->text().trimmed();
}

QString DriveStep::Axis() const {
  return axis_->text().trimmed();
}

void DriveStep::ChooseStartFromFile(bool fromFile) {
  (fromFile ? fromFile_ : fromDrive_)->setChecked(true);
}

void DriveStep::LoadFile() {
  CAxtuneDlg& window = Assistant().Window();
  window.OnLoadParameters();
  Assistant().raise();
  Assistant().activateWindow();
  // A file that went to the drive marks its parameters as changed (and not yet stored).
  if (window.IsModified()) {
    loaded_ = true;
    Assistant().NoteWritten();
  }
}

bool DriveStep::validatePage() {
  if (fromFile_->isChecked() && !loaded_) {
    ShowMessage(this, AssistantText(kTextLoadFirst));
    return false;
  }
  QString values = DriveText();
  if (!Machine().isEmpty() || !Axis().isEmpty())
    values += QStringLiteral("; %1 %2, %3 %4")
                  .arg(AssistantText(kTextMachine).remove('&'), Machine(),
                       AssistantText(kTextAxis).remove('&'), Axis());
  Assistant().RecordCheck(AssistantStep::Drive, values,
                          AssistantText(fromFile_->isChecked() ? kTextStartedFile : kTextStartedDrive));
  return true;
}

}  // namespace axtune
