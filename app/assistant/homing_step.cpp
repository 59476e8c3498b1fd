#include "app/assistant/homing_step.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>

#include "app/assistant/assistant_window.h"
#include "app/assistant/mini_trend.h"
#include "controls/axtune_combo_box.h"
#include "controls/axtune_edit.h"
#include "controls/message_box.h"
#include "core/parameter_dictionary.h"
#include "pages/dictionary_binding.h"
#include "pages/motion_commands.h"

namespace axtune {
namespace {

constexpr int kTextTitle = 56100, kTextInstruction = 56101, kTextRun = 56102, kTextStop = 56064;
constexpr int kTextReferenced = 56103, kTextNotReferenced = 56104, kTextHoming = 56105, kTextFailed = 56106;
constexpr int kTextConfirmed = 56107, kTextNotConfirmed = 56109;
constexpr int kIdMethod = 1236, kIdVelocity = 1238;
constexpr int kRefHoming = 1, kRefDone = 2;
constexpr int kQuietPollsLimit = 10;

}  // namespace

HomingStep::HomingStep(CommissioningAssistant& assistant)
    : AssistantStepPage(assistant, AssistantStep::Homing, kTextTitle, kTextInstruction) {
  auto* grid = new QGridLayout;
  const ParamEntry* methodEntry = FindControlEntry(ParamPage::Homing, kIdMethod);
  method_ = new CAxtuneComboBox(this, kIdMethod);
  method_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  for (int text : ListTextIds(ParamPage::Homing, kIdMethod)) method_->addItem(QString::fromUtf8(Text(text)));
  method_->BindObject(methodEntry->index, methodEntry->subindex, methodEntry->size,
                      ListCodes(ParamPage::Homing, kIdMethod));
  const ParamEntry* velocityEntry = FindControlEntry(ParamPage::Homing, kIdVelocity);
  velocity_ = new CAxtuneEdit(this, kIdVelocity);
  velocity_->setAlignment(Qt::AlignRight);
  velocity_->setFixedWidth(96);
  for (const EditBindStep& step : BindStepsFor(*velocityEntry)) ApplyBindStep(*velocity_, step);
  const QString unit = QString::fromStdString(ParameterUnit(*velocityEntry, CurrentLanguage()));
  velocity_->SetUnit(unit);
  auto* methodLabel =
      new QLabel(QString::fromStdString(ParameterLabel(*methodEntry, CurrentLanguage())), this);
  methodLabel->setBuddy(method_);
  auto* velocityLabel =
      new QLabel(QString::fromStdString(ParameterLabel(*velocityEntry, CurrentLanguage())), this);
  velocityLabel->setBuddy(velocity_);
  grid->addWidget(methodLabel, 0, 0);
  grid->addWidget(method_, 0, 1, 1, 2);
  grid->addWidget(velocityLabel, 1, 0);
  grid->addWidget(velocity_, 1, 1);
  grid->addWidget(new QLabel(unit, this), 1, 2);
  grid->setColumnStretch(3, 1);
  Body()->addLayout(grid);

  auto* buttons = new QHBoxLayout;
  run_ = new QPushButton(AssistantText(kTextRun), this);
  run_->setObjectName(QStringLiteral("run"));
  stop_ = new QPushButton(AssistantText(kTextStop), this);
  stop_->setObjectName(QStringLiteral("stop"));
  stop_->setStyleSheet(QStringLiteral("QPushButton { font-weight: bold; color: #a00000; }"));
  buttons->addWidget(run_);
  buttons->addWidget(stop_);
  buttons->addStretch(1);
  Body()->addLayout(buttons);
  state_ = new QLabel(this);
  state_->setObjectName(QStringLiteral("homingState"));
  Body()->addWidget(state_);
  trend_ = new MiniTrend(this);
  Body()->addWidget(trend_);
  connect(run_, &QPushButton::clicked, this, &HomingStep::Run);
  connect(stop_, &QPushButton::clicked, this, &HomingStep::Stop);
}

void HomingStep::initializePage() {
  if (Assistant().IsConnected()) {
    method_->ReadFromDrive();
    velocity_->ReadFromDrive();
  }
  const DriveStatusPoll& poll = Assistant().LastPoll();
  if (poll.ok) referenced_ = static_cast<int16_t>(poll.reading.record129[10]);
  ShowState();
}

void HomingStep::cleanupPage() {
  if (running_) Stop();
}

bool HomingStep::Run() {
  if (running_) return true;
  if (!SendStartSequence(kModeHoming)) {
    ShowMessage(this, AssistantText(kTextStartNotReceived));
    return false;
  }
  running_ = true;
  ranHere_ = true;
  seenHoming_ = false;
  quietPolls_ = 0;
  trend_->Recorder().clear();
  Assistant().SetMotionRunning(true);
  stop_->setFocus();
  ShowState();
  return true;
}

void HomingStep::Stop() {
  Assistant().StopMotion();
}

void HomingStep::OnPoll(const DriveStatusPoll& poll) {
  referenced_ = static_cast<int16_t>(poll.reading.record129[10]);
  if (running_) {
    trend_->Recorder().addPoll(&poll.reading.record129, &poll.reading.record131,
                               std::chrono::duration<double>(poll.arrived.time_since_epoch()).count(),
                               poll.utcMs, poll.encoderLagSeconds);
    trend_->update();
    // Over once the drive left "homing", or when it never entered it.
    if (referenced_ == kRefHoming) {
      seenHoming_ = true;
    } else if (seenHoming_ || referenced_ == kRefDone || ++quietPolls_ >= kQuietPollsLimit) {
      running_ = false;
      Assistant().SetMotionRunning(false);
    }
  }
  ShowState();
}

void HomingStep::OnAnsweringChanged(bool answering) {
  run_->setEnabled(answering && !running_);
}

QString HomingStep::StateText() const {
  if (running_ || referenced_ == kRefHoming) return AssistantText(kTextHoming);
  if (referenced_ == kRefDone) return AssistantText(kTextReferenced);
  if (referenced_ == 0) return AssistantText(kTextNotReferenced);
  return AssistantText(kTextFailed);
}

void HomingStep::ShowState() {
  state_->setText(StateText());
  state_->setStyleSheet(referenced_ == kRefDone && !running_
                            ? QStringLiteral("QLabel { color: #106010; font-weight: bold; }")
                            : QString());
  run_->setEnabled(Assistant().DriveAnswering() && !running_);
}

bool HomingStep::validatePage() {
  // Next during the run stops it; the step stays until the drive has answered.
  if (running_) {
    Stop();
    return false;
  }
  const bool referenced = referenced_ == kRefDone && !running_;
  const QString values = QStringLiteral("%1; %2 %3 %4")
                             .arg(method_->currentText(),
                                  QString::fromStdString(ParameterLabel(
                                      *FindControlEntry(ParamPage::Homing, kIdVelocity), CurrentLanguage())),
                                  velocity_->text(),
                                  QString::fromStdString(ParameterUnit(
                                      *FindControlEntry(ParamPage::Homing, kIdVelocity), CurrentLanguage())));
  Assistant().RecordCheck(AssistantStep::Homing, values,
                          AssistantText(referenced && ranHere_ ? kTextConfirmed : kTextNotConfirmed),
                          referenced && ranHere_);
  return true;
}

}  // namespace axtune
