// "Firmware Update" (command 32790): a TI COFF file into the drive's flash, on a worker thread with a
// modal progress window and Cancel; afterwards the program finds the drive again by itself.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace axtune {

class CAxtuneDlg;
class CProgressDialog;
class UpdateEstimate;
struct UpdateProgress;

void RunFirmwareUpdateCommand(CAxtuneDlg& window);

// The programmer's request to switch the drive on ("QMX Download", "QMX einschalten!"), shown on the
// GUI thread; true to go on. Tests install a hook that answers at once (empty: the real box again).
using ProgrammerPromptHook = std::function<bool(QWidget* owner, const QString& title, const QString& text)>;
ProgrammerPromptHook SetProgrammerPromptHook(ProgrammerPromptHook hook);

// The question which processor the drive has (CProcessorChoiceDialog), answered by a test instead
// of the user: returns the dialog's result (QDialog::Accepted to start). Empty: the real dialog.
class CProcessorChoiceDialog;
using ProcessorChoiceHook = std::function<int(CProcessorChoiceDialog& dialog)>;
ProcessorChoiceHook SetProcessorChoiceHook(ProcessorChoiceHook hook);

// Puts one progress report of the update into the window: the phase as it is, section k of n with its
// name and bytes, the pass's bytes at the line's rate, the bar over the phase (the kernel load, the
// programming pass, the verify pass, the read-back) and the time left of the whole update.
void ShowUpdateProgress(CProgressDialog& dialog, UpdateEstimate& estimate, const UpdateProgress& progress);

}  // namespace axtune
