// batch: one command on many drives at once, each drive in a child axtune-cli of its own (the drive
// link and the programmer keep process-wide state, so one process serves one drive). The children
// wait on their lines; batch waits on their pipes.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>

#include "cli/batch_child.h"
#include "cli/batch_report.h"
#include "cli/batch_targets.h"
#include "cli/cli_internal.h"
#include "cli/progress_events.h"

namespace axtune::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The commands that work on one drive; the others (ports, coff, doctor, batch) have no drive.
const char* const kDriveCommands[] = {"identify",     "status",      "read",         "write-word",
                                      "write-record", "read-object", "write-object", "store",
                                      "save",         "load",        "flash",        "report"};

class Batch {
 public:
  Batch(Context& context, std::vector<BatchDrive>& drives) : context_(context), drives_(drives) {
    command_ = context.options.args;
    jobs_ = context.options.jobs > 0 ? context.options.jobs : static_cast<int>(drives.size());
    started_ = Clock::now();
    types_.resize(drives.size());
  }

  void run() {
    while (true) {
      if (context_.stopRequested() && !stopping_) stopAll();
      if (!stopping_) startWaiting();
      std::vector<pollfd> fds;
      std::vector<size_t> owners;
      for (size_t i = 0; i < drives_.size(); ++i) {
        BatchChild* child = children_.count(i) ? children_[i].get() : nullptr;
        if (child == nullptr) continue;
        for (int fd : {child->outFd(), child->errFd()}) {
          if (fd < 0) continue;
          fds.push_back({fd, POLLIN, 0});
          owners.push_back(i);
        }
      }
      if (fds.empty() && children_.empty()) break;
      // Wakes for output, or four times a second for the time left and Ctrl-C.
      ::poll(fds.data(), fds.size(), 250);
      for (size_t i = 0; i < drives_.size(); ++i) {
        if (children_.count(i)) collect(i);
      }
      display_.show(drives_, Clock::now(), false);
    }
    display_.show(drives_, Clock::now(), true);
  }

  bool stopped() const { return stopping_; }

 private:
  int running() const { return static_cast<int>(children_.size()); }

  // The command for drive i with {port}, {type} and {n} filled in. A file that only the drive's type
  // made distinct may still be claimed by an earlier drive of the same type: then `clash` says so and
  // the drive is not started.
  std::vector<std::string> commandFor(size_t i, std::string& clash) {
    std::vector<std::string> command = command_;
    for (size_t a = 1; a < command.size(); ++a)
      command[a] = ExpandDrivePlaceholders(command[a], drives_[i].port, types_[i], i + 1);
    const int output = OutputArgument(command);
    if (output < 0) return command;
    const auto [it, added] = outputs_.emplace(FileIdentity(command[static_cast<size_t>(output)]), i);
    if (!added && it->second != i) {
      clash = "not started: the drive on " + drives_[it->second].port + " writes " + it->first +
              " already; put {port} or {n} in the file name";
    }
    return command;
  }

  void startWaiting() {
    for (size_t i = 0; i < drives_.size() && running() < jobs_; ++i) {
      BatchDrive& d = drives_[i];
      if (d.stage != BatchStage::Waiting) continue;
      d.started = Clock::now();
      d.startSeconds = Seconds(started_, d.started);
      // The identification first, for the progress line and the table (a drive left in its boot
      // loader answers none: the command goes on all the same).
      startStep(i, command_[0] == "identify" ? BatchStage::Running : BatchStage::Identifying);
    }
  }

  void startStep(size_t i, BatchStage stage) {
    BatchDrive& d = drives_[i];
    d.stage = stage;
    std::vector<std::string> args = {"--port", d.port, "--json", "--progress-events"};
    if (context_.options.language)
      args.insert(args.end(), {"--lang", *context_.options.language == Language::German ? "de" : "en"});
    if (stage == BatchStage::Identifying) {
      args.push_back("identify");
      d.label = "identifying";
    } else {
      std::string clash;
      const std::vector<std::string> command = commandFor(i, clash);
      if (!clash.empty()) {
        finish(d, kExitUsage, clash);
        return;
      }
      args.insert(args.end(), command.begin(), command.end());
      d.label = "starting " + command_[0];
    }
    d.out.clear();
    d.errLine.clear();
    d.done = d.total = 0;
    auto child = std::make_unique<BatchChild>();
    std::string error;
    if (!child->start(context_.env.programPath, args, error)) {
      finish(d, -1, "cannot start " + context_.env.programPath + ": " + error);
      return;
    }
    children_[i] = std::move(child);
  }

  void collect(size_t i) {
    BatchChild& child = *children_[i];
    BatchDrive& d = drives_[i];
    const bool outOpen = child.drainOut(d.out);
    std::string err;
    const bool errOpen = child.drainErr(err);
    d.errLine += err;
    for (size_t end; (end = d.errLine.find('\n')) != std::string::npos;) {
      takeErrorLine(d, d.errLine.substr(0, end));
      d.errLine.erase(0, end + 1);
    }
    if (outOpen || errOpen) return;
    if (!d.errLine.empty()) takeErrorLine(d, d.errLine);
    const int code = child.reap();
    children_.erase(i);
    if (d.stage == BatchStage::Identifying) {
      std::string name, firmware;
      if (code == kExitOk && JsonStringField(d.out, "deviceName", name)) {
        types_[i] = name;
        d.drive = name + (JsonStringField(d.out, "text", firmware) ? " " + firmware : std::string());
        while (!d.drive.empty() && d.drive.back() == ' ') d.drive.pop_back();
      }
      if (stopping_) {
        finish(d, kExitCancelled, "cancelled before the command started; nothing was sent to the drive");
      } else {
        startStep(i, BatchStage::Running);
      }
      return;
    }
    finish(d, code, {});
  }

  void takeErrorLine(BatchDrive& d, const std::string& line) {
    std::string label;
    uint64_t done = 0, total = 0;
    if (ReadProgressEvent(line, label, done, total)) {
      if (label != d.label || done < d.done) {
        d.phaseStart = Clock::now();
        d.phaseStartDone = done;
      }
      d.label = label;
      d.done = done;
      d.total = total;
      return;
    }
    const std::string prefix = std::string(kProgram) + ": ";
    if (line.rfind(prefix, 0) == 0) d.lastError = line.substr(prefix.size());
  }

  void finish(BatchDrive& d, int code, const std::string& startError) {
    // identify (and flash, afterwards) name the drive in their result.
    std::string name, firmware;
    if (d.drive.empty() && JsonStringField(d.out, "deviceName", name)) {
      d.drive =
          name + (JsonStringField(d.out, "text", firmware) || JsonStringField(d.out, "firmware", firmware)
                      ? " " + firmware
                      : std::string());
      while (!d.drive.empty() && d.drive.back() == ' ') d.drive.pop_back();
    }
    d.stage = BatchStage::Done;
    d.seconds = Seconds(d.started, Clock::now());
    d.exitCode = code;
    d.ok = code == kExitOk;
    std::string result, error;
    JsonStringField(d.out, "result", result);
    JsonStringField(d.out, "error", error);
    if (!startError.empty()) {
      d.outcome = code == kExitCancelled ? "cancelled" : "failed";
      d.reason = startError;
    } else if (d.ok) {
      d.outcome = result.empty() ? "ok" : result;
    } else if (code == kExitCancelled) {
      d.outcome = "cancelled";
      d.reason = !error.empty() ? error : d.lastError;
    } else {
      d.outcome = result.empty() ? "failed" : result;
      // The flash verified but the drive did not come back: counted as failed, and said so.
      if (result == "Verify ok") d.outcome += ", not restarted";
      d.reason = !d.lastError.empty() ? d.lastError : error;
      if (d.reason.empty()) d.reason = "exit code " + std::to_string(code);
    }
    d.label = d.outcome;
  }

  void stopAll() {
    stopping_ = true;
    for (auto& [i, child] : children_) child->interrupt();
    for (BatchDrive& d : drives_) {
      if (d.stage != BatchStage::Waiting) continue;
      d.stage = BatchStage::Done;
      d.exitCode = kExitCancelled;
      d.outcome = "not started";
      d.reason = "cancelled before its turn; nothing was sent to the drive";
    }
  }

  Context& context_;
  std::vector<BatchDrive>& drives_;
  std::vector<std::string> command_;
  int jobs_ = 1;
  Clock::time_point started_;
  std::map<size_t, std::unique_ptr<BatchChild>> children_;
  std::vector<std::string> types_;         // the drive's type from its identification
  std::map<std::string, size_t> outputs_;  // a file the command writes -> the drive that writes it
  bool stopping_ = false;
  BatchDisplay display_{context_};
};

}  // namespace

int CmdBatch(Context& context) {
  const Options& options = context.options;
  if (options.args.empty()) {
    return UsageError(
        context, "batch needs the command to run after --, e.g. batch --ports FILE -- flash fw.out --yes");
  }
  const std::string& command = options.args[0];
  if (std::find(std::begin(kDriveCommands), std::end(kDriveCommands), command) == std::end(kDriveCommands)) {
    return UsageError(context,
                      "batch runs a drive command (identify, status, read, write-word, write-record, "
                      "read-object, write-object, store, save, load, flash, report), not " +
                          command);
  }
  std::vector<std::string> ports = options.ports;
  std::string error;
  if (!options.portsFile.empty() && !ReadPortsFile(options.portsFile, ports, error)) {
    return Fail(context, kExitFile, error);
  }
  if (ports.empty())
    return UsageError(context, "batch needs the drives' ports: --port PORT (repeated) or --ports FILE");
  // Two children on one port would fight over it (also when two names lead to one device); the
  // built-in simulated drive is one per child.
  if (std::string twice = DuplicatePortProblem(ports, kSimPort); !twice.empty())
    return UsageError(context, twice);
  // Two drives writing one file would leave only the last one's.
  if (std::string shared = SharedOutputProblem(options.args, ports); !shared.empty())
    return UsageError(context, shared);
  std::string jobsNote;
  context.options.jobs = BatchJobs(options.jobs, ports.size(), jobsNote);
  if (!jobsNote.empty()) Warn(context, jobsNote);
  if (context.env.programPath.empty())
    return Fail(context, kExitUsage, "batch cannot find its own program to start");

  std::vector<BatchDrive> drives(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) drives[i].port = ports[i];
  Batch batch(context, drives);
  batch.run();

  const bool allOk = std::all_of(drives.begin(), drives.end(), [](const BatchDrive& d) { return d.ok; });
  WriteBatchReport(context, drives);
  if (!options.failedFile.empty() && !WriteFailedPorts(options.failedFile, drives)) {
    Warn(context, "cannot write the failed ports to " + options.failedFile);
    return kExitFile;
  }
  if (batch.stopped()) return kExitCancelled;
  return allOk ? kExitOk : kExitDrive;
}

}  // namespace axtune::cli
