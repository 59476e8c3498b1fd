// The main window's drive status bar: eight panes along the bottom edge showing the connected
// drive's device state, DC-link voltage, motion profile state, position, stop switch, limit
// switches, reference switch and power-stage temperature, read from the drive every 100 ms (or at
// the faster rate of an open trend) through the shared status poller.
#pragma once

#include <QDateTime>

#include "app/drive_status_poller.h"
#include "core/drive_status.h"
#include "ui/xstatus_bar.h"

namespace axtune {

class DriveStatusBar : public XStatusBar {
  Q_OBJECT

 public:
  static constexpr unsigned kControlId = 0xE801;  // the framework's standard status-bar id
  static constexpr unsigned kIndicatorId = 101;
  static constexpr int kPollIntervalMs = 100;
  static constexpr int kMinimumHeight = 21;

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

  // True from the first tick whose reads fail until a tick reads the drive again: the panes then
  // show the drive's last values greyed out, so a drive that stopped answering does not look alive.
  bool isStale() const { return stale_; }
  // What pane `pane` shows, for its tooltip (and, while stale, since when the drive is silent).
  QString paneToolTip(int pane) const;

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
};

}  // namespace axtune
