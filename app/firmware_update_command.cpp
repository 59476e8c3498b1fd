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
#include "app/unstored_changes.h"
#include "app/worker_job.h"
#include "controls/message_box.h"
#include "core/drive_identity.h"
#include "core/firmware_image_fit.h"
#include "core/firmware_update.h"
#include "core/processor_choice.h"
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
constexpr int kTextNoAnswerCheckCableWaiting = 49315;
constexpr int kTextFlashIncompleteWaiting = 52000;
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
  // Every QMX10 type is an F280x; an F28335 only when the last update on this port named it
  // (core/processor_choice.h). That is also the proposal when the drive does not answer.
  const int type = window.DriveType();
  const ProcessorFlash* rule = ChooseUpdateProcessor("", type != 0 ? DriveTypeText(type) : std::string(),
                                                     PortLabel(window.CheckedPort()), ReadUpdateLog())
                                   .processor;
  const ProcessorFlash* known = type != 0 && ProcessorForDriveType(type) != nullptr ? rule : nullptr;
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
  CProcessorChoiceDialog dialog(reason, *check.file, known != nullptr ? known : rule, &window);
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

namespace {
constexpr int kTextLoadingKernel = 54000;
constexpr int kTextRestarting = 54001;
constexpr int kTextReadingBack = 54002;
constexpr int kTextSectionBytes = 54003;
constexpr int kTextAllSections = 54004;
constexpr int kTextEndBox = 54005;
constexpr int kTextCancelQuestion = 54006;
constexpr int kTextNoDriveAnswered = 54007;
constexpr int kTextDriveOnPort = 54008;

QString Grouped(uint64_t value) {
  QString digits = QString::number(value);
  const QChar separator = CurrentLanguage() == Language::German ? QLatin1Char('.') : QLatin1Char(',');
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, separator);
  return digits;
}

// The phase as it is: the boot loader is waited for, then the kernel loaded through it; the
// programmer's close restarts the drive.
QString PhaseName(const UpdateProgress& p) {
  if (p.phase == UpdatePhase::Connecting && p.bytesTotal > 0) return Tr(kTextLoadingKernel);
  if (p.phase == UpdatePhase::Verifying && p.readBack) return Tr(kTextReadingBack);
  if (p.phase == UpdatePhase::Closing || p.phase == UpdatePhase::Finished) return Tr(kTextRestarting);
  return Tr(kTextPhaseFirst + static_cast<int>(p.phase));
}
}  // namespace

void ShowUpdateProgress(CProgressDialog& dialog, UpdateEstimate& estimate, const UpdateProgress& p) {
  dialog.SetPhase(PhaseName(p));
  const int64_t now = dialog.ElapsedMs();
  estimate.add(p, now);
  const bool pass = p.phase == UpdatePhase::Programming || p.phase == UpdatePhase::Verifying;
  // The line's figures without a time: the time line below the bar has the whole update's.
  const QString figures = QString::fromStdString(UpdateProgressDetail(p, -1));
  if (pass) {
    // The comparison reads the whole image back, not one section.
    const QString where = p.readBack ? Tr(kTextReadBackPass)
                                     : Tr(kTextSectionBytes)
                                           .arg(p.section)
                                           .arg(p.sectionCount)
                                           .arg(QString::fromStdString(p.sectionName))
                                           .arg(Grouped(p.sectionBytesDone), Grouped(p.sectionBytesTotal));
    dialog.SetDetail(where + QLatin1Char('\n') + (p.readBack ? figures : Tr(kTextAllSections).arg(figures)));
    dialog.SetProgress(p.bytesDone, p.bytesTotal);
  } else if (p.phase == UpdatePhase::Connecting && p.bytesTotal > 0) {
    dialog.SetDetail(figures);  // the flash kernel on its way through the boot ROM
    dialog.SetProgress(p.bytesDone, p.bytesTotal);
  } else if (p.phase != UpdatePhase::Closing && p.phase != UpdatePhase::Finished) {
    dialog.SetDetail({});
    dialog.SetBusy();  // waiting for the boot loader, and the erase, report no bytes
  }
  // The last steps cannot be stopped, and the read-back choice is taken.
  if (p.phase == UpdatePhase::Closing || p.phase == UpdatePhase::Finished) dialog.DisableControls();
  if (p.readBack) {
    for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) box->setEnabled(false);
  }
  // The time left is the whole update's, from the first report on; nothing before the user's OK.
  dialog.SetRemaining(p.phase >= UpdatePhase::Connecting ? estimate.remainingMs(now) : -1);
}

namespace {
// What the update will move, for its time left: the file's programmed sections and the rates.
UpdatePlan PlanOf(const std::string& file, const UpdateHooks& hooks, bool readBack) {
  UpdatePlan plan;
  plan.bootBaud = hooks.bootBaud;
  plan.kernelBaud = hooks.kernelBaud;
  plan.readBack = readBack;
  const FirmwareFileCheck check = OpenFirmwareFile(file);
  if (check.problem != FirmwareFileProblem::None) return plan;
  for (const FirmwareSectionInfo& section : ProgrammedSections(*check.file)) {
    plan.imageBytes += section.sizeBytes;
    ++plan.sections;
  }
  return plan;
}

// The drive's identification for the update log, "" when no drive answers.
std::string DriveIdentificationNow() {
  uint16_t words[kRecordWords];
  if (!IsLinkOpen() || !ReadRecord(128, words)) return {};
  std::array<int16_t, 15> record{};
  for (int i = 0; i < kRecordWords; ++i) record[static_cast<size_t>(i)] = static_cast<int16_t>(words[i]);
  const DriveIdentity id = DecodeIdentification(record);
  return DriveIdentificationText(id.typeText, id.versionText, id.recordCount);
}

}  // namespace

void RunFirmwareUpdateCommand(CAxtuneDlg& window) {
  const QString path = ChooseFile(&window, FileChoice::Firmware);
  if (path.isEmpty()) return;
  // The update restarts the drive: what is not stored in it is lost then.
  if (!SettleUnstoredChanges(window, UnstoredReason::FirmwareUpdate)) return;
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
  dialog.HoldClock();  // the time counts from the answer to the switch-on prompt
  UpdateLogRecorder updateLog("axtune", PortLabel(window.CheckedPort()), file, DriveIdentificationNow());
  if (processor != nullptr) updateLog.SetProcessor(std::string(processor->name));

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
      updateLog.Restart();
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
  auto estimate = std::make_shared<UpdateEstimate>(PlanOf(file, hooks, readBack->load()));
  QObject::connect(option, &QCheckBox::toggled, [estimate](bool on) { estimate->setReadBack(on); });
  // Once the flash is touched, a cancel leaves the drive without firmware: asked first.
  auto flashTouched = std::make_shared<bool>(false);
  dialog.SetCancelQuestion([&dialog, flashTouched] {
    if (!*flashTouched) return true;
    return QMessageBox::question(&dialog, QStringLiteral("Axtune"), Tr(kTextCancelQuestion),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  });
  hooks.control = &control;
  hooks.processor = processor;
  hooks.readBack = [readBack] { return readBack->load(); };
  hooks.progress = [&dialog, estimate, flashTouched](const UpdateProgress& p) {
    PostToGui(&dialog, [&dialog, estimate, flashTouched, p] {
      if (p.phase >= UpdatePhase::Erasing && p.phase <= UpdatePhase::Verifying) *flashTouched = true;
      if (p.phase >= UpdatePhase::Closing) *flashTouched = false;  // too late to stop anything
      ShowUpdateProgress(dialog, *estimate, p);
    });
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
  // The update's time ends with the work, not when the window closes (a question may still be open).
  RunWithProgress(dialog, [&] {
    outcome = RunFirmwareUpdate(file, *programmer, hooks);
    updateLog.Stop();
  });
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
  // Whatever the outcome, the drive was restarted: it holds its stored values, nothing unstored.
  window.DriveRestarted();
  // The end box: the outcome with the file, the drive, the update's time and rate.
  const UpdateLogEntry& entry = updateLog.entry();
  const double seconds = updateLog.Seconds();
  // "QMX10-BA 4.1.7 on COM1", as the window's title names it.
  const std::string type = entry.driveBefore.substr(0, entry.driveBefore.find(", "));
  const QString drive =
      type.empty()
          ? Tr(kTextNoDriveAnswered)
          : Tr(kTextDriveOnPort).arg(QString::fromStdString(type), QString::fromStdString(entry.port));
  ShowMessage(&window,
              Tr(kTextEndBox)
                  .arg(OutcomeText(outcome), path, drive,
                       CProgressDialog::FormatDuration(static_cast<int64_t>(seconds * 1000 + 500)))
                  .arg(Grouped(seconds > 0 ? static_cast<uint64_t>(
                                                 static_cast<double>(outcome.bytesProgrammed) / seconds + 0.5)
                                           : 0)));

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
                     : outcome.flashTouched                          ? kTextFlashIncompleteWaiting
                                                                     : kTextNoAnswerCheckCableWaiting;
    // After a cancel before the erase the outcome already said that the drive waits.
    if (outcome.result != UpdateResult::Cancelled || !outcome.restartTried) ShowMessage(&window, Tr(text));
  }
}

}  // namespace axtune
