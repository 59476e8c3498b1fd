// The modal progress window of long drive work (saving and loading parameter files, the firmware
// update): what is being done, which part of it, a bar over all of it, the time spent and an
// estimate of the time left, and a Cancel button where the work can be stopped.
//
// The window never closes on its own account: Escape, the close button and Cancel only ask the work to
// stop (CancelRequested); the work's owner closes it with Finish() when the work has ended.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace axtune {

class CProgressDialog : public QDialog {
  Q_OBJECT

 public:
  // Control ids (object names), for tests.
  static constexpr const char* kPhaseId = "phase";
  static constexpr const char* kDetailId = "detail";
  static constexpr const char* kBarId = "bar";
  static constexpr const char* kTimeId = "time";
  static constexpr const char* kNoteId = "note";
  static constexpr const char* kCancelId = "cancel";
  static constexpr const char* kOptionId = "option";

  CProgressDialog(const QString& title, bool cancellable, QWidget* parent = nullptr);

  void SetPhase(const QString& text);
  void SetDetail(const QString& text);
  // A line that stays while the work goes on (the update's change of rate); empty hides it.
  void SetNote(const QString& text);
  QString NoteText() const;
  // Fraction of the whole work; the bar and the estimate of the time left follow it.
  void SetProgress(uint64_t done, uint64_t total);
  // No bar position is known (waiting for the drive): the bar runs to and fro.
  void SetBusy();
  // Milliseconds since the work began; tests and screenshots put in a fixed clock.
  void SetClock(std::function<int64_t()> elapsedMs);
  // The elapsed time counts from now (the firmware update: from the user's answer to its prompt).
  void RestartClock();
  // No time is shown until RestartClock (the firmware update waits for the user's answer first).
  void HoldClock();
  int64_t ElapsedMs() const;
  // The time left as the work knows it (the rate of its current phase); below 0: not known yet.
  // Once called, the window shows this instead of its own estimate over the whole bar, counting it
  // down between calls.
  void SetRemaining(int64_t ms);
  // Asked before a cancel request goes out (the firmware update asks once the flash is touched);
  // false keeps the work going. Empty: Cancel acts at once.
  void SetCancelQuestion(std::function<bool()> question);
  // The work can no longer be stopped or steered (its last steps): Cancel and the options grey out.
  void DisableControls();
  bool CancelEnabled() const;
  // A check box below the bar for a choice the work reads while it runs (object name kOptionId).
  QCheckBox* AddOption(const QString& text, bool checked);

  bool CancelWasRequested() const { return cancelRequested_; }
  // Ends the modal loop: the work is over.
  void Finish();

  QString PhaseText() const;
  QString DetailText() const;
  int BarPermille() const;
  QString TimeText() const;

  // "m:ss", or "h:mm:ss" from an hour on.
  static QString FormatDuration(int64_t ms);

 signals:
  void CancelRequested();

 public slots:
  // Escape and the window's close button: a cancel request, never a close.
  void reject() override;

 private:
  void RequestCancel();
  // Closes a question the window's owner asks over it (the cancel question), answering no.
  void CloseQuestions();
  void UpdateTime();

  QLabel* phase_;
  QLabel* detail_;
  QProgressBar* bar_;
  QLabel* time_;
  QLabel* note_;
  QPushButton* cancel_ = nullptr;
  int optionRow_ = 0;  // where AddOption puts its check box: above the buttons
  QElapsedTimer started_;
  std::function<int64_t()> clock_;
  QTimer tick_;
  double fraction_ = -1;  // below 0 while nothing is known
  int64_t estimateFromMs_ = -1;
  int64_t clockOriginMs_ = 0;
  bool remainingGiven_ = false;
  bool clockHeld_ = false;
  int64_t remainingAtMs_ = 0;
  std::function<bool()> cancelQuestion_;
  bool asking_ = false;
  int64_t remainingMs_ = -1;
  double estimateFromFraction_ = 0;
  bool cancelRequested_ = false;
  bool finished_ = false;
};

}  // namespace axtune
