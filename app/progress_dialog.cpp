#include "app/progress_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextRemaining = 42121;
constexpr int kTextElapsed = 42122;
constexpr int kTextCancel = 42123;
constexpr int kTextCancelling = 42124;
constexpr int kBarSteps = 1000;
// An estimate from the first sliver of the work would swing wildly; none is shown before this.
constexpr double kMinFractionForEstimate = 0.02;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}
}  // namespace

CProgressDialog::CProgressDialog(const QString& title, bool cancellable, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CProgressDialog"));
  setWindowTitle(title);
  setModal(true);
  // No close button in the frame: only Cancel stops the work.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  auto* layout = new QVBoxLayout(this);
  phase_ = new QLabel(this);
  phase_->setObjectName(kPhaseId);
  QFont bold = phase_->font();
  bold.setBold(true);
  phase_->setFont(bold);
  detail_ = new QLabel(this);
  detail_->setObjectName(kDetailId);
  bar_ = new QProgressBar(this);
  bar_->setObjectName(kBarId);
  bar_->setRange(0, kBarSteps);
  bar_->setValue(0);
  bar_->setMinimumWidth(380);
  time_ = new QLabel(this);
  time_->setObjectName(kTimeId);
  layout->addWidget(phase_);
  layout->addWidget(detail_);
  layout->addWidget(bar_);
  layout->addWidget(time_);
  note_ = new QLabel(this);
  note_->setObjectName(kNoteId);
  note_->setWordWrap(true);
  note_->hide();
  layout->addWidget(note_);
  optionRow_ = layout->count();

  if (cancellable) {
    auto* buttons = new QDialogButtonBox(this);
    cancel_ = buttons->addButton(Tr(kTextCancel), QDialogButtonBox::RejectRole);
    cancel_->setObjectName(kCancelId);
    connect(cancel_, &QPushButton::clicked, this, &CProgressDialog::RequestCancel);
    layout->addWidget(buttons);
  }

  started_.start();
  clock_ = [this] { return started_.elapsed(); };
  // The elapsed time moves on while a long step (erasing) reports nothing.
  tick_.setInterval(500);
  connect(&tick_, &QTimer::timeout, this, &CProgressDialog::UpdateTime);
  tick_.start();
  UpdateTime();
}

QCheckBox* CProgressDialog::AddOption(const QString& text, bool checked) {
  auto* box = new QCheckBox(text, this);
  box->setObjectName(kOptionId);
  box->setChecked(checked);
  static_cast<QVBoxLayout*>(layout())->insertWidget(optionRow_, box);
  return box;
}

void CProgressDialog::SetPhase(const QString& text) {
  if (cancelRequested_) return;  // "Cancelling ..." stays until the work has stopped
  phase_->setText(text);
}

void CProgressDialog::SetDetail(const QString& text) {
  detail_->setText(text);
}

void CProgressDialog::SetNote(const QString& text) {
  note_->setText(text);
  note_->setVisible(!text.isEmpty());
  // A wrapped label's height depends on its width, and the dialog's minimum size does not ask for
  // it: without a minimum the second line is cut off. The bar spans the same column.
  note_->setMinimumHeight(text.isEmpty() ? 0 : note_->heightForWidth(bar_->width()));
}

QString CProgressDialog::NoteText() const {
  return note_->text();
}

void CProgressDialog::SetProgress(uint64_t done, uint64_t total) {
  if (bar_->maximum() == 0) bar_->setRange(0, kBarSteps);
  fraction_ = total == 0 ? 0.0 : std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
  // The estimate runs from the first measured step: waiting for the boot loader or erasing the flash
  // before it says nothing about the speed of the transfer.
  if (estimateFromMs_ < 0) {
    estimateFromMs_ = ElapsedMs();
    estimateFromFraction_ = fraction_;
  }
  bar_->setValue(static_cast<int>(fraction_ * kBarSteps + 0.5));
  UpdateTime();
}

void CProgressDialog::SetBusy() {
  fraction_ = -1;
  bar_->setRange(0, 0);
  UpdateTime();
}

void CProgressDialog::SetClock(std::function<int64_t()> elapsedMs) {
  clock_ = std::move(elapsedMs);
  UpdateTime();
}

void CProgressDialog::HoldClock() {
  clockHeld_ = true;
  UpdateTime();
}

void CProgressDialog::SetCancelQuestion(std::function<bool()> question) {
  cancelQuestion_ = std::move(question);
}

void CProgressDialog::DisableControls() {
  CloseQuestions();  // a question whether to cancel is moot now
  if (cancel_ != nullptr) cancel_->setEnabled(false);
  for (QCheckBox* box : findChildren<QCheckBox*>()) box->setEnabled(false);
}

bool CProgressDialog::CancelEnabled() const {
  return cancel_ != nullptr && cancel_->isEnabled();
}

void CProgressDialog::RestartClock() {
  clockHeld_ = false;
  clockOriginMs_ = clock_();
  estimateFromMs_ = -1;
  UpdateTime();
}

int64_t CProgressDialog::ElapsedMs() const {
  return clock_() - clockOriginMs_;
}

void CProgressDialog::SetRemaining(int64_t ms) {
  remainingGiven_ = true;
  remainingMs_ = ms;
  remainingAtMs_ = ElapsedMs();
  UpdateTime();
}

void CProgressDialog::CloseQuestions() {
  for (QMessageBox* box : findChildren<QMessageBox*>()) box->reject();
}

void CProgressDialog::Finish() {
  finished_ = true;
  CloseQuestions();
  tick_.stop();
  QDialog::done(QDialog::Accepted);
}

void CProgressDialog::reject() {
  // Only the work's end closes the window; Escape asks for a cancel where one is possible.
  if (finished_) {
    QDialog::reject();
    return;
  }
  if (cancel_ != nullptr) RequestCancel();
}

void CProgressDialog::RequestCancel() {
  if (cancelRequested_ || asking_ || (cancel_ != nullptr && !cancel_->isEnabled())) return;
  if (cancelQuestion_) {
    asking_ = true;
    const bool goOn = cancelQuestion_();
    asking_ = false;
    // The work may have gone past the point where a cancel means anything while the user read.
    if (!goOn || finished_ || (cancel_ != nullptr && !cancel_->isEnabled())) return;
  }
  cancelRequested_ = true;
  phase_->setText(Tr(kTextCancelling));
  if (cancel_ != nullptr) cancel_->setEnabled(false);
  emit CancelRequested();
}

void CProgressDialog::UpdateTime() {
  const int64_t elapsed = ElapsedMs();
  const double measured = fraction_ - estimateFromFraction_;
  if (clockHeld_) {
    time_->setText(QStringLiteral(" "));  // keeps the line's height
  } else if (remainingGiven_) {
    const int64_t left =
        remainingMs_ >= 0 ? std::max<int64_t>(remainingMs_ - (elapsed - remainingAtMs_), 0) : -1;
    // The time left is rounded to the nearest second, as the update's own figures line rounds it,
    // so the two never show 0:01 and 0:00 for the same estimate; the elapsed time counts whole seconds.
    time_->setText(left >= 0 ? Tr(kTextRemaining).arg(FormatDuration(elapsed), FormatDuration(left + 500))
                             : Tr(kTextElapsed).arg(FormatDuration(elapsed)));
  } else if (estimateFromMs_ >= 0 && fraction_ >= 0 && measured >= kMinFractionForEstimate &&
             fraction_ < 1.0) {
    const auto remaining =
        static_cast<int64_t>(static_cast<double>(elapsed - estimateFromMs_) * (1.0 - fraction_) / measured);
    time_->setText(Tr(kTextRemaining).arg(FormatDuration(elapsed), FormatDuration(remaining)));
  } else {
    time_->setText(Tr(kTextElapsed).arg(FormatDuration(elapsed)));
  }
}

QString CProgressDialog::FormatDuration(int64_t ms) {
  const int64_t seconds = std::max<int64_t>(ms, 0) / 1000;
  const int64_t h = seconds / 3600;
  const int64_t m = seconds / 60 % 60;
  const int64_t s = seconds % 60;
  if (h > 0) {
    return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
  }
  return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString CProgressDialog::PhaseText() const {
  return phase_->text();
}
QString CProgressDialog::DetailText() const {
  return detail_->text();
}
int CProgressDialog::BarPermille() const {
  return bar_->value();
}
QString CProgressDialog::TimeText() const {
  return time_->text();
}

}  // namespace axtune
