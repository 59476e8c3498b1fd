#include "core/firmware_update.h"

#include "core/flash_readback.h"

#include <algorithm>
#include <functional>

#include "core/firmware_fit.h"
#include "core/firmware_image_fit.h"
#include "core/update_restart.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/port_handover.h"
#include "link/sleeper.h"

namespace axtune {
namespace {

constexpr int kHandOverPauseMs = 1000;

void Report(const UpdateHooks& hooks, const UpdateProgress& progress) {
  if (hooks.progress) hooks.progress(progress);
}

void Report(const UpdateHooks& hooks, UpdatePhase phase) {
  UpdateProgress progress;
  progress.phase = phase;
  Report(hooks, progress);
}

bool CancelRequested(const UpdateHooks& hooks) {
  return hooks.control != nullptr && hooks.control->cancelRequested();
}

// A pause of the hand-over; in slices that a cancel request cuts short when the caller asked for it.
void HandOverPause(const UpdateHooks& hooks, int milliseconds = kHandOverPauseMs) {
  const int slice = hooks.cancellablePauseSliceMs;
  if (hooks.control == nullptr || slice <= 0) {
    SleepMs(milliseconds);
    return;
  }
  for (int paused = 0; paused < milliseconds && !CancelRequested(hooks); paused += slice)
    SleepMs(std::min(slice, milliseconds - paused));
}

// Tells the running firmware to hand over to its boot loader, on the open drive link, and closes the
// link. False when a cancel came first: nothing was sent then, and the link stays open.
bool EnterBootLoader(const UpdateHooks& hooks, bool& processorReset) {
  Report(hooks, UpdatePhase::EnteringBootLoader);
  SetDtr(true);
  HandOverPause(hooks);
  if (CancelRequested(hooks)) {
    SetDtr(false);
    return false;
  }
  RecordWords enterBootLoader = CommandRequest(kCmdEnterBootLoader);
  // The reply decides nothing, except that no reply at all means that no firmware runs: an earlier
  // update left the processor in its boot ROM or its flash kernel, and either has taken this request,
  // sent at the link's rate, as garbage (a kernel's receiver stops on it, a ROM takes it as boot
  // table). So the processor is reset through DTR: it starts its firmware when the flash holds a valid
  // one, which then takes the request, or else its boot ROM, which waits for the programmer. (Firmware
  // that jumps to its boot loader without answering costs only the reset's time.)
  if (!ExchangeRecord(kObjectRecord, enterBootLoader)) {
    SetDtr(false);  // the falling edge resets the processor
    HandOverPause(hooks, kFirmwareStartMs);
    SetDtr(true);
    enterBootLoader = CommandRequest(kCmdEnterBootLoader);
    ExchangeRecord(kObjectRecord, enterBootLoader);  // this reply is not examined
    processorReset = true;
  }
  HandOverPause(hooks);
  CloseLink();
  return true;
}

}  // namespace

bool IsProgrammerBaudRate(int rate) {
  for (int known : {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200}) {
    if (rate == known) return true;
  }
  return false;
}

const char* ProgrammerBaudRateList() {
  return "115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200";
}

const char* UpdatePhaseName(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::CheckingFile:
      return "checking file";
    case UpdatePhase::EnteringBootLoader:
      return "entering boot loader";
    case UpdatePhase::Connecting:
      return "connecting";
    case UpdatePhase::Erasing:
      return "erasing";
    case UpdatePhase::Programming:
      return "programming";
    case UpdatePhase::Verifying:
      return "verifying";
    case UpdatePhase::Closing:
      return "closing";
    case UpdatePhase::Finished:
      return "finished";
  }
  return "";
}

const char* UpdateResultText(UpdateResult result) {
  switch (result) {
    case UpdateResult::VerifyOk:
      return kTextVerifyOk;
    case UpdateResult::VerifyFailed:
      return kTextVerifyFailed;
    case UpdateResult::ComOpenFailed:
      return kTextComOpenFailed;
    case UpdateResult::EraseFailed:
      return kTextEraseFailed;
    case UpdateResult::FileRejected:
      return "Firmware file refused";
    case UpdateResult::Cancelled:
      return "Update cancelled";
  }
  return "";
}

void UpdateControl::requestCancel() {
  cancel_ = true;
  if (FlashProgrammer* programmer = programmer_.load()) programmer->abort();
}

void UpdateControl::attach(FlashProgrammer* programmer) {
  programmer_ = programmer;
}

namespace {

// The steps after the hand-over. `enterBootLoaderAgain` hands the processor over once more after the
// programmer's close has reset it for a fall back to the safe rate (empty: nothing to hand over).
UpdateOutcome ProgramFirmwareAt(FirmwareFile& file, FlashProgrammer& programmer, const UpdateHooks& hooks,
                                const std::function<void()>& enterBootLoaderAgain) {
  UpdateOutcome outcome;
  if (hooks.control != nullptr) hooks.control->attach(&programmer);
  auto finish = [&](UpdateResult result) {
    Report(hooks, UpdatePhase::Closing);
    // Also after a failed open: the programmer may still hold the port, which the link needs again.
    programmer.close();
    if (hooks.control != nullptr) hooks.control->attach(nullptr);
    outcome.result = result;
    outcome.programmerMessages = programmer.messages();
    Report(hooks, UpdatePhase::Finished);
    return outcome;
  };

  // The programmer's own progress moves the current phase: the boot table while connecting, the
  // chunks of a section while programming and verifying (on top of the sections before it).
  UpdateProgress progress;
  uint64_t passBase = 0;
  programmer.setProgress([&](uint32_t done, uint32_t total) {
    if (progress.phase == UpdatePhase::Connecting) {
      progress.bytesDone = done;
      progress.bytesTotal = total;
    } else if (progress.phase == UpdatePhase::Programming || progress.phase == UpdatePhase::Verifying) {
      progress.bytesDone = passBase + done;
      progress.sectionBytesDone = done;
    } else {
      return;
    }
    Report(hooks, progress);
  });
  struct Detach {
    FlashProgrammer& programmer;
    ~Detach() { programmer.setProgress({}); }
  } detach{programmer};

  progress.phase = UpdatePhase::Connecting;
  progress.baud = hooks.bootBaud;
  Report(hooks, progress);
  if (CancelRequested(hooks)) {
    outcome.message = "cancelled before the programmer connected";
    return finish(UpdateResult::Cancelled);
  }
  programmer.setBaudRates(hooks.bootBaud, hooks.kernelBaud);
  bool opened = programmer.open();
  outcome.kernelBaud = hooks.kernelBaud;  // read after the prompt, which may offer the choice
  // The kernel did not take the high rate (a long cable, a slow transceiver): nothing is erased yet,
  // so the processor is reset (the programmer's close pulses DTR) and the whole connection runs again
  // at the safe rate, boot ROM and kernel alike.
  if (!opened && programmer.kernelRateFailed() && hooks.kernelBaud != kFallbackBaud &&
      !CancelRequested(hooks)) {
    if (hooks.log) {
      hooks.log("the drive did not answer at " + std::to_string(hooks.kernelBaud) + " baud; continuing at " +
                std::to_string(kFallbackBaud));
    }
    programmer.close();
    // Reset: the old firmware runs again and is asked to hand over once more. Not reset (no DTR):
    // the kernel still waits for its autobaud, and the drive link's bytes would only disturb it.
    if (programmer.closeReset() && enterBootLoaderAgain) enterBootLoaderAgain();
    outcome.rateFellBack = true;
    outcome.kernelBaud = kFallbackBaud;
    progress = UpdateProgress{};
    progress.phase = UpdatePhase::Connecting;
    progress.baud = kFallbackBaud;
    Report(hooks, progress);
    programmer.setBaudRates(kFallbackBaud, kFallbackBaud);
    opened = !CancelRequested(hooks) && programmer.open();
  }
  if (!opened) {
    outcome.kernelBaud = 0;
    if (programmer.promptCancelled()) {
      outcome.message = "cancelled at the switch-on prompt; nothing was erased";
      return finish(UpdateResult::Cancelled);
    }
    uint32_t address = 0;
    if (programmer.noAnswer(address)) {
      outcome.driveStoppedAnswering = true;
      outcome.message =
          progress.bytesDone > 0
              ? "the drive stopped answering while its flash kernel was loaded (after " +
                    std::to_string(progress.bytesDone) + " of " + std::to_string(progress.bytesTotal) +
                    " bytes); this run erased nothing: check the cable and the drive's power, then run the "
                    "update again"
              : "the drive's boot loader did not answer, not even after a reset through DTR (this run erased "
                "nothing): check the cable, switch the drive off and on, then run the update again";
    }
    if (outcome.rateFellBack) {
      // Without DTR (or with the reset lost) a kernel locked at the high rate ignores the safe one.
      outcome.message = "the drive did not answer at " + std::to_string(hooks.kernelBaud) + " baud, nor at " +
                        std::to_string(kFallbackBaud) +
                        " after a reset (this run erased nothing): switch the drive off and on (a line "
                        "without DTR cannot reset it), then run the update again";
    }
    return finish(CancelRequested(hooks) ? UpdateResult::Cancelled : UpdateResult::ComOpenFailed);
  }

  progress = UpdateProgress{};
  progress.phase = UpdatePhase::Erasing;
  progress.baud = outcome.kernelBaud;
  Report(hooks, progress);
  if (CancelRequested(hooks)) {
    outcome.message = "cancelled before the flash was erased";
    return finish(UpdateResult::Cancelled);
  }
  outcome.flashTouched = true;
  if (!programmer.erase()) {
    uint32_t address = 0;
    if (programmer.noAnswer(address)) {
      outcome.driveStoppedAnswering = true;
      outcome.message =
          "the drive stopped answering while erasing: check the cable and the drive's power, then run "
          "the update again";
    }
    return finish(CancelRequested(hooks) ? UpdateResult::Cancelled : UpdateResult::EraseFailed);
  }

  const std::vector<FirmwareSectionInfo> sections = ProgrammedSections(file);
  progress = UpdateProgress{};
  progress.baud = outcome.kernelBaud;
  progress.sectionCount = static_cast<int>(sections.size());
  for (const FirmwareSectionInfo& section : sections) progress.bytesTotal += section.sizeBytes;

  bool ok = true;
  bool cancelled = false;
  bool stopped = false;
  std::vector<uint16_t> words;
  // Two passes over the same sections: program all of them, then verify all of them. A failing
  // section does not stop either pass.
  for (UpdatePhase phase : {UpdatePhase::Programming, UpdatePhase::Verifying}) {
    progress.phase = phase;
    progress.section = 0;
    progress.bytesDone = 0;
    for (const FirmwareSectionInfo& section : sections) {
      if (CancelRequested(hooks)) {
        cancelled = true;
        break;
      }
      ++progress.section;
      progress.sectionName = section.name;
      progress.address = section.loadAddress;
      progress.sectionBytesDone = 0;
      progress.sectionBytesTotal = section.sizeBytes;
      passBase = progress.bytesDone;
      Report(hooks, progress);
      const uint32_t bytesRead = ReadSectionWords(file, section, words);
      bool done = false;
      if (phase == UpdatePhase::Programming) {
        done = programmer.write(section.loadAddress, 0, bytesRead, words.data());
        if (!done) {
          outcome.failedWrites.push_back(section.number);
        } else {
          ++outcome.sectionsProgrammed;
          outcome.bytesProgrammed += bytesRead;
        }
      } else {
        done = programmer.verify(section.loadAddress, 0, bytesRead, words.data());
        if (!done) outcome.failedVerifies.push_back(section.number);
      }
      ok = ok && done;
      // A drive that stopped answering will not answer the next section either: stop here and say
      // where, instead of waiting out every remaining packet.
      uint32_t address = 0;
      if (!done && programmer.noAnswer(address)) {
        outcome.driveStoppedAnswering = true;
        outcome.noAnswerAddress = address;
        outcome.message = "the drive stopped answering at " + HexText(address, 8) + " (section " +
                          (section.name.empty() ? std::to_string(section.number) : section.name) +
                          ", while " + UpdatePhaseName(phase) +
                          "): check the cable and the drive's power, then run the update again";
        stopped = true;
        break;
      }
      progress.bytesDone = passBase + section.sizeBytes;
      progress.sectionBytesDone = section.sizeBytes;
      Report(hooks, progress);
    }
    if (cancelled || stopped) break;
  }
  // The sum check cannot see two errors that cancel; on request the flash is read back as well.
  if (ok && !cancelled && !stopped && hooks.readBack && hooks.readBack()) {
    progress.sectionName = "word-by-word comparison";
    progress.readBack = true;
    progress.bytesDone = 0;  // a pass of its own over the whole image
    Report(hooks, progress);
    const ReadBackResult compared = CompareFlashWithFile(
        file, sections, programmer,
        [&](uint64_t done, uint64_t total) {
          progress.bytesDone = total == 0 ? progress.bytesTotal : progress.bytesTotal * done / total;
          Report(hooks, progress);
        },
        [&hooks] { return CancelRequested(hooks); });
    cancelled = compared.cancelled;
    if (!compared.matches && !compared.cancelled) {
      ok = false;
      outcome.readBackMismatch = true;
      outcome.readBackUnreadable = compared.readFailed;
      outcome.firstDifference = compared.firstDifference;
      outcome.failedVerifies.push_back(compared.sectionNumber);
      outcome.message = ReadBackMessage(compared) + "; run the update again";
    }
    outcome.readBackCompared = compared.matches;
  }
  // DTR low on the drive link's port when one is open; the programmer's own port gets its DTR pulse
  // (the processor's reset) from close().
  SetDtr(false);
  // A packet that failed because the cancel closed the programmer's port is the cancel, not a dead line.
  if (!ok && CancelRequested(hooks)) cancelled = true;
  if (cancelled) {
    outcome.driveStoppedAnswering = false;
    outcome.message = "cancelled while " + std::string(UpdatePhaseName(progress.phase)) +
                      ": the flash is incomplete and the drive stays in its boot loader until it is updated";
    return finish(UpdateResult::Cancelled);
  }
  return finish(ok ? UpdateResult::VerifyOk : UpdateResult::VerifyFailed);
}

}  // namespace

UpdateOutcome ProgramFirmware(FirmwareFile& file, FlashProgrammer& programmer, const UpdateHooks& hooks) {
  return ProgramFirmwareAt(file, programmer, hooks, {});
}

UpdateOutcome RunFirmwareUpdate(const std::string& path, FlashProgrammer& programmer,
                                const UpdateHooks& hooks, const std::string& portName) {
  UpdateOutcome outcome;
  Report(hooks, UpdatePhase::CheckingFile);
  FirmwareFileCheck check = OpenFirmwareFile(path);
  if (check.problem != FirmwareFileProblem::None) {
    outcome.result = UpdateResult::FileRejected;
    outcome.message = check.message;
    return outcome;
  }
  // Before the drive hears anything: a file that the erase would not make room for fails its
  // verification only after the flash is gone.
  if (const FitCheck fit = CheckImageFit(*check.file, hooks.processor); fit.problem != FitProblem::None) {
    outcome.result = UpdateResult::FileRejected;
    outcome.message = path + ": " + fit.message;
    return outcome;
  }
  std::string device = portName;
  if (device.empty() && LinkPort() != nullptr) device = LinkPort()->deviceName();
  if (device.empty()) {
    outcome.result = UpdateResult::ComOpenFailed;
    outcome.message = "no port: open the drive's port before updating its firmware";
    return outcome;
  }
  // On a network port the link lends its connection to the programmer and takes it back: a device
  // server that lowers DTR when its client goes would reset the processor mid-hand-over.
  const PortHandOver handOver(device);
  const uint32_t eraseMask =
      hooks.processor != nullptr ? UpdateEraseMask(FitSectionsOf(*check.file), *hooks.processor) : 0;
  programmer.setEraseMask(eraseMask);
  if (CancelRequested(hooks)) {
    outcome.result = UpdateResult::Cancelled;
    outcome.message = "cancelled before the drive was told anything";
    return outcome;
  }
  if (hooks.beforeHandOver) hooks.beforeHandOver();

  bool processorReset = false;
  if (!EnterBootLoader(hooks, processorReset)) {
    outcome.result = UpdateResult::Cancelled;
    outcome.message = "cancelled before the drive was told anything";
    return outcome;
  }

  // A fall back to the safe rate finds the processor reset by the programmer's close: its firmware
  // runs again (nothing was erased) and is asked once more, on the drive link's port.
  const auto enterBootLoaderAgain = [&hooks, device] {
    if (!OpenLink(device)) return;
    bool reset = false;
    EnterBootLoader(hooks, reset);
    CloseLink();
  };
  programmer.setPortName(device);
  outcome = ProgramFirmwareAt(*check.file, programmer, hooks, enterBootLoaderAgain);
  outcome.driveTouched = true;
  outcome.processorReset = processorReset;
  outcome.eraseMask = eraseMask != 0 ? eraseMask : kUpdateEraseMask;
  check.file.reset();  // closes the COFF file
  // Stopped before the erase: the firmware is still in the flash, but the processor may wait in its
  // boot loader (the programmer resets it only when it reached its port). Reset it, and say whether
  // it runs its firmware again.
  if (!outcome.flashTouched &&
      (outcome.result == UpdateResult::Cancelled || outcome.result == UpdateResult::ComOpenFailed)) {
    const FirmwareRestart restart = RestartDriveFirmware(device);
    outcome.restartTried = true;
    outcome.firmwareRestarted = restart.identified;
    if (outcome.result == UpdateResult::Cancelled) {
      outcome.message = "cancelled; " + RestartText(restart);
    } else {
      outcome.message += (outcome.message.empty() ? "" : "; ") + RestartText(restart);
    }
    return outcome;
  }
  // The pause lets the drive start before the caller re-opens the link; a cancelled update is not
  // followed by one.
  if (outcome.result != UpdateResult::Cancelled && !CancelRequested(hooks)) SleepMs(kHandOverPauseMs);
  SetDtr(false);
  return outcome;
}

}  // namespace axtune
