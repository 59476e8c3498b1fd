// Long drive work on a worker thread while the GUI thread shows a modal progress window and keeps
// painting. The caller makes sure nothing on the GUI thread uses the drive link meanwhile (the main
// window pauses its status polling and the carrier watcher; see CAxtuneDlg::PauseDriveTraffic).
#pragma once

#include <QObject>
#include <functional>

namespace axtune {

class CProgressDialog;

// Runs `work` on a new thread and shows `dialog` modally until the work has ended; the thread is
// joined before it returns. The work talks to the dialog only through PostToGui / RunOnGui.
void RunWithProgress(CProgressDialog& dialog, const std::function<void()>& work);

// From the worker: runs `fn` on the GUI thread later (progress updates); dropped when `context` is gone.
void PostToGui(QObject* context, std::function<void()> fn);
// From the worker: runs `fn` on the GUI thread and waits for it (questions to the user, handing the
// port over). Called on the GUI thread itself, it runs `fn` at once.
void RunOnGui(QObject* context, const std::function<void()>& fn);

// True while a worker holds the drive link: GUI timers that read the drive skip their tick.
bool DriveLinkLentToWorker();
void SetDriveLinkLentToWorker(bool lent);

}  // namespace axtune
