#include "app/drive_status_hooks.h"

#include <QStatusBar>

#include "app/status_dialog.h"
#include "app/trend_window.h"

#if __has_include("app/drive_status_bar.h")
#include "app/drive_status_bar.h"
#define AXTUNE_HAVE_DRIVE_STATUS_BAR 1
#endif

namespace axtune {

// The status panel reads the same records as the bar and follows the same rules: only while a
// supported drive is identified and nothing else owns the port.
// The trend window too: all three take their readings from the one status poller.
void SetStatusPanelIdentified(bool identified) {
  if (CStatusDialog* panel = CStatusDialog::Instance()) panel->SetDriveIdentified(identified);
  if (TrendWindow* trend = TrendWindow::Instance()) trend->setDriveIdentified(identified);
}

void StopStatusPanelPolling() {
  if (CStatusDialog* panel = CStatusDialog::Instance()) panel->StopPolling();
  if (TrendWindow* trend = TrendWindow::Instance()) trend->stopPolling();
}

void StartStatusPanelPolling() {
  if (CStatusDialog* panel = CStatusDialog::Instance()) panel->StartPolling();
  if (TrendWindow* trend = TrendWindow::Instance()) trend->startPolling();
}

#ifdef AXTUNE_HAVE_DRIVE_STATUS_BAR
QStatusBar* CreateDriveStatusBar(QWidget* parent) {
  return new DriveStatusBar(parent);
}

void SetDriveStatusIdentified(QStatusBar* bar, bool identified) {
  if (auto* drive = qobject_cast<DriveStatusBar*>(bar)) drive->setDriveIdentified(identified);
  SetStatusPanelIdentified(identified);
}

void StopDriveStatusPolling(QStatusBar* bar) {
  if (auto* drive = qobject_cast<DriveStatusBar*>(bar)) drive->stopPolling();
  StopStatusPanelPolling();
}

void StartDriveStatusPolling(QStatusBar* bar) {
  if (auto* drive = qobject_cast<DriveStatusBar*>(bar)) drive->startPolling();
  StartStatusPanelPolling();
}

void OnHomingStateRead(QStatusBar* bar, QObject* context,
                       std::function<void(std::optional<HomingState>)> shown) {
  if (auto* drive = qobject_cast<DriveStatusBar*>(bar))
    QObject::connect(drive, &DriveStatusBar::homingStateRead, context, std::move(shown));
}

void OnDriveAnsweringChanged(QStatusBar* bar, QObject* context, std::function<void(bool)> answering) {
  if (auto* drive = qobject_cast<DriveStatusBar*>(bar))
    QObject::connect(drive, &DriveStatusBar::answeringChanged, context, std::move(answering));
}

bool IsDriveStatusPolling(QStatusBar* bar) {
  auto* drive = qobject_cast<DriveStatusBar*>(bar);
  return drive != nullptr && drive->isPolling();
}
#else
QStatusBar* CreateDriveStatusBar(QWidget*) {
  return nullptr;
}
void SetDriveStatusIdentified(QStatusBar*, bool identified) {
  SetStatusPanelIdentified(identified);
}
void StopDriveStatusPolling(QStatusBar*) {
  StopStatusPanelPolling();
}
void StartDriveStatusPolling(QStatusBar*) {
  StartStatusPanelPolling();
}
void OnHomingStateRead(QStatusBar*, QObject*, std::function<void(std::optional<HomingState>)>) {}
void OnDriveAnsweringChanged(QStatusBar*, QObject*, std::function<void(bool)>) {}
bool IsDriveStatusPolling(QStatusBar*) {
  return false;
}
#endif

}  // namespace axtune
