// The main window's drive status bar: eight panes along the bottom edge showing the connected
// drive's device state, DC-link voltage, motion profile state, position, stop switch, limit
// switches, reference switch and power-stage temperature, read from the drive every 100 ms (or at
// the faster rate of an open trend) through the shared status poller.
#pragma once

#include <QDateTime>

#include "app/drive_status_poller.h"
#include "core/drive_status.h"
#include "core/homing_state.h"
#include "ui/xstatus_bar.h"

namespace axtune {

class DriveStatusBar : public XStatusBar {
  Q_OBJECT

 public:
  static constexpr unsigned kControlId = 0xE801;  // the framework's standard status-bar id
  static constexpr unsigned kIndicatorId = 101;
  static constexpr int kPollIntervalMs = 100;
  static constexpr int kMinimumHeight = 21;
  // The mode of operation is read again after this many polls even when the statusword stayed.
  static constexpr int kModeRecheckPolls = 10;

  // Creates the panes. Polling is armed at once but reads the drive only while a supported drive
  // is identified (setDriveIdentified).
  explicit DriveStatusBar(QWidget* parent);
  ~DriveStatusBar() override;

  // The bar reads the drive only while a supported drive is identified: a port without a drive
  // would otherwise block the GUI thread for the read timeout on every tick.
  void setDriveIdentified(bool identified);
  bool driveIdentified() const { return identified_; }

  // Stops the polling timer for good (firmware update, shutdown) until startPolling.
  void stopPolling();
  void startPolling();
  // True while the bar takes polls (polling armed and a drive identified).
  bool isPolling() const;

  // One tick: reads records 129 and 131 and the statusword and shows them. False when no drive is
  // identified or a record read failed; the panes then keep their content.
  bool pollOnce();
  // Shows one poll of the shared poller (a failed one greys the panes).
  void takePoll(const DriveStatusPoll& poll);
  // Puts one decoded status into the panes.
  void showStatus(const DriveStatusView& view);
  // The hysteresis memory (the process-wide one unless a test installs its own).
  void setMemory(DriveStatusMemory* memory);
  // The homing state of the last poll; empty while the drive is not in the homing mode.
  std::optional<HomingState> homingState() const { return homing_; }

  // True from the first tick whose reads fail until a tick reads the drive again: the panes then
  // show the drive's last values greyed out, so a drive that stopped answering does not look alive.
  bool isStale() const { return stale_; }
  // What pane `pane` shows, for its tooltip (and, while stale, since when the drive is silent).
  QString paneToolTip(int pane) const;

 signals:
  // After every poll that read the drive: the homing state (empty outside the homing mode).
  void homingStateRead(std::optional<axtune::HomingState> state);
  // The drive stopped answering (false) or answers again (true).
  void answeringChanged(bool answering);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void setUpPanes();
  void updateTimer();
  void setStale(bool stale);

  int client_ = 0;  // the bar's place at the shared poller
  bool identified_ = false;
  bool pollingArmed_ = true;
  bool stale_ = false;
  QDateTime lastAnswer_;
  DriveStatusMemory* memory_;
  // The mode of operation is read again when the statusword changed (a new mode shows there as soon
  // as the drive acts on it) and otherwise once a second, so most polls cost no extra exchange.
  std::optional<int32_t> mode_;
  int pollsSinceModeRead_ = 0;
  std::optional<uint16_t> modeStatusword_;
  std::optional<HomingState> homing_;
};

}  // namespace axtune
