#include "app/assistant/motor_step.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/assistant/assistant_window.h"
#include "controls/axtune_edit.h"
#include "core/parameter_dictionary.h"
#include "link/drive_link.h"
#include "pages/dictionary_binding.h"

namespace axtune {
namespace {

constexpr int kTextTitle = 56040, kTextInstruction = 56041, kTextRated = 56042, kTextPropose = 56043;
constexpr int kTextAccept = 56044, kTextProposal = 56045, kTextCapped = 56046, kTextNoNumber = 56047;
constexpr int kTextAccepted = 56048, kTextByHand = 56049, kTextRatedShort = 56050, kTextNoProposal = 56051;

constexpr int kIdMotorCurrent = 1174, kIdIdleLevel = 1175, kIdStepResolution = 1251, kIdIdleDelay = 1252;
constexpr int kSettingsRecord = 2;

const ParamEntry& Entry(int controlId) {
  return *FindControlEntry(ParamPage::Settings, controlId);
}

// In the language's decimal sign, without thousands separators (as the fields show numbers).
QString Number(double value) {
  QLocale locale;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(value, 'f', QLocale::FloatingPointShortest);
}

// A value as typed into a bound field: no grouping, the window's decimal separator.
QString FieldNumber(double value) {
  QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
  if (CurrentLanguage() == Language::German) text.replace(QLatin1Char('.'), QLatin1Char(','));
  return text;
}

}  // namespace

MotorStep::MotorStep(CommissioningAssistant& assistant)
    : AssistantStepPage(assistant, AssistantStep::Motor, kTextTitle, kTextInstruction) {
  auto* ratedRow = new QHBoxLayout;
  auto* ratedLabel = new QLabel(AssistantText(kTextRated), this);
  rated_ = new QLineEdit(this);
  rated_->setObjectName(QStringLiteral("ratedCurrent"));
  rated_->setFixedWidth(96);
  rated_->setAlignment(Qt::AlignRight);
  ratedLabel->setBuddy(rated_);
  propose_ = new QPushButton(AssistantText(kTextPropose), this);
  propose_->setObjectName(QStringLiteral("propose"));
  ratedRow->addWidget(ratedLabel);
  ratedRow->addWidget(rated_);
  ratedRow->addWidget(new QLabel(QString::fromUtf8(Text(44674)), this));
  ratedRow->addWidget(propose_);
  ratedRow->addStretch(1);
  Body()->addLayout(ratedRow);

  proposalText_ = new QLabel(this);
  proposalText_->setObjectName(QStringLiteral("proposal"));
  proposalText_->setWordWrap(true);
  Body()->addWidget(proposalText_);
  accept_ = new QPushButton(AssistantText(kTextAccept), this);
  accept_->setObjectName(QStringLiteral("accept"));
  accept_->setEnabled(false);
  auto* acceptRow = new QHBoxLayout;
  acceptRow->addWidget(accept_);
  acceptRow->addStretch(1);
  Body()->addLayout(acceptRow);
  Body()->addSpacing(8);

  // The Settings page's fields, bound from the same dictionary entries.
  auto* grid = new QGridLayout;
  int row = 0;
  for (int id : {kIdMotorCurrent, kIdIdleDelay, kIdIdleLevel, kIdStepResolution}) {
    const ParamEntry& entry = Entry(id);
    auto* field = new CAxtuneEdit(this, id);
    field->setAlignment(Qt::AlignRight);
    field->setFixedWidth(96);
    for (const EditBindStep& step : BindStepsFor(entry)) ApplyBindStep(*field, step);
    const QString unit = QString::fromStdString(ParameterUnit(entry, CurrentLanguage()));
    field->SetUnit(unit);
    auto* label = new QLabel(QString::fromStdString(ParameterLabel(entry, CurrentLanguage())), this);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    grid->addWidget(new QLabel(unit, this), row, 2);
    fields_[id] = field;
    ++row;
  }
  grid->setColumnStretch(3, 1);
  Body()->addLayout(grid);

  connect(propose_, &QPushButton::clicked, this, &MotorStep::Propose);
  rated_->installEventFilter(this);
  connect(accept_, &QPushButton::clicked, this, &MotorStep::AcceptProposal);
}

CAxtuneEdit* MotorStep::Field(int controlId) const {
  auto it = fields_.find(controlId);
  return it == fields_.end() ? nullptr : it->second;
}

void MotorStep::initializePage() {
  ReadFields();
  rated_->setFocus();
}

bool MotorStep::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the rated current proposes (and is no Next): the focus goes on to Accept.
  if (watched == rated_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (Propose()) accept_->setFocus();
      return true;
    }
  }
  return AssistantStepPage::eventFilter(watched, event);
}

void MotorStep::ReadFields() {
  if (!Assistant().IsConnected()) return;
  for (auto& [id, field] : fields_) {
    if (id != kIdIdleDelay) field->ReadFromDrive();
  }
  RecordWords words{};
  if (ReadRecord(kSettingsRecord, words)) {
    RecordImage image{};
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<int16_t>(words[i]);
    fields_.at(kIdIdleDelay)->LoadFromRecord(image);
  }
}

void MotorStep::SetRatedCurrent(const QString& text) {
  rated_->setText(text);
}

bool MotorStep::Propose() {
  bool ok = false;
  double rated = QLocale().toDouble(rated_->text().trimmed(), &ok);
  if (!ok) rated = QLocale::c().toDouble(rated_->text().trimmed(), &ok);
  proposal_ = ok ? ProposeMotorSettings(rated, DriveMotorLimits()) : MotorProposal{};
  accept_->setEnabled(proposal_.ok);
  if (!proposal_.ok) {
    proposalText_->setText(AssistantText(kTextNoNumber).arg(Number(DriveMotorLimits().maxCurrentMa)));
    return false;
  }
  QString text =
      AssistantText(kTextProposal)
          .arg(Number(proposal_.currentMa), Number(proposal_.idlePercent), Number(proposal_.idleDelayMs));
  if (proposal_.currentCapped)
    text += QLatin1Char(' ') + AssistantText(kTextCapped).arg(Number(proposal_.currentMa));
  proposalText_->setText(text);
  return true;
}

QString MotorStep::ProposalText() const {
  return proposalText_->text();
}

void MotorStep::Enter(int controlId, const QString& text) {
  CAxtuneEdit* field = Field(controlId);
  field->setText(text);
  field->setModified(true);
  field->CommitValue();
}

bool MotorStep::AcceptProposal() {
  // Proposed again from the rated current as it stands now, so what is written is what is shown.
  if (!Propose()) return false;
  // Through the bound fields: each checks its range and writes as the Settings page does.
  Enter(kIdMotorCurrent, FieldNumber(proposal_.currentMa));
  Enter(kIdIdleDelay, FieldNumber(proposal_.idleDelayMs));
  Enter(kIdIdleLevel, FieldNumber(proposal_.idlePercent));
  accepted_ = true;
  return true;
}

bool MotorStep::validatePage() {
  QStringList values;
  if (!rated_->text().trimmed().isEmpty())
    values << AssistantText(kTextRatedShort).arg(rated_->text().trimmed());
  for (int id : {kIdMotorCurrent, kIdIdleDelay, kIdIdleLevel, kIdStepResolution}) {
    const ParamEntry& entry = Entry(id);
    values << QStringLiteral("%1 %2 %3")
                  .arg(QString::fromStdString(ParameterLabel(entry, CurrentLanguage())),
                       fields_.at(id)->text(),
                       QString::fromStdString(ParameterUnit(entry, CurrentLanguage())));
  }
  // The proposal counts as accepted while the fields still hold it.
  const bool asProposed = accepted_ && proposal_.ok &&
                          fields_.at(kIdMotorCurrent)->text() == FieldNumber(proposal_.currentMa);
  Assistant().RecordCheck(AssistantStep::Motor, values.join(QStringLiteral("; ")),
                          AssistantText(asProposed     ? kTextAccepted
                                        : proposal_.ok ? kTextByHand
                                                       : kTextNoProposal));
  return true;
}

}  // namespace axtune
