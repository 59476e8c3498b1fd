// The status panel: the drive's live state in more detail than the status bar (positions, voltage,
// temperature, current, step resolution, idle-current reduction, switch lamps, profile and device
// state) and four buttons that drive the device state machine through the controlword. An expert
// tool: one process-wide modeless window, hidden at start, shown beside the main window and on top when a
// drive is identified in expert mode. While shown it takes a reading every 200 ms from the shared
// status poller, but only while a supported drive is identified and nothing else owns the port.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include "app/drive_status_poller.h"
#include "core/drive_status.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace axtune {

class CStatusDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 163;
  static constexpr int kPollIntervalMs = 200;
  // How long after ShowBeside a panel that grows is placed beside the main window again.
  static constexpr int kPlaceAgainMs = 3000;

  explicit CStatusDialog(QWidget* parent = nullptr);
  ~CStatusDialog() override;

  // The process's panel (null before the main window made it or after it is gone).
  static CStatusDialog* Instance();

  // Moves the window to the screen's top left, keeps its size, shows it on top of the others.
  void ShowOnTop();
  // Shows it on top beside `mainWindow`, on that window's screen and never over its menu bar.
  void ShowBeside(const QWidget* mainWindow);

  // Whether a supported drive is identified; without one the panel does not read the drive. An
  // identification also ends a StopPolling (the link owns the port again).
  void SetDriveIdentified(bool identified);
  bool DriveIdentified() const { return identified_; }
  // While another part owns the port (firmware update, shutdown) the panel does not poll, until the
  // next identification.
  void StopPolling();
  void StartPolling();
  bool IsPolling() const;

  // One tick: reads records 129 and 131, the statusword and the mode of operation and shows them.
  // False when no drive is identified or a record read failed (every display then stays as it was).
  bool Tick();
  // Shows one poll of the shared poller (a failed one leaves every display as it was).
  bool TakePoll(const DriveStatusPoll& poll);
  // Puts one decoded tick into the controls.
  void ShowStatus(const StatusPanelView& view);
  // The drive did not answer: every value "—", the lamps grey, the buttons disabled.
  void ShowDriveGone();
  bool DriveGone() const { return driveGone_; }

  // The lamp icon id a lamp control shows (152 to 155), for tests and the What's This texts.
  static int LampOf(const QLabel* lamp);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildControls();
  void PlaceBeside(const QWidget* mainWindow, const QSize& panel);
  void UpdateTimer();
  void SetLamp(int id, int icon);
  static void SetLampOn(QLabel* lamp, int icon);
  void SetText(int id, const std::string& text);
  void OnButton(PanelCommand command, bool pressed);
  QLabel* Label(int id) const;
  QPushButton* Button(int id) const;

  int client_ = 0;  // the panel's place at the shared poller
  StatusPanelMemory memory_;
  bool identified_ = false;
  bool pollingArmed_ = true;
  bool driveGone_ = false;
  QPointer<const QWidget> besideOf_;  // the window ShowBeside placed the panel beside
  QElapsedTimer placedAt_;
};

}  // namespace axtune
