// The main window's hold on the drive status bar: create it, tell it whether a supported drive is
// identified (it reads the drive only then), stop its polling. A build without the bar gets none.
// The expert status panel follows the same calls.
#pragma once

#include <functional>
#include <optional>

#include "core/homing_state.h"

class QObject;
class QStatusBar;
class QWidget;

namespace axtune {

// The drive status bar for the main window, or null when this build has none.
QStatusBar* CreateDriveStatusBar(QWidget* parent);
void SetDriveStatusIdentified(QStatusBar* bar, bool identified);
void StopDriveStatusPolling(QStatusBar* bar);
// Arms the polling again after StopDriveStatusPolling (it reads only while a drive is identified).
void StartDriveStatusPolling(QStatusBar* bar);
// True while the bar's timer runs.
bool IsDriveStatusPolling(QStatusBar* bar);

// Calls `shown` after every poll of the bar that read the drive, with the homing state (empty outside
// the homing mode), for as long as `context` lives.
void OnHomingStateRead(QStatusBar* bar, QObject* context,
                       std::function<void(std::optional<HomingState>)> shown);

// Calls `answering` when the drive stops answering the bar's polls (false) and when it answers
// again (true), for as long as `context` lives.
void OnDriveAnsweringChanged(QStatusBar* bar, QObject* context, std::function<void(bool)> answering);

// The same for the status panel and the trend window alone (the calls above pass it on as well).
void SetStatusPanelIdentified(bool identified);
void StopStatusPanelPolling();
void StartStatusPanelPolling();

}  // namespace axtune
