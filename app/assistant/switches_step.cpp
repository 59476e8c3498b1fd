#include "app/assistant/switches_step.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/assistant/assistant_window.h"
#include "controls/message_box.h"
#include "link/drive_link.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kTextTitle = 56080, kTextInstruction = 56081, kTextActive = 56082, kTextInactive = 56083;
constexpr int kTextTicked = 56084, kTextWaitingChange = 56085, kTextNone = 56086, kTextNeverChanged = 56087;
constexpr int kTextAllSeen = 56088, kTextNotSeen = 56089, kTextRestart = 56090, kTextUnknown = 56033;
constexpr int kInputsRecord = 3;

int FunctionTextId(SwitchKind kind) {
  switch (kind) {
    case SwitchKind::LowerLimit:
      return 32790;
    case SwitchKind::UpperLimit:
      return 32791;
    case SwitchKind::Reference:
      return 32798;
    case SwitchKind::Stop:
      return 32799;
  }
  return 32806;
}

}  // namespace

SwitchesStep::SwitchesStep(CommissioningAssistant& assistant)
    : AssistantStepPage(assistant, AssistantStep::Switches, kTextTitle, kTextInstruction) {
  grid_ = new QGridLayout;
  grid_->setHorizontalSpacing(16);
  Body()->addLayout(grid_);
  none_ = AddText(kTextNone);
  none_->hide();
  restart_ = new QPushButton(AssistantText(kTextRestart), this);
  restart_->setObjectName(QStringLiteral("restart"));
  auto* row = new QHBoxLayout;
  row->addWidget(restart_);
  row->addStretch(1);
  Body()->addSpacing(8);
  Body()->addLayout(row);
  connect(restart_, &QPushButton::clicked, this, &SwitchesStep::Restart);
}

QString SwitchesStep::SwitchName(const SwitchInput& in) const {
  return QStringLiteral("DE%1 %2").arg(in.input).arg(QString::fromUtf8(Text(FunctionTextId(in.kind))));
}

void SwitchesStep::initializePage() {
  uint16_t functions[10] = {};
  RecordWords words{};
  if (Assistant().IsConnected() && ReadRecord(kInputsRecord, words))
    std::copy(words.begin(), words.begin() + 10, functions);
  // Back and Next again keep what was seen, unless the inputs were set to other functions meanwhile.
  if (!std::equal(std::begin(functions), std::end(functions), std::begin(configured_))) {
    std::copy(std::begin(functions), std::end(functions), std::begin(configured_));
    check_.Configure(functions);
  }
  warned_ = false;
  for (QLabel* label : rows_) delete label;
  rows_.clear();
  int row = 0;
  for (const SwitchInput& in : check_.Inputs()) {
    auto* name = new QLabel(SwitchName(in), this);
    auto* state = new QLabel(this);
    state->setObjectName(QStringLiteral("switch%1").arg(in.input));
    grid_->addWidget(name, row, 0);
    grid_->addWidget(state, row, 1);
    rows_.push_back(name);
    rows_.push_back(state);
    ++row;
  }
  grid_->setColumnStretch(2, 1);
  none_->setVisible(check_.Inputs().empty());
  if (Assistant().DriveAnswering() && Assistant().LastPoll().ok)
    check_.Observe(Assistant().LastPoll().reading.record129[8]);
  ShowStates();
}

void SwitchesStep::Restart() {
  check_.Restart();
  warned_ = false;
  ShowStates();
}

void SwitchesStep::OnPoll(const DriveStatusPoll& poll) {
  check_.Observe(poll.reading.record129[8]);
  ShowStates();
}

QString SwitchesStep::RowText(int input) const {
  for (const SwitchInput& in : check_.Inputs()) {
    if (in.input != input) continue;
    const QString state =
        !in.active ? AssistantText(kTextUnknown) : AssistantText(*in.active ? kTextActive : kTextInactive);
    return state + QStringLiteral("   ") +
           (in.ticked() ? QStringLiteral("\u2714 ") + AssistantText(kTextTicked)
                        : AssistantText(kTextWaitingChange));
  }
  return {};
}

void SwitchesStep::ShowStates() {
  for (const SwitchInput& in : check_.Inputs()) {
    auto* state = findChild<QLabel*>(QStringLiteral("switch%1").arg(in.input));
    if (state == nullptr) continue;
    state->setText(RowText(in.input));
    state->setStyleSheet(in.ticked() ? QStringLiteral("QLabel { color: #106010; font-weight: bold; }")
                                     : QString());
  }
}

QString SwitchesStep::NeverChangedText() const {
  QStringList names;
  for (const SwitchInput& in : check_.NeverChanged()) names << SwitchName(in);
  return names.join('\n');
}

bool SwitchesStep::validatePage() {
  const QString never = NeverChangedText();
  // The first Next names the switches the drive never saw change; a second goes on without them.
  if (!never.isEmpty() && !warned_) {
    warned_ = true;
    ShowMessage(this, AssistantText(kTextNeverChanged).arg(never));
    return false;
  }
  QStringList values;
  for (const SwitchInput& in : check_.Inputs()) values << SwitchName(in);
  QString valueText = values.join(QStringLiteral(", "));
  QString confirmed =
      never.isEmpty() ? AssistantText(kTextAllSeen)
                      : AssistantText(kTextNotSeen).arg(QString(never).replace('\n', QStringLiteral(", ")));
  Assistant().RecordCheck(AssistantStep::Switches, valueText, confirmed, never.isEmpty());
  return true;
}

}  // namespace axtune
