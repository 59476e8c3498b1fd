// The commissioning assistant: a window beside the main window that leads through the commissioning
// of one axis in six steps (drive, motor, direction, switches, homing, finish). Each step is a page
// object of its own; this window owns what they share: the drive's live status (one client of the
// status poller), the record of checks, the move in progress and its stop, and whether what was
// written has been stored.
//
// The values go through the bound controls and the parameter dictionary, as on the pages: the
// window is the controls' page host and hands every write on to the main window. It blocks nothing:
// every step works while the main window stays usable. When the drive stops answering (a pulled
// cable) the step says so and waits; the state stays, and the step goes on when the drive is back.
#pragma once

#include <QPointer>
#include <QWizard>
#include <functional>

#include "app/assistant/check_record.h"
#include "app/drive_status_poller.h"
#include "controls/page_host.h"

class QTimer;

namespace axtune {

class CAxtuneDlg;

// Its command in the main window's File menu (the window has no Drive menu), and the caption.
inline constexpr int kCommandCommissioningAssistant = 32960;
inline constexpr int kTextCommissioningAssistantMenu = 56010;
class AssistantStepPage;

class CommissioningAssistant : public QWizard, public PageHost {
  Q_OBJECT

 public:
  explicit CommissioningAssistant(CAxtuneDlg& window);
  ~CommissioningAssistant() override;

  // The main window's assistant, made and placed beside it the first time, shown and raised
  // afterwards: one assistant per drive.
  static CommissioningAssistant* Open(CAxtuneDlg& window);

  CAxtuneDlg& Window() const { return window_; }
  CheckRecord& Checks() { return checks_; }
  // Records a check of `step`, with the time and the user of File -> User.
  void RecordCheck(AssistantStep step, const QString& values, const QString& confirmed, bool passed = true);
  AssistantStepPage* Step(AssistantStep step) const;

  // The drive's status: read now (tests call it after letting simulated time pass); the window
  // reads every kPollMs by itself. False when the drive did not answer.
  bool PollNow();
  bool DriveAnswering() const { return answering_; }
  const DriveStatusPoll& LastPoll() const { return lastPoll_; }
  static constexpr int kPollMs = 200;

  // A move of the direction or homing step runs: Esc and the step's Stop halt it.
  void SetMotionRunning(bool running) { motionRunning_ = running; }
  bool MotionRunning() const { return motionRunning_; }
  void StopMotion();

  // Whether the drive holds written values that were not stored since; what was saved and written.
  bool UnstoredWrites() const { return unstored_; }
  void NoteStored() { unstored_ = false; }
  void NoteWritten() { unstored_ = true; }
  QString SavedFile() const { return savedFile_; }
  void NoteSavedFile(const QString& path) { savedFile_ = path; }
  QString ReportFile() const { return reportFile_; }
  void NoteReportFile(const QString& path) { reportFile_ = path; }
  // What leaving now would leave undone, one sentence a line; empty when nothing is.
  QString LeavingNote() const;

  // PageHost: the bound controls of the steps report here; the main window hears of every write.
  bool IsConnected() const override;
  void NotifyParameterChanged(int record) override { NotifyParameterWritten(record, nullptr); }
  void NotifyParameterWritten(int record, const QWidget* control) override;
  void ShowStatusNote(const QString& text) override;

 signals:
  void Polled(const DriveStatusPoll& poll);
  void AnsweringChanged(bool answering);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void done(int result) override;

 private:
  void OnPoll(const DriveStatusPoll& poll);
  // Stops a move and says once what leaving leaves undone.
  void Leave();

  CAxtuneDlg& window_;
  CheckRecord checks_;
  QTimer* pollTimer_ = nullptr;
  int pollClient_ = 0;
  bool answering_ = true;
  DriveStatusPoll lastPoll_;
  bool motionRunning_ = false;
  bool unstored_ = false;
  bool leaving_ = false;
  QString savedFile_;
  QString reportFile_;
};

}  // namespace axtune
