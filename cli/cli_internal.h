// What the subcommands of axtune-cli share: the parsed command line, the output streams, the
// session on the drive link, and the helpers that turn failures into messages and exit codes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/json.h"
#include "core/firmware_update.h"
#include "link/drive_link.h"
#include "link/late_answers.h"
#include "link/sleeper.h"
#include "res/strings.h"
#include "sim/sim_config.h"

namespace axtune::cli {

inline constexpr const char* kProgram = "axtune-cli";
inline constexpr const char* kSimPort = "sim";

struct Options {
  std::string command;
  std::vector<std::string> args;  // positional arguments after the command
  std::string port;               // --port, or AXTUNE_PORT
  bool json = false;
  std::optional<Language> language;
  bool help = false;
  bool version = false;  // --version
  bool watch = false;
  int intervalMs = 1000;
  bool intervalGiven = false;  // --interval was on the command line
  int count = 0;               // status --watch: polls before ending (0: until interrupted)
  bool csv = false;            // status: the trend's columns as CSV, one row per poll
  bool symbols = false;
  bool yes = false;       // flash: do not ask before the drive is switched on
  std::string processor;  // flash --processor: the drive's processor instead of its type's
  std::string kernel;     // flash --kernel: a flash kernel file instead of the built-in one
  // batch: every --port in order, the --ports file, at most --jobs children at once (0: all),
  // and the file that gets the failed ports.
  std::vector<std::string> ports;
  std::string portsFile;
  int jobs = 0;
  std::string failedFile;
  bool progressEvents = false;  // --progress-events: progress as "@progress {json}" lines (for batch)
  bool all = false;             // diff: list equal values too
  bool noVerify = false;        // set: do not read the values back
  std::optional<std::string> reference;  // report: the reference parameter file
  int flashBaud = kDefaultKernelBaud;    // flash --baud: the flash kernel's rate
  int bootBaud = kDefaultBootBaud;       // flash --boot-baud: the boot ROM's rate
  bool verify = false;     // --verify: write-*: read back and compare; flash: compare word by word
  std::string verifyMode;  // the value of --verify=MODE (flash: "readback" or "sum"), empty without
  std::optional<std::string> user;
  std::optional<std::string> company;
  std::string simFlash = "F2808";
  bool simRealTime = false;    // --sim-real-time: the simulated drive runs on the wall clock
  sim::FaultConfig simFaults;  // --sim-faults
  int simUnplugMs = -1;        // --sim-faults unplug-ms=N: the cable comes out N ms after the open
};

struct Context {
  Options options;
  std::ostream& out;
  std::ostream& err;
  const CliEnvironment& env;

  bool stopRequested() const { return env.stop != nullptr && env.stop->load(); }
};

// "axtune-cli: cancelled; what" on the error stream (and the JSON error), exit code kExitCancelled.
int Cancelled(Context& context, const std::string& what);

// Parses the command line; on a usage error returns false with the message in `error`.
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

// Number arguments: decimal, negative, or hexadecimal with 0x. False when the text is not a number
// in [minimum, maximum].
bool ParseInteger(const std::string& text, int64_t minimum, int64_t maximum, int64_t& value);

// Prints "axtune-cli: message" on the error stream (and, with --json, an error object on the output)
// and returns the code.
int Fail(Context& context, int code, const std::string& message);
int UsageError(Context& context, const std::string& message);
void Warn(Context& context, const std::string& message);

// Help texts.
void PrintToolHelp(std::ostream& out);
bool PrintCommandHelp(const std::string& command, std::ostream& out);
bool IsCommand(const std::string& command);

// The drive's identification record 128.
struct Identity {
  RecordWords words{};
  int deviceType = 0;
  bool supported = false;
  std::string typeText;
  int major = 0;
  int minor = 0;
  int build = 0;
  bool testFirmware = false;
  std::string versionText;  // "4.1.7 " as the General page shows it
  int versionNumber = 0;    // major * 1000 + minor
  int recordCount = 0;
  std::optional<bool> carrier;  // empty when the port cannot tell
};
Identity DecodeIdentity(const RecordWords& words);

// The drive link for one command: opens the port named by --port (a slot COMn, a device, or the
// in-process simulated drive), and closes it again at the end.
class DriveSession {
 public:
  explicit DriveSession(Context& context);
  ~DriveSession();
  DriveSession(const DriveSession&) = delete;
  DriveSession& operator=(const DriveSession&) = delete;

  // 0 when the link is open, else the exit code after the message was printed.
  int open();
  // Reads record 128; 0 when a drive answered, else the exit code after the message.
  int identify(Identity& identity);
  // identify() and a supported drive with a usable record count.
  int requireDrive(Identity& identity);
  // Re-opens the link after the port was handed to the programmer.
  // Closes and opens the link again; `report` false leaves the failure to the caller (no message, no
  // JSON document: a command that prints its own document after it).
  int reopen(bool report = true);

  const std::string& portLabel() const { return label_; }
  // The port is a simulated drive that this session created on a simulated clock (the product's
  // pauses move that clock instead of the wall clock).
  bool simulatedClock() const { return registeredSim_ && !context_.options.simRealTime; }
  // That clock in seconds, or the monotonic wall clock's for every other port.
  double clockSeconds() const;
  const std::string& linkName() const { return linkName_; }

 private:
  Context& context_;
  std::string label_;     // what the user named
  std::string linkName_;  // what OpenLink gets
  bool registeredSim_ = false;
  std::shared_ptr<sim::SimulatedDrive> sim_;
  std::unique_ptr<ScopedSleeper> simSleeper_;
  bool cancelHookInstalled_ = false;
  // --sim-faults unplug-ms: pulls the simulated cable after a while, unless the session ends first.
  struct Unplugger;
  std::unique_ptr<Unplugger> unplugger_;
};

// The drive's error code for a record it does not have.
inline constexpr int kDriveErrorUnknownRecord = 1;
// Message for a failed record transfer, from LinkError.
std::string LinkErrorText(int linkError);
// "abort 0x06090031: value above the object's range": the code of a drive's refusal of an object
// request, with its CANopen meaning where it is a common one.
std::string AbortText(uint32_t abortCode);
// A write that did not come back confirmed, for the write commands: "WHAT was not written: ..." when
// nothing went out or the drive rejected it, "WHAT: not confirmed: the drive may or may not have
// taken it; read it back" when the request went out without a whole answer. Returns kExitDrive.
// `fate` and `linkError` are the write's (LastTransferFate() and LinkError right after it).
int FailUnconfirmedWrite(Context& context, const DriveSession& session, const std::string& what,
                         TransferFate fate, int linkError);
// "no drive answering on PORT: ..." and friends, for a failed read of `record`.
int FailRecordRead(Context& context, const DriveSession& session, int record);

// Subcommands.
int CmdPorts(Context& context);
int CmdIdentify(Context& context);
int CmdStatus(Context& context);
int CmdRead(Context& context);
int CmdWriteWord(Context& context);
int CmdWriteRecord(Context& context);
int CmdReadObject(Context& context);
int CmdWriteObject(Context& context);
int CmdStore(Context& context);
int CmdSave(Context& context);
int CmdLoad(Context& context);
int CmdFlash(Context& context);
int CmdCoff(Context& context);
int CmdDoctor(Context& context);
int CmdBatch(Context& context);

// flash: the kernel file of --kernel checked, or the built-in kernel; when that is the stand-in and
// the port is not the built-in simulated drive, a warning (and on a terminal without --yes, a
// question). 0 to go on, else the exit code after the message.
struct FlashKernelChoice {
  std::string file;      // empty: the built-in kernel
  bool standIn = false;  // the built-in kernel is the stand-in
  bool warned = false;   // the stand-in is about to go to a port that is not the simulated drive
};
int ChooseFlashKernel(Context& context, FlashKernelChoice& choice);

// --progress-events: one line "@progress {"label":...,"done":N,"total":N}" per report, which batch
// reads from each child; ReadProgressEvent is the other end (false for any other line).
inline constexpr const char* kProgressEventPrefix = "@progress ";
void WriteProgressEvent(std::ostream& err, const std::string& label, uint64_t done, uint64_t total);
bool ReadProgressEvent(const std::string& line, std::string& label, uint64_t& done, uint64_t& total);
int CmdGet(Context& context);
int CmdSet(Context& context);
int CmdParams(Context& context);
int CmdDiff(Context& context);
int CmdReport(Context& context);
int CmdHistory(Context& context);

// Progress on the error stream: a redrawn bar on a terminal, plain lines otherwise.
class ProgressPrinter {
 public:
  explicit ProgressPrinter(Context& context) : context_(context) {}
  ~ProgressPrinter() { finish(); }
  // label: what is going on; done/total: units (0 total: no bar, just the label); detail: figures
  // that change with every update (bytes, time left), shown after the bar but not a reason for a
  // new plain line by themselves.
  void update(const std::string& label, uint64_t done, uint64_t total, const std::string& detail = {});
  void finish();

 private:
  Context& context_;
  std::string lastLine_;
  bool barDrawn_ = false;
  int lastPercentStep_ = -1;
};

}  // namespace axtune::cli
