#include "app/firmware_update_command.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMessageBox>
#include <atomic>
#include <memory>
#include <utility>

#include "app/axtune_dlg.h"
#include "app/connection_state_text.h"
#include "app/file_choosers.h"
#include "app/flash_kernel_setting.h"
#include "app/port_memory.h"
#include "app/processor_choice_dialog.h"
#include "app/progress_dialog.h"
#include "app/switch_on_prompt.h"
#include "app/worker_job.h"
#include "controls/message_box.h"
#include "core/drive_identity.h"
#include "core/firmware_image_fit.h"
#include "core/firmware_update.h"
#include "core/update_estimate.h"
#include "core/update_log.h"
#include "link/drive_link.h"
#include "link/port_slots.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextTitle = 42102;
constexpr int kTextPhaseFirst = 42110;  // + UpdatePhase, in the enum's order
constexpr int kTextSection = 42120;
constexpr int kTextReadBackPass = 42190;
constexpr int kTextRefused = 42140;
constexpr int kTextCancelledBeforeErase = 42141;
constexpr int kTextCancelledFlashIncomplete = 42142;
constexpr int kTextNoPort = 42143;
constexpr int kTextNoProgrammer = 42146;
constexpr int kTextRestarted = 49310;
constexpr int kTextNotRestarted = 49311;
constexpr int kTextNoAnswerAfterUpdateWaiting = 49313;
constexpr int kTextNoAnswerInBootLoaderWaiting = 49314;
constexpr int kTextNoAnswerCheckCableWaiting = 49315;
constexpr int kTextUnknownType = 49321;
constexpr int kTextDoesNotFitDrive = 49322;
constexpr int kTextNoDriveAnswers = 49326;
constexpr int kTextRateFellBack = 42177;
constexpr int kTextReadBackOption = 42185;
constexpr int kTextReadBackDiffers = 42186;
constexpr int kTextReadBackUnreadable = 42187;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

ProcessorChoiceHook& ChoiceHook() {
  static ProcessorChoiceHook hook;
  return hook;
}

// Which processor's erased flash the file must fit. The drive type's, when the file fits it; else
// the user chooses (a type the table does not know, no drive answering, or a file for another
// processor) or cancels, and nothing reaches the drive. False: cancelled.
bool ChooseProcessor(CAxtuneDlg& window, const std::string& file, const ProcessorFlash*& processor) {
  const ProcessorFlash* known = ProcessorForDriveType(window.DriveType());
  processor = known;
  const FirmwareFileCheck check = OpenFirmwareFile(file);
  if (check.problem != FirmwareFileProblem::None) return true;  // the update refuses it with its reason
  const FitCheck fit = CheckImageFit(*check.file, known);
  // Overlapping sections fit no processor: the update refuses the file, no choice can mend it.
  if (fit.problem == FitProblem::Overlap || (known != nullptr && fit.problem == FitProblem::None))
    return true;
  QString reason;
  if (known != nullptr) {
    reason = Tr(kTextDoesNotFitDrive)
                 .arg(QString::fromUtf8(known->name.data(), static_cast<int>(known->name.size())),
                      QString::fromStdString(DriveTypeText(window.DriveType())),
                      QString::fromStdString(fit.message));
  } else if (window.DriveType() == 0) {
    reason = Tr(kTextNoDriveAnswers);
  } else {
    reason = Tr(kTextUnknownType).arg(window.DriveType());
  }
  CProcessorChoiceDialog dialog(reason, *check.file, known, &window);
  const int result = ChoiceHook() ? ChoiceHook()(dialog) : dialog.exec();
  processor = dialog.Chosen();
  return result == QDialog::Accepted && processor != nullptr;
}

ProgrammerPromptHook& PromptHook() {
  static ProgrammerPromptHook hook;
  return hook;
}

// The programmer's prompt in the window's language, with the rate to choose; `baud` comes in as the
// remembered rate and goes out as the chosen one. Tests answer through the hook (the rate stays).
bool AskToSwitchOn(QWidget* owner, const QString& title, int& baud) {
  if (PromptHook()) return PromptHook()(owner, title, CSwitchOnPrompt::PromptText());
  CSwitchOnPrompt prompt(title, baud, owner);
  if (prompt.exec() != QDialog::Accepted) return false;
  baud = prompt.ChosenBaud();
  return true;
}

// The outcome as the user reads it; the four fixed texts stay English in both languages.
QString OutcomeText(const UpdateOutcome& outcome) {
  switch (outcome.result) {
    case UpdateResult::VerifyFailed:
      if (outcome.readBackMismatch) {
        return Tr(outcome.readBackUnreadable ? kTextReadBackUnreadable : kTextReadBackDiffers)
            .arg(QString::asprintf("0x%08X", outcome.firstDifference));
      }
      [[fallthrough]];
    case UpdateResult::VerifyOk:
    case UpdateResult::ComOpenFailed:
    case UpdateResult::EraseFailed:
      return QString::fromUtf8(UpdateResultText(outcome.result));
    case UpdateResult::FileRejected:
      return Tr(kTextRefused).arg(QString::fromStdString(outcome.message));
    case UpdateResult::Cancelled:
      if (outcome.flashTouched) return Tr(kTextCancelledFlashIncomplete);
      if (!outcome.restartTried) return Tr(kTextCancelledBeforeErase);
      return Tr(outcome.firmwareRestarted ? kTextRestarted : kTextNotRestarted);
  }
  return {};
}

}  // namespace

ProcessorChoiceHook SetProcessorChoiceHook(ProcessorChoiceHook hook) {
  return std::exchange(ChoiceHook(), std::move(hook));
}

ProgrammerPromptHook SetProgrammerPromptHook(ProgrammerPromptHook hook) {
  return std::exchange(PromptHook(), std::move(hook));
}

void ShowUpdateProgress(CProgressDialog& dialog, PhaseEstimate& estimate, const UpdateProgress& p) {
  dialog.SetPhase(Tr(kTextPhaseFirst + static_cast<int>(p.phase)));
  estimate.add(p, dialog.ElapsedMs());
  const bool pass = p.phase == UpdatePhase::Programming || p.phase == UpdatePhase::Verifying;
  const QString figures = QString::fromStdString(UpdateProgressDetail(p, estimate.remainingMs()));
  if (pass) {
    // The comparison reads the whole image back, not one section.
    const QString where =
        p.readBack
            ? Tr(kTextReadBackPass)
            : Tr(kTextSection).arg(p.section).arg(p.sectionCount).arg(QString::fromStdString(p.sectionName));
    dialog.SetDetail(where + QLatin1Char('\n') + figures);
    dialog.SetProgress(p.bytesDone, p.bytesTotal);
  } else if (p.phase == UpdatePhase::Connecting && p.bytesTotal > 0) {
    dialog.SetDetail(figures);  // the flash kernel on its way through the boot ROM
    dialog.SetProgress(p.bytesDone, p.bytesTotal);
  } else if (p.phase != UpdatePhase::Closing && p.phase != UpdatePhase::Finished) {
    dialog.SetDetail({});
    dialog.SetBusy();  // waiting for the boot loader, and the erase, report no bytes
  }
  // The time left is the current phase's, from the rate measured in it.
  dialog.SetRemaining(pass || p.phase == UpdatePhase::Connecting ? estimate.remainingMs() : -1);
}

// The drive's identification for the update log, "" when no drive answers.
static std::string DriveIdentificationNow() {
  uint16_t words[kRecordWords];
  if (!IsLinkOpen() || !ReadRecord(128, words)) return {};
  std::array<int16_t, 15> record{};
  for (int i = 0; i < kRecordWords; ++i) record[static_cast<size_t>(i)] = static_cast<int16_t>(words[i]);
  const DriveIdentity id = DecodeIdentification(record);
  return DriveIdentificationText(id.typeText, id.versionText, id.recordCount);
}

void RunFirmwareUpdateCommand(CAxtuneDlg& window) {
  const QString path = ChooseFile(&window, FileChoice::Firmware);
  if (path.isEmpty()) return;
  const std::string file = QFile::encodeName(path).toStdString();
  const ProcessorFlash* processor = nullptr;
  if (!ChooseProcessor(window, file, processor)) return;
  std::string kernelFile;
  const std::string device =
      window.CheckedPort() > 0 ? ResolvePortDevice(PortSlotName(window.CheckedPort())) : std::string();
  if (!PrepareFlashKernel(&window, device, kernelFile)) return;

  CProgressDialog dialog(Tr(kTextTitle), true, &window);
  dialog.SetPhase(Tr(kTextPhaseFirst + static_cast<int>(UpdatePhase::CheckingFile)));
  dialog.SetBusy();

  UpdateHooks hooks;
  hooks.kernelBaud = ReadUpdateBaudMemory(kDefaultKernelBaud);
  std::unique_ptr<FlashProgrammer> programmer;
  // The programmer asks from the worker; the question is put by the GUI thread. The user's answer
  // starts the clock (the time before it is the user's), and the rate chosen with it is remembered.
  ProgrammerPrompt prompt = [&](const std::string& title, const std::string& /*german*/) {
    bool goOn = true;
    int baud = hooks.kernelBaud;
    RunOnGui(&dialog, [&] {
      goOn = AskToSwitchOn(&dialog, QString::fromStdString(title), baud);
      dialog.RestartClock();
      if (goOn && baud != hooks.kernelBaud) WriteUpdateBaudMemory(baud);
    });
    // The worker waited for the answer: the programmer reads its rates again after the prompt.
    hooks.kernelBaud = baud;
    programmer->setBaudRates(hooks.bootBaud, baud);
    return goOn;
  };
  programmer = CreatePrgFlashProgrammer(prompt);
  if (!programmer) {
    ShowMessage(&window, Tr(kTextNoProgrammer));
    return;
  }
  programmer->setKernelFile(kernelFile);

  UpdateControl control;
  QObject::connect(&dialog, &CProgressDialog::CancelRequested, [&control] { control.requestCancel(); });
  // The choice can still change while the update runs; it is read once the sum check has passed.
  auto readBack = std::make_shared<std::atomic<bool>>(ReadUpdateReadBack());
  QCheckBox* option = dialog.AddOption(Tr(kTextReadBackOption), readBack->load());
  QObject::connect(option, &QCheckBox::toggled, [readBack](bool on) {
    readBack->store(on);
    WriteUpdateReadBack(on);  // remembered in the port memory file for the next update
  });
  auto estimate = std::make_shared<PhaseEstimate>();
  hooks.control = &control;
  hooks.processor = processor;
  hooks.readBack = [readBack] { return readBack->load(); };
  hooks.progress = [&dialog, estimate](const UpdateProgress& p) {
    PostToGui(&dialog, [&dialog, estimate, p] { ShowUpdateProgress(dialog, *estimate, p); });
  };
  hooks.log = [&dialog, &hooks](const std::string&) {
    const int from = hooks.kernelBaud;  // on the worker, after the prompt set it
    PostToGui(&dialog,
              [&dialog, from] { dialog.SetNote(Tr(kTextRateFellBack).arg(from).arg(kFallbackBaud)); });
  };
  bool handedOver = false;
  // The file passed its check: from here the port belongs to the update. The status bar goes and
  // the watcher stops before the drive is told anything.
  hooks.beforeHandOver = [&window, &handedOver] {
    RunOnGui(&window, [&window, &handedOver] {
      window.RemoveDriveStatusBar();
      window.PauseDriveTraffic();
      handedOver = true;
    });
  };

  UpdateOutcome outcome;
  UpdateLogRecorder updateLog("axtune", PortLabel(window.CheckedPort()), file, DriveIdentificationNow());
  RunWithProgress(dialog, [&] { outcome = RunFirmwareUpdate(file, *programmer, hooks); });
  updateLog.Stop();    // the outcome's message below waits for the user
  programmer.reset();  // the prompt hook goes with it
  // Every update that reached the drive goes into the local update log, once the drive is back.
  auto logUpdate = [&](bool back) {
    std::string error;
    if (!updateLog.Finish(UpdateResultText(outcome.result), outcome.sectionsProgrammed,
                          outcome.bytesProgrammed, back ? DriveIdentificationNow() : std::string(), &error))
      ShowMessage(&window, QString::fromStdString(error));
  };

  if (!handedOver) {
    // Nothing reached the drive: a refused file, no open port, or a cancel before the hand-over.
    if (outcome.result == UpdateResult::ComOpenFailed) {
      ShowMessage(&window, Tr(kTextNoPort));
    } else if (outcome.result == UpdateResult::FileRejected) {
      ShowMessage(&window, OutcomeText(outcome));
    }
    return;
  }
  ShowMessage(&window, OutcomeText(outcome));

  // The drive starts its firmware after the programmer's reset; find it again.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool back = window.ReconnectAfterFirmwareUpdate();
  QApplication::restoreOverrideCursor();
  logUpdate(back);
  // An adapter pulled during the update: the outcome above said what became of the flash, and the
  // window waits for the adapter to come back; a "no answer" box would blame the drive.
  if (!back && !window.AdapterUnplugged()) {
    // The window keeps asking the port, so a drive switched off and on is found again without a
    // port selection. The boot loader was never reached when the firmware is untouched: the cable or
    // the power is amiss.
    window.IdentifyWhenDriveAnswers();
    const int text = outcome.result == UpdateResult::VerifyOk        ? kTextNoAnswerAfterUpdateWaiting
                     : outcome.result == UpdateResult::ComOpenFailed ? kTextNoAnswerCheckCableWaiting
                     : outcome.flashTouched                          ? kTextNoAnswerInBootLoaderWaiting
                                                                     : kTextNoAnswerCheckCableWaiting;
    // After a cancel before the erase the outcome already said that the drive waits.
    if (outcome.result != UpdateResult::Cancelled || !outcome.restartTried) ShowMessage(&window, Tr(text));
  }
}

}  // namespace axtune
