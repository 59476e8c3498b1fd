#include "app/drive_status_hooks.h"

#include <QStatusBar>

#if __has_include("app/drive_status_bar.h")
#include "app/drive_status_bar.h"
#define AXTUNE_HAVE_DRIVE_STATUS_BAR 1
#endif

namespace axtune {

#ifdef AXTUNE_HAVE_DRIVE_STATUS_BAR
QStatusBar* CreateDriveStatusBar(QWidget* parent) {
  return new DriveStatusBar(parent);
}

void SetDriveStatusIdentified(QStatusBar* bar, bool identified) {
  if (auto* drive = qobject_cast<DriveStatusBar*>(bar)) drive->setDriveIdentified(identified);
}

void StopDriveStatusPolling(QStatusBar* bar) {
  if (auto* drive = qobject_cast<DriveStatusBar*>(bar)) drive->stopPolling();
}
#else
QStatusBar* CreateDriveStatusBar(QWidget*) {
  return nullptr;
}
void SetDriveStatusIdentified(QStatusBar*, bool) {}
void StopDriveStatusPolling(QStatusBar*) {}
#endif

}  // namespace axtune
