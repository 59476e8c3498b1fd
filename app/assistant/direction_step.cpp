#include "app/assistant/direction_step.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/assistant/assistant_window.h"
#include "app/axtune_dlg.h"
#include "controls/message_box.h"
#include "controls/write_failure.h"
#include "core/parameter_access.h"
#include "core/parameter_dictionary.h"
#include "pages/motion_commands.h"

namespace axtune {
namespace {

constexpr int kTextTitle = 56060, kTextInstruction = 56061, kTextPlan = 56062, kTextMove = 56063;
constexpr int kTextStop = 56064, kTextQuestion = 56065, kTextYes = 56066, kTextNo = 56067;
constexpr int kTextMoving = 56068, kTextMoved = 56069, kTextInvertedAgain = 56070, kTextConfirmed = 56071;
constexpr int kTextNotConfirmed = 56072, kTextNotStarted = 56073, kTextInvertedValue = 56074;
constexpr int kTextYesWord = 56075, kTextNoWord = 56076;

int StepsPerRevolution() {
  const std::optional<ParamEntry> entry = FindParameter("step-resolution");
  uint32_t raw = 0;
  return entry && ReadParameter(*entry, &raw) ? static_cast<int>(raw) : 0;
}

}  // namespace

DirectionStep::DirectionStep(CommissioningAssistant& assistant)
    : AssistantStepPage(assistant, AssistantStep::Direction, kTextTitle, kTextInstruction) {
  plan_ = new QLabel(this);
  plan_->setObjectName(QStringLiteral("plan"));
  Body()->addWidget(plan_);
  auto* buttons = new QHBoxLayout;
  move_button_ = new QPushButton(AssistantText(kTextMove), this);
  move_button_->setObjectName(QStringLiteral("move"));
  stop_ = new QPushButton(AssistantText(kTextStop), this);
  stop_->setObjectName(QStringLiteral("stop"));
  // Stop stays usable at all times, whatever the step thinks is running.
  stop_->setStyleSheet(QStringLiteral("QPushButton { font-weight: bold; color: #a00000; }"));
  buttons->addWidget(move_button_);
  buttons->addWidget(stop_);
  buttons->addStretch(1);
  Body()->addLayout(buttons);
  result_ = new QLabel(this);
  result_->setObjectName(QStringLiteral("result"));
  result_->setWordWrap(true);
  Body()->addWidget(result_);
  Body()->addSpacing(8);
  question_ = new QLabel(AssistantText(kTextQuestion), this);
  question_->setWordWrap(true);
  Body()->addWidget(question_);
  auto* answers = new QHBoxLayout;
  yes_ = new QPushButton(AssistantText(kTextYes), this);
  yes_->setObjectName(QStringLiteral("yes"));
  no_ = new QPushButton(AssistantText(kTextNo), this);
  no_->setObjectName(QStringLiteral("no"));
  answers->addWidget(yes_);
  answers->addWidget(no_);
  answers->addStretch(1);
  Body()->addLayout(answers);
  connect(move_button_, &QPushButton::clicked, this, &DirectionStep::StartMove);
  connect(stop_, &QPushButton::clicked, this, &DirectionStep::Stop);
  connect(yes_, &QPushButton::clicked, this, [this] { Answer(true); });
  connect(no_, &QPushButton::clicked, this, [this] { Answer(false); });
  UpdateButtons();
}

void DirectionStep::initializePage() {
  planned_ = TestMove::PlanFor(Assistant().IsConnected() ? StepsPerRevolution() : 0);
  plan_->setText(PlanText());
  ReadInverted();
  UpdateButtons();
}

void DirectionStep::cleanupPage() {
  if (move_.Running()) Stop();
  move_.Restore();
  Assistant().SetMotionRunning(false);
}

QString DirectionStep::PlanText() const {
  return AssistantText(kTextPlan).arg(planned_.distance).arg(planned_.velocity);
}

bool DirectionStep::ReadInverted() {
  const std::optional<ParamEntry> entry = FindParameter("invert-rotation");
  uint32_t raw = 0;
  if (!entry || !ReadParameter(*entry, &raw)) return false;
  inverted_ = raw != 0;
  return true;
}

bool DirectionStep::StartMove() {
  if (move_.Running()) return true;
  const int32_t position = Assistant().LastPoll().ok
                               ? static_cast<int32_t>(Assistant().LastPoll().reading.record129[4] |
                                                      (Assistant().LastPoll().reading.record129[5] << 16))
                               : 0;
  if (!move_.Start(planned_, position)) {
    ShowMessage(this, AssistantText(kTextNotStarted));
    return false;
  }
  Assistant().SetMotionRunning(true);
  result_->setText(AssistantText(kTextMoving));
  UpdateButtons();
  // The Stop button takes the focus, so Space or Enter stop as well as Esc.
  stop_->setFocus();
  return true;
}

void DirectionStep::Stop() {
  Assistant().StopMotion();
}

void DirectionStep::OnPoll(const DriveStatusPoll& poll) {
  if (!move_.Running()) return;
  const RecordWords& r = poll.reading.record129;
  const auto position = static_cast<int32_t>(r[4] | (static_cast<uint32_t>(r[5]) << 16));
  if (!move_.Observe(poll.reading.record131, position)) return;
  Assistant().SetMotionRunning(false);
  moved_ = true;
  result_->setText(AssistantText(kTextMoved).arg(move_.Travelled()));
  UpdateButtons();
  yes_->setFocus();
}

void DirectionStep::OnAnsweringChanged(bool answering) {
  (void)answering;
  UpdateButtons();
}

bool DirectionStep::Answer(bool positive) {
  if (positive) {
    confirmed_ = true;
    result_->setText(AssistantText(kTextConfirmed));
    UpdateButtons();
    return true;
  }
  const std::optional<ParamEntry> entry = FindParameter("invert-rotation");
  if (!entry || !WriteParameter(*entry, inverted_ ? 0 : 1)) {
    ReportWriteFailure(this);
    return false;
  }
  inverted_ = !inverted_;
  ++inversions_;
  confirmed_ = false;
  moved_ = false;
  Assistant().NoteWritten();
  Assistant().Window().NotifyParameterWritten(*entry);
  result_->setText(AssistantText(kTextInvertedAgain));
  UpdateButtons();
  move_button_->setFocus();
  return true;
}

void DirectionStep::UpdateButtons() {
  const bool answering = Assistant().DriveAnswering();
  move_button_->setEnabled(answering && !move_.Running());
  yes_->setEnabled(moved_ && !move_.Running());
  no_->setEnabled(moved_ && !move_.Running());
}

bool DirectionStep::validatePage() {
  // Next during the move stops it; the step stays for the question.
  if (move_.Running()) {
    Stop();
    return false;
  }
  const QString values =
      PlanText() + QStringLiteral("; ") +
      AssistantText(kTextInvertedValue).arg(AssistantText(inverted_ ? kTextYesWord : kTextNoWord));
  Assistant().RecordCheck(AssistantStep::Direction, values,
                          AssistantText(confirmed_ ? kTextConfirmed : kTextNotConfirmed), confirmed_);
  return true;
}

}  // namespace axtune
