// The main window's side of the long drive work: the three File commands, and lending the drive
// link to the worker thread that does the work and taking it back.
#include <QApplication>
#include <QTimer>

#include "app/axtune_dlg.h"
#include "app/axtune_property_sheet.h"
#include "app/drive_status_hooks.h"
#include "app/firmware_update_command.h"
#include "app/load_parameters_command.h"
#include "app/save_parameters_command.h"
#include "app/worker_job.h"
#include "controls/axtune_property_page.h"
#include "link/drive_link.h"
#include "link/port_slots.h"
#include "ui/benutzer_dialog.h"

namespace axtune {

void CAxtuneDlg::OnSaveParameters() {
  RunSaveParametersCommand(*this);
}

void CAxtuneDlg::OnLoadParameters() {
  RunLoadParametersCommand(*this);
}

void CAxtuneDlg::OnFirmwareUpdate() {
  RunFirmwareUpdateCommand(*this);
}

UserIdentity CAxtuneDlg::CurrentUser() const {
  if (userDialog_ == nullptr) return {};
  // The file may have changed since start-up; a missing file keeps what the dialog holds.
  userDialog_->LoadAndCheck();
  return {userDialog_->Name(), userDialog_->Company()};
}

void CAxtuneDlg::ShowUserDialog() {
  if (userDialogShow_) {
    userDialogShow_();
  } else {
    OnUser();
  }
}

void CAxtuneDlg::PauseDriveTraffic() {
  SetDriveLinkLentToWorker(true);
  StopDriveStatusPolling(driveStatusBar_);
  StopWatcher();
}

void CAxtuneDlg::ResumeDriveTraffic() {
  SetDriveLinkLentToWorker(false);
  if (shutDown_) return;
  StartDriveStatusPolling(driveStatusBar_);
  // A port without a drive has its watcher too: it notices the drive being switched on.
  if (IsLinkOpen()) {
    watcherStopRequest_ = false;
    watcher_.Start(carrierAtIdentification_);
  }
}

void CAxtuneDlg::RemoveDriveStatusBar() {
  QStatusBar* bar = driveStatusBar_;
  if (bar == nullptr) return;
  StopDriveStatusPolling(bar);
  driveStatusBar_ = nullptr;
  setStatusBar(nullptr);  // hides the bar and destroys its window
}

bool CAxtuneDlg::ReconnectAfterFirmwareUpdate() {
  SetDriveLinkLentToWorker(false);
  if (shutDown_) return false;
  StartStatusPanelPolling();
  if (!driveStatusBar_) {
    driveStatusBar_ = CreateDriveStatusBar(this);
    if (driveStatusBar_) {
      setStatusBar(driveStatusBar_);
      driveStatusBar_->hide();  // identification shows it for a supported drive
    }
    FollowHomingState();
  }
  if (checkedPort_ == 0) return false;
  // The slot's adapter was pulled out meanwhile: wait for it as for one pulled while connected.
  if (const PortSlot slot = PortSlotInfo(checkedPort_); slot.device.empty() && !slot.key.empty()) {
    OnAdapterUnplugged();
    return false;
  }
  // The same path as picking the port in the menu: open, identify, pages, status bar, watcher.
  return OpenPort(checkedPort_) && connected_;
}

void CAxtuneDlg::IdentifyWhenDriveAnswers() {
  if (driveProbe_ == nullptr) {
    driveProbe_ = new QTimer(this);
    connect(driveProbe_, &QTimer::timeout, this, &CAxtuneDlg::ProbeForDrive);
  }
  driveProbe_->start(driveProbeIntervalMs_);
}

bool CAxtuneDlg::WaitingForDrive() const {
  return driveProbe_ != nullptr && driveProbe_->isActive();
}

void CAxtuneDlg::ProbeForDrive() {
  // Another port chosen, a drive found by other means, or the window closing: nothing to wait for.
  if (shutDown_ || connected_ || checkedPort_ == 0 || !IsLinkOpen()) {
    driveProbe_->stop();
    return;
  }
  if (DriveLinkLentToWorker()) return;
  // One short question: a silent line holds the window for one slice of the wait, not the full
  // timeout, so the window stays usable while it waits for the drive.
  RecordWords words{};
  SetLinkCancel([] { return true; });
  const bool answered = ReadRecord(kIdentificationRecord, words);
  SetLinkCancel({});
  if (!answered) return;
  driveProbe_->stop();
  IdentifyDrive();
}

void CAxtuneDlg::RefreshActivePage() {
  if (!sheet_->isVisible()) return;
  if (CAxtunePropertyPage* page = sheet_->GetActivePage()) page->OnShowWindow(true);
}

}  // namespace axtune
