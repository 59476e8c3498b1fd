// flash FILE.out: the firmware update, then the drive identified again.
#include <atomic>
#include <chrono>
#include <istream>
#include <ostream>
#include <thread>

#include "cli/cli_internal.h"
#include "core/drive_identity.h"
#include "core/firmware_fit.h"
#include "core/firmware_update.h"
#include "core/processor_choice.h"
#include "core/update_estimate.h"
#include "core/update_log.h"
#include "link/drive_link.h"
#include "link/port_handover.h"

namespace axtune::cli {
namespace {

std::string ProgressLabel(const UpdateProgress& p) {
  std::string label = UpdatePhaseName(p.phase);
  if (p.phase == UpdatePhase::Connecting && p.bytesTotal > 0) label += " (loading the flash kernel)";
  if (p.readBack) {
    label += ": word-by-word comparison of the whole image";
  } else if (p.phase == UpdatePhase::Programming || p.phase == UpdatePhase::Verifying) {
    label += " section " + std::to_string(p.section) + "/" + std::to_string(p.sectionCount);
    if (!p.sectionName.empty()) label += " " + p.sectionName;
  }
  return label;
}

// Cancels the update when the stop flag (Ctrl-C) comes up while it runs.
class StopWatcher {
 public:
  StopWatcher(const std::atomic<bool>* stop, UpdateControl& control) {
    if (stop == nullptr) return;
    thread_ = std::thread([this, stop, &control] {
      while (!done_.load()) {
        if (stop->load()) {
          control.requestCancel();
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    });
  }
  ~StopWatcher() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  StopWatcher(const StopWatcher&) = delete;
  StopWatcher& operator=(const StopWatcher&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Where a cancelled update leaves the drive, and what finishes the job.
std::string CancelledState(const UpdateOutcome& outcome, int sectionCount) {
  if (!outcome.driveTouched) return "nothing was sent to the drive; it runs its firmware as before";
  // Before the erase the update reset the drive through DTR itself and knows whether it came back.
  if (outcome.restartTried) {
    const std::string prefix = "cancelled; ";
    return outcome.message.rfind(prefix, 0) == 0 ? outcome.message.substr(prefix.size()) : outcome.message;
  }
  // The programmer's close resets the processor once the kernel was reached; a cancel during the
  // hand-over leaves the boot ROM waiting, which only a power cycle (or the next flash) ends.
  if (!outcome.flashTouched) {
    return "the flash was not touched and the drive keeps its present firmware; if it does not answer, "
           "switch it off and on; run flash again to update it";
  }
  std::string done = "the flash was erased";
  if (outcome.sectionsProgrammed > 0) {
    done += " and " + std::to_string(outcome.sectionsProgrammed) + " of " + std::to_string(sectionCount) +
            " sections programmed";
    if (outcome.sectionsProgrammed == sectionCount) done += " but not verified";
  }
  return done +
         ": the drive waits in its boot loader and runs no firmware until it is updated; run flash "
         "again to finish the update";
}

Json IntList(const std::vector<int>& values) {
  Json list = Json::array();
  for (int v : values) list.push(v);
  return list;
}

}  // namespace

int CmdFlash(Context& context) {
  const std::string& path = context.options.args[0];
  FlashKernelChoice kernel;
  if (const int code = ChooseFlashKernel(context, kernel); code != kExitOk) return code;
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  // A network port's connection stays up from the identification before the update to the one
  // after it (link/port_handover.h).
  const PortHandOver handOver(LinkPort() != nullptr ? LinkPort()->deviceName() : std::string());
  RecordWords before{};
  const bool answered =
      ReadRecord(kIdentificationRecord, before) || ReadRecord(kIdentificationRecord, before);
  // The drive's processor decides which flash the file must fit: named by the user, else the one
  // the last update on this port named, else the F2808 of every QMX10 drive. A drive that does not
  // answer (one whose last update was interrupted waits in its boot loader) is updated the same way,
  // and the warning says which processor it took.
  const ProcessorChoice choice =
      ChooseUpdateProcessor(context.options.processor, answered ? DecodeIdentity(before).typeText : "",
                            session.portLabel(), ReadUpdateLog());
  const ProcessorFlash* processor = choice.processor;
  if (processor == nullptr) {
    return Fail(context, kExitUsage,
                "unknown processor; name one of " + KnownProcessorNames() + "; nothing was sent");
  }
  if (!answered && choice.source == ProcessorChoice::Source::Named) {
    Warn(context, "no drive answered on " + session.portLabel() + "; going on with the " +
                      std::string(processor->name) + ", in case it waits in its boot loader");
  } else if (!choice.note.empty()) {
    Warn(context, choice.note);
  }

  ProgrammerPrompt prompt;
  bool declined = false;
  if (context.env.interactive && !context.options.yes && context.env.input != nullptr) {
    prompt = [&context, &declined](const std::string& title, const std::string& text) {
      context.err << title << ": " << text
                  << " (switch the drive on; if it is on already, just press Enter), then press Enter; "
                     "Ctrl-D cancels: "
                  << std::flush;
      const auto stopped = [&context] { return context.env.stop != nullptr && context.env.stop->load(); };
      if (context.env.inputReady) {
        while (!stopped() && !context.env.inputReady(100)) {
        }
      }
      std::string line;
      declined = stopped() || !std::getline(*context.env.input, line);
      if (declined) context.err << '\n';
      return !declined;
    };
  }
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer(prompt);
  if (!programmer) return Fail(context, kExitDrive, "this build of axtune-cli has no flash programmer");
  programmer->setKernelFile(kernel.file);

  UpdateControl control;
  ProgressPrinter progress(context);
  PhaseEstimate estimate;
  const auto started = std::chrono::steady_clock::now();
  UpdateHooks hooks;
  hooks.control = &control;
  hooks.cancellablePauseSliceMs = 100;  // Ctrl-C ends the hand-over's pauses too
  hooks.processor = processor;
  hooks.bootBaud = context.options.bootBaud;
  hooks.kernelBaud = context.options.flashBaud;
  hooks.log = [&](const std::string& line) {
    progress.finish();
    context.err << kProgram << ": " << line << '\n';
  };
  // --verify (or --verify=readback): the flash is read back and compared word by word after the
  // kernel's sum check; --verify=sum is the default, the sum check alone.
  const bool readBack = context.options.verify && context.options.verifyMode != "sum";
  if (readBack) hooks.readBack = [] { return true; };
  hooks.progress = [&](const UpdateProgress& p) {
    if (p.phase == UpdatePhase::Finished) {
      progress.finish();
      return;
    }
    const auto now = std::chrono::steady_clock::now();
    estimate.add(p, std::chrono::duration_cast<std::chrono::milliseconds>(now - started).count());
    progress.update(ProgressLabel(p), p.bytesDone, p.bytesTotal,
                    UpdateProgressDetail(p, estimate.remainingMs()));
  };
  const Identity drive = DecodeIdentity(before);
  UpdateLogRecorder updateLog(
      kProgram, session.portLabel(), path,
      answered ? DriveIdentificationText(drive.typeText, drive.versionText, drive.recordCount) : "");
  updateLog.SetProcessor(std::string(processor->name));
  UpdateOutcome outcome;
  int sectionCount = 0;
  {
    StopWatcher watcher(context.env.stop, control);
    const UpdateProgressCallback report = hooks.progress;
    hooks.progress = [&](const UpdateProgress& p) {
      if (p.sectionCount > 0) sectionCount = p.sectionCount;
      report(p);
    };
    outcome = RunFirmwareUpdate(path, *programmer, hooks);
  }
  progress.finish();
  // Every update that reached the drive goes into the local update log.
  auto logUpdate = [&](const std::string& driveAfter) {
    if (outcome.result == UpdateResult::FileRejected) return;
    std::string error;
    if (!updateLog.Finish(UpdateResultText(outcome.result), outcome.sectionsProgrammed,
                          outcome.bytesProgrammed, driveAfter, &error))
      Warn(context, "the update was not logged: " + error);
  };
  // Ctrl-C: the programmer stopped at its next packet and reset the drive; say where that leaves it
  // (an identification now would only wait for a drive that is starting or in its boot loader).
  if (context.stopRequested() && outcome.result != UpdateResult::VerifyOk &&
      outcome.result != UpdateResult::FileRejected) {
    logUpdate("");
    return Cancelled(context, CancelledState(outcome, sectionCount));
  }

  if (outcome.result == UpdateResult::FileRejected)
    return Fail(context, kExitFile, outcome.message + "; nothing was sent");
  if (outcome.result == UpdateResult::ComOpenFailed && !outcome.driveTouched) {
    return Fail(context, kExitDrive, outcome.message);
  }

  // The programmer has let the port go; the drive starts its firmware after the reset.
  Identity after;
  bool identified = false;
  // The command's own JSON document follows, so a failed re-open only warns (one document in every
  // outcome).
  if (session.reopen(false) == kExitOk) {
    RecordWords words{};
    identified = ReadRecord(kIdentificationRecord, words) || ReadRecord(kIdentificationRecord, words);
    if (identified) after = DecodeIdentity(words);
  }
  logUpdate(identified ? DriveIdentificationText(after.typeText, after.versionText, after.recordCount) : "");

  const bool ok = outcome.result == UpdateResult::VerifyOk;
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", ok && identified).set("result", UpdateResultText(outcome.result));
    j.set("restarted", identified).set("processor", std::string(processor->name));
    j.set("sectionsProgrammed", outcome.sectionsProgrammed);
    j.set("baud", outcome.kernelBaud).set("bootBaud", outcome.rateFellBack ? kFallbackBaud : hooks.bootBaud);
    j.set("rateFellBack", outcome.rateFellBack);
    j.set("bytesProgrammed", static_cast<unsigned long long>(outcome.bytesProgrammed));
    j.set("failedWrites", IntList(outcome.failedWrites))
        .set("failedVerifies", IntList(outcome.failedVerifies));
    j.set("verify", readBack ? "readback" : "sum");
    if (outcome.readBackMismatch) j.set("firstDifference", static_cast<long long>(outcome.firstDifference));
    Json messages = Json::array();
    for (const std::string& m : outcome.programmerMessages) messages.push(m);
    j.set("programmerMessages", messages);
    j.set("kernel", kernel.file.empty() ? Json() : Json(kernel.file))
        .set("standInKernelWarning", kernel.warned);
    if (identified) {
      Json drive = Json::object();
      drive.set("deviceType", after.deviceType).set("deviceName", after.typeText);
      drive.set("firmware", after.versionText).set("recordCount", after.recordCount);
      j.set("drive", drive);
    } else {
      j.set("drive", Json());
    }
    j.write(context.out);
  } else {
    context.out << UpdateResultText(outcome.result) << '\n';
    if (ok) {
      context.out << "programmed " << outcome.sectionsProgrammed << " sections (" << outcome.bytesProgrammed
                  << " bytes) at " << outcome.kernelBaud << " baud\n";
      if (outcome.readBackCompared)
        context.out << "read back and compared word by word: the flash holds the file\n";
    }
    if (identified) {
      context.out << "drive: " << after.typeText << ", firmware " << after.versionText << '\n';
    }
  }
  if (!ok) {
    std::string message = UpdateResultText(outcome.result);
    if (declined) {
      message = "cancelled at the prompt; nothing was erased";
    } else if (!outcome.message.empty()) {
      message += ": " + outcome.message;
    }
    if (!declined && !outcome.programmerMessages.empty())
      message += " (programmer: " + outcome.programmerMessages.back() + ")";
    if (declined) {
      message += identified ? "" : "; switch the drive off and on to start its firmware again";
    } else if (outcome.result == UpdateResult::ComOpenFailed) {
      // The update's own message already says what to check and whether a power cycle is needed.
      if (outcome.message.empty()) message += "; check the cable and the drive's power, then run flash again";
    } else {
      // Its flash is incomplete: it starts no firmware, not after a power cycle either, and the next
      // flash (no options needed: the processor comes from the update log) finishes the job.
      message +=
          "; the drive waits in its boot loader with its flash incomplete and starts no firmware, not "
          "even when switched off and on: run flash again to finish the update";
    }
    Warn(context, message);
    return kExitDrive;
  }
  if (!identified) {
    Warn(context, "the drive did not answer after the update on " + session.portLabel() +
                      ": switch it off and on, then run identify");
    return kExitDrive;
  }
  return kExitOk;
}

}  // namespace axtune::cli
