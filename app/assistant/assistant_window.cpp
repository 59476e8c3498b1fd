#include "app/assistant/assistant_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include "app/assistant/direction_step.h"
#include "app/assistant/drive_step.h"
#include "app/assistant/finish_step.h"
#include "app/assistant/homing_step.h"
#include "app/assistant/motor_step.h"
#include "app/assistant/switches_step.h"
#include "app/axtune_dlg.h"
#include "app/worker_job.h"
#include "controls/message_box.h"
#include "core/commissioning_report.h"
#include "link/drive_link.h"
#include "pages/motion_commands.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kTextTitle = 56011;
constexpr int kTextNotStored = 56012, kTextNoFile = 56013, kTextNoReport = 56014;

}  // namespace

CommissioningAssistant::CommissioningAssistant(CAxtuneDlg& window)
    : QWizard(&window, Qt::Window), window_(window) {
  setObjectName(QStringLiteral("commissioningAssistant"));
  setWindowTitle(AssistantText(kTextTitle));
  setWizardStyle(QWizard::ClassicStyle);
  setOption(QWizard::NoBackButtonOnStartPage);
  setOption(QWizard::NoCancelButton, false);
  setAttribute(Qt::WA_DeleteOnClose);
  // Beside the main window, not over it: both stay usable.
  setModal(false);
  setWindowModality(Qt::NonModal);

  setPage(static_cast<int>(AssistantStep::Drive), new DriveStep(*this));
  setPage(static_cast<int>(AssistantStep::Motor), new MotorStep(*this));
  setPage(static_cast<int>(AssistantStep::Direction), new DirectionStep(*this));
  setPage(static_cast<int>(AssistantStep::Switches), new SwitchesStep(*this));
  setPage(static_cast<int>(AssistantStep::Homing), new HomingStep(*this));
  setPage(static_cast<int>(AssistantStep::Finish), new FinishStep(*this));
  resize(560, 520);

  // One client of the status poller, asked by the window's own timer, which leaves the line alone
  // while a worker thread has it (a file being saved or loaded).
  pollClient_ = DriveStatusPoller::Instance().addClient([this](const DriveStatusPoll& poll) { OnPoll(poll); },
                                                        kPollMs, false);
  pollTimer_ = new QTimer(this);
  pollTimer_->setInterval(kPollMs);
  connect(pollTimer_, &QTimer::timeout, this, [this] { PollNow(); });
  pollTimer_->start();
  // The assistant goes with the main window, while the drive is still connected.
  window.installEventFilter(this);
}

bool CommissioningAssistant::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &window_ && event->type() == QEvent::Close && isVisible()) close();
  return QWizard::eventFilter(watched, event);
}

CommissioningAssistant::~CommissioningAssistant() {
  DriveStatusPoller::Instance().removeClient(pollClient_);
}

CommissioningAssistant* CommissioningAssistant::Open(CAxtuneDlg& window) {
  // One that is closing (deleted later) does not count.
  CommissioningAssistant* existing = nullptr;
  for (auto* candidate : window.findChildren<CommissioningAssistant*>(QString(), Qt::FindDirectChildrenOnly))
    if (!candidate->leaving_) existing = candidate;
  CommissioningAssistant* assistant = existing != nullptr ? existing : new CommissioningAssistant(window);
  if (existing == nullptr) {
    // To the right of the main window when the screen has room, else to its left.
    const QRect main = window.frameGeometry();
    const QScreen* screen = window.screen();
    const QRect free = screen != nullptr ? screen->availableGeometry() : QRect();
    int x = main.right() + 8;
    if (free.isValid() && x + assistant->width() > free.right())
      x = std::max(free.left(), main.left() - assistant->width() - 8);
    assistant->move(x, main.top());
  }
  assistant->show();
  assistant->raise();
  assistant->activateWindow();
  return assistant;
}

AssistantStepPage* CommissioningAssistant::Step(AssistantStep step) const {
  return static_cast<AssistantStepPage*>(page(static_cast<int>(step)));
}

void CommissioningAssistant::RecordCheck(AssistantStep step, const QString& values, const QString& confirmed,
                                         bool passed) {
  CommissioningCheck check;
  check.step = Step(step)->title().toStdString();
  check.values = values.toStdString();
  check.confirmed = confirmed.toStdString();
  check.time = LocalDateTimeText();
  check.by = window_.CurrentUser().name.toStdString();
  check.passed = passed;
  checks_.Record(step, std::move(check));
}

bool CommissioningAssistant::PollNow() {
  if (DriveLinkLentToWorker()) return answering_;
  // While the main window has lost the drive it looks for it by itself; the step waits without
  // reading (each read would block the window for its time-outs) until the drive is back.
  if (!IsLinkOpen() || !window_.IsConnected()) {
    OnPoll(DriveStatusPoll{});
    return false;
  }
  DriveStatusPoller::Instance().pollOnce(pollClient_);
  return answering_;
}

void CommissioningAssistant::OnPoll(const DriveStatusPoll& poll) {
  lastPoll_ = poll;
  if (poll.ok != answering_) {
    answering_ = poll.ok;
    for (int id : pageIds()) static_cast<AssistantStepPage*>(page(id))->SetAnswering(answering_);
    emit AnsweringChanged(answering_);
  }
  if (auto* step = static_cast<AssistantStepPage*>(currentPage()); step != nullptr && poll.ok)
    step->OnPoll(poll);
  emit Polled(poll);
}

void CommissioningAssistant::StopMotion() {
  if (!SendStopSequence()) ShowMessage(this, AssistantText(kTextStopNotReceived));
}

QString CommissioningAssistant::LeavingNote() const {
  QStringList lines;
  if (unstored_) lines << AssistantText(kTextNotStored);
  if (checks_.InStepOrder().empty()) return lines.join('\n');
  if (savedFile_.isEmpty()) lines << AssistantText(kTextNoFile);
  if (reportFile_.isEmpty()) lines << AssistantText(kTextNoReport);
  return lines.join('\n');
}

bool CommissioningAssistant::IsConnected() const {
  return window_.IsConnected();
}

void CommissioningAssistant::NotifyParameterWritten(int record, const QWidget* control) {
  unstored_ = true;
  window_.NotifyParameterWritten(record, control);
}

void CommissioningAssistant::ShowStatusNote(const QString& text) {
  window_.ShowStatusNote(text);
}

void CommissioningAssistant::keyPressEvent(QKeyEvent* event) {
  // Esc halts a move; only without one does it close the assistant.
  if (event->key() == Qt::Key_Escape && motionRunning_) {
    StopMotion();
    event->accept();
    return;
  }
  QWizard::keyPressEvent(event);
}

void CommissioningAssistant::reject() {
  if (motionRunning_) {
    StopMotion();
    return;
  }
  QWizard::reject();
}

void CommissioningAssistant::Leave() {
  if (motionRunning_) StopMotion();
  if (leaving_) return;
  leaving_ = true;
  pollTimer_->stop();
  // Leaving early keeps everything written; it says what is not stored or saved.
  const QString note = LeavingNote();
  if (!note.isEmpty()) ShowMessage(this, note);
}

void CommissioningAssistant::done(int result) {
  Leave();
  QWizard::done(result);
}

void CommissioningAssistant::closeEvent(QCloseEvent* event) {
  Leave();
  event->accept();
}

}  // namespace axtune
