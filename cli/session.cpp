#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <thread>

#include "cli/cli_internal.h"
#include "core/drive_identity.h"
#include "core/parameter_file.h"
#include "core/port_open_reason.h"
#include "link/port_slots.h"
#include "sim/simulated_drive.h"

namespace axtune::cli {
namespace {

constexpr int kTextCheckCable = 32782;  // "Bitte überprüfen Sie das Verbindungskabel!"
constexpr int kTextCannotReadData = 104;

// The reason is the window's own sentence (the same code), so both name the same remedy.
std::string OpenFailureText(const std::string& label, const std::string& device) {
  const std::string named = label == device || device.empty() ? label : label + " (" + device + ")";
  const PortOpenError error = LastOpenError();
  std::string text = "cannot open " + named;
  const std::string reason = PortOpenReason(error, device);
  if (!reason.empty()) text += ": " + reason;
  if (error == PortOpenError::NotFound && !reason.empty()) {
    text += " ('" + std::string(kProgram) + " ports' lists the ports)";
  }
  if (const std::string osText = LastOpenErrorText(); !osText.empty()) {
    text += (reason.empty() ? ": " : " ") + std::string("(") + osText + ")";
  }
  return text;
}

}  // namespace

Identity DecodeIdentity(const RecordWords& words) {
  // The texts and numbers are the General page's; the command line adds the raw fields.
  std::array<int16_t, kRecordWords> signedWords{};
  std::copy(words.begin(), words.end(), signedWords.begin());
  const DriveIdentity shared = DecodeIdentification(signedWords);
  Identity id;
  id.words = words;
  id.deviceType = words[0];
  id.supported = IsSupportedDriveType(id.deviceType);
  id.typeText = shared.typeText;
  id.major = static_cast<int16_t>(words[1]) >> 8;
  id.minor = words[1] & 0xFF;
  id.build = words[2];
  id.testFirmware = words[3] == 1;
  id.versionText = shared.versionText;
  id.versionNumber = shared.versionNumber;
  id.recordCount = shared.recordCount;
  return id;
}

std::string LinkErrorText(int linkError) {
  switch (linkError) {
    case kLinkBadChecksum:
      return "wrong checksum";
    case kLinkNoReply:
      return Text(kTextCannotReadData);
    case kLinkShortReply:
      // The header came, the rest did not: the line went dead in the middle of the reply.
      return "the drive stopped answering in the middle of its reply: check the cable";
    default:
      break;
  }
  if (linkError >= kLinkDriveErrorBase && linkError <= kLinkDriveErrorBase + 6) {
    return "unkown error (the drive answered with error code " +
           std::to_string(linkError - kLinkDriveErrorBase) +
           (linkError == kLinkDriveErrorBase + 6 ? " or 7" : "") + ")";
  }
  return "unkown error";
}

std::string AbortText(uint32_t abortCode) {
  static const struct {
    uint32_t code;
    const char* meaning;
  } kKnown[] = {
      {0x05040001, "command not understood"},
      {0x06010000, "access not supported"},
      {0x06010001, "the object cannot be read"},
      {0x06010002, "the object is read-only"},
      {0x06020000, "no such object"},
      {0x06070010, "wrong size for the object"},
      {0x06090011, "no such subindex"},
      {0x06090030, "not one of the allowed values"},
      {0x06090031, "value above the object's range"},
      {0x06090032, "value below the object's range"},
      {0x08000000, "general error"},
      {0x08000022, "not allowed in the drive's present state"},
  };
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(abortCode));
  std::string text = std::string("abort ") + hex;
  for (const auto& known : kKnown)
    if (known.code == abortCode) return text + ": " + known.meaning;
  return text;
}

int FailRecordRead(Context& context, const DriveSession& session, int record) {
  // A read cut short by Ctrl-C says nothing about the drive.
  if (context.stopRequested())
    return Cancelled(context, "record " + std::to_string(record) + " was not read");
  const int linkError = LinkError.load();
  // The drive refuses a record it does not have with its error code 1.
  const std::string reason = linkError == kLinkDriveErrorBase + kDriveErrorUnknownRecord
                                 ? "the drive has no record " + std::to_string(record)
                                 : LinkErrorText(linkError);
  std::string message = "record " + std::to_string(record) + " could not be read: " + reason +
                        " (LinkError " + std::to_string(linkError) + ")";
  if (linkError == kLinkNoReply || linkError == kLinkShortReply) {
    message += "; no drive answering on " + session.portLabel() +
               ": check that the drive is switched on and the cable is plugged in";
  }
  return Fail(context, kExitDrive, message);
}

int FailUnconfirmedWrite(Context& context, const DriveSession& session, const std::string& what,
                         TransferFate fate, int linkError) {
  if (context.stopRequested()) return Cancelled(context, what + ": the write was cut short");
  if (fate == TransferFate::NotSent) {
    return Fail(context, kExitDrive,
                what + " was not written: nothing was sent, the drive on " + session.portLabel() +
                    " does not answer (check that the drive is switched on and the cable is plugged in)");
  }
  if (fate == TransferFate::Answered) {
    return Fail(context, kExitDrive,
                what + " was not written: " +
                    (linkError >= kLinkDriveErrorBase
                         ? "the drive on " + session.portLabel() + " refused it: " +
                               LinkErrorText(linkError) + " (LinkError " + std::to_string(linkError) + ")"
                         : std::string("the drive's answer does not confirm it")));
  }
  // The request went out and no whole answer came back: the drive may have taken it and its answer
  // got lost, or it never saw the request. Saying "not written" would be a guess.
  return Fail(context, kExitDrive,
              what + ": not confirmed: the drive may or may not have taken it; read it back (" +
                  LinkErrorText(linkError) + " on " + session.portLabel() + ")");
}

struct DriveSession::Unplugger {
  std::mutex mutex;
  std::condition_variable wake;
  bool ending = false;
  std::thread thread;

  Unplugger(std::shared_ptr<sim::SimulatedDrive> drive, int afterMs) {
    thread = std::thread([this, drive = std::move(drive), afterMs] {
      std::unique_lock<std::mutex> lock(mutex);
      if (!wake.wait_for(lock, std::chrono::milliseconds(afterMs), [this] { return ending; }))
        drive->unplug();
    });
  }
  ~Unplugger() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      ending = true;
    }
    wake.notify_all();
    thread.join();
  }
};

DriveSession::DriveSession(Context& context) : context_(context) {}

double DriveSession::clockSeconds() const {
  if (simulatedClock()) return static_cast<double>(sim_->nowUs()) / 1e6;
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

DriveSession::~DriveSession() {
  unplugger_.reset();
  if (cancelHookInstalled_) SetLinkCancel({});
  CloseLink();
  simSleeper_.reset();
  if (registeredSim_) sim::unregisterSimulatedDrive(linkName_);
}

int DriveSession::open() {
  const std::string& port = context_.options.port;
  if (port.empty()) {
    return UsageError(context_,
                      "no port given: use --port COMn, a device such as /dev/ttyUSB0, or sim "
                      "(or set AXTUNE_PORT)");
  }
  label_ = port;
  if (port == kSimPort) {
    if (context_.env.simDrive) {
      sim_ = context_.env.simDrive;
      linkName_ = context_.env.simDeviceName;
    } else {
      // Simulated time: the drive's pauses and timeouts cost no wall time (unless --sim-real-time).
      const Options& options = context_.options;
      sim::SimConfig config = options.simRealTime ? sim::SimConfig::realTime() : sim::SimConfig::unitTest();
      config.flashGeometry = options.simFlash;
      config.faults = options.simFaults;
      sim::ApplyReplyStylesFromEnvironment(config);
      linkName_ = "sim:axtune-cli";
      sim_ = sim::registerSimulatedDrive(linkName_, config);
      registeredSim_ = true;
      if (!options.simRealTime) simSleeper_ = std::make_unique<ScopedSleeper>(sim_->sleeper());
      if (options.simUnplugMs >= 0) unplugger_ = std::make_unique<Unplugger>(sim_, options.simUnplugMs);
    }
  } else if (const int slot = PortSlotNumber(port); slot != 0) {
    linkName_ = PortSlotName(slot);
    label_ = "COM" + std::to_string(slot);
    if (ResolvePortDevice(linkName_).empty()) {
      return Fail(context_, kExitDrive,
                  label_ + " has no device behind it: set AXTUNE_COM" + std::to_string(slot) +
                      "=/dev/ttyUSB0 (for example) or name the device with --port ('" + kProgram +
                      " ports' lists the slots)");
    }
  } else {
    linkName_ = port;
  }
  CloseLink();
  if (!OpenLink(linkName_))
    return Fail(context_, kExitDrive, OpenFailureText(label_, ResolvePortDevice(linkName_)));
  if (context_.env.stop != nullptr) {
    // Ctrl-C ends a wait for a reply within a slice instead of the full timeout of a silent line.
    const std::atomic<bool>* stop = context_.env.stop;
    SetLinkCancel([stop] { return stop->load(); });
    cancelHookInstalled_ = true;
  }
  return kExitOk;
}

int DriveSession::reopen(bool report) {
  CloseLink();
  if (OpenLink(linkName_)) return kExitOk;
  const std::string text = OpenFailureText(label_, ResolvePortDevice(linkName_));
  if (!report) {
    Warn(context_, text);
    return kExitDrive;
  }
  return Fail(context_, kExitDrive, text);
}

int DriveSession::identify(Identity& identity) {
  RecordWords words{};
  // A drive that was just switched on may miss the first request; the second read decides.
  bool ok = ReadRecord(kIdentificationRecord, words);
  if (!ok) ok = ReadRecord(kIdentificationRecord, words);
  if (!ok) return FailRecordRead(context_, *this, kIdentificationRecord);
  identity = DecodeIdentity(words);
  ModemStatus status;
  if (SerialPort* port = LinkPort(); port != nullptr && port->modemStatus(status)) {
    identity.carrier = status.carrier;
    if (!status.carrier && identity.supported) Warn(context_, Text(kTextCheckCable));
  }
  return kExitOk;
}

int DriveSession::requireDrive(Identity& identity) {
  if (const int code = identify(identity); code != kExitOk) return code;
  if (!identity.supported) {
    return Fail(context_, kExitDrive,
                "the device on " + label_ + " is not a supported QMX10 drive (type " +
                    std::to_string(identity.deviceType) + ")");
  }
  if (identity.recordCount < 0 || identity.recordCount > kMaxParameterRecords) {
    return Fail(context_, kExitDrive,
                "the drive reports " + std::to_string(identity.recordCount) +
                    " parameter records; a parameter file holds at most " +
                    std::to_string(kMaxParameterRecords));
  }
  return kExitOk;
}

void ProgressPrinter::update(const std::string& label, uint64_t done, uint64_t total,
                             const std::string& detail) {
  if (context_.options.progressEvents) {
    WriteProgressEvent(context_.err, label, done, total);
    return;
  }
  if (context_.env.progressTerminal) {
    std::string line = label;
    if (total > 0) {
      constexpr int kWidth = 30;
      const uint64_t filled = std::min<uint64_t>(kWidth, done * kWidth / total);
      line += " [" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] " +
              std::to_string(std::min<uint64_t>(100, done * 100 / total)) + "%";
    }
    if (!detail.empty()) line += " " + detail;
    if (line.size() < lastLine_.size()) line += std::string(lastLine_.size() - line.size(), ' ');
    context_.err << '\r' << line << std::flush;
    lastLine_ = line;
    barDrawn_ = true;
    return;
  }
  // Plain lines: one per label, and one per tenth of the way.
  const int step = total > 0 ? static_cast<int>(std::min<uint64_t>(10, done * 10 / total)) : -1;
  if (label == lastLine_ && step == lastPercentStep_) return;
  context_.err << label;
  if (total > 0) context_.err << ": " << done << "/" << total << " (" << step * 10 << "%)";
  if (!detail.empty()) context_.err << ", " << detail;
  context_.err << '\n';
  lastLine_ = label;
  lastPercentStep_ = step;
}

void ProgressPrinter::finish() {
  if (barDrawn_) context_.err << '\n' << std::flush;
  barDrawn_ = false;
  lastLine_.clear();
  lastPercentStep_ = -1;
}

}  // namespace axtune::cli
