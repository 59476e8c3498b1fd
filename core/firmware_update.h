// The firmware update: checks a TI COFF file for the drive's processor, tells the running firmware
// to hand over to its boot loader, releases the drive link's port to the flash programmer, erases
// the flash, programs every loadable code and data section at its load address, verifies them all
// and reports one of the outcomes. Progress goes to a callback; a cancel request reaches the
// programmer's abort flag.
//
// Nothing here shows a message. The GUI stops its status polling and the carrier watcher before it
// calls RunFirmwareUpdate (hook beforeHandOver) and re-opens the link afterwards; the command-line
// tool does the same.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/firmware_file.h"

namespace axtune {

struct ProcessorFlash;

// The four fixed outcome texts, English in both languages.
inline constexpr const char* kTextComOpenFailed = "Com open failed!";
inline constexpr const char* kTextEraseFailed = "Erase failed";
inline constexpr const char* kTextVerifyOk = "Verify ok";
inline constexpr const char* kTextVerifyFailed = "Verify failed";

// The line rates of an update. The processor's boot ROM autobauds unreliably at high rates (its
// transceiver's slew rate blurs the edges it measures), so it is locked and the small flash kernel
// loaded at a low rate; the kernel then autobauds afresh at the high rate that carries the erase,
// programming and verify. When the kernel does not answer at its rate, the update resets the
// processor and connects again at kFallbackBaud throughout.
inline constexpr int kDefaultKernelBaud = 115200;
inline constexpr int kDefaultBootBaud = 19200;
inline constexpr int kFallbackBaud = 19200;
// A rate the programmer takes as it is (any other would silently become 19200).
bool IsProgrammerBaudRate(int rate);
// "115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200", for messages and help.
const char* ProgrammerBaudRateList();

// The flash programmer as the update uses it; the default goes through the PRG_ interface.
class FlashProgrammer {
 public:
  virtual ~FlashProgrammer() = default;
  // The device the programmer opens (the drive link's port).
  virtual void setPortName(const std::string& device) = 0;
  // A flash kernel file to load instead of the built-in one (checked with CheckKernelFile first);
  // empty takes the built-in kernel. Set before the update starts.
  virtual void setKernelFile(const std::string& path) { (void)path; }
  // The boot ROM's and the flash kernel's rates for the next open(); a programmer without the choice
  // keeps its own.
  virtual void setBaudRates(int bootBaud, int kernelBaud) {
    (void)bootBaud;
    (void)kernelBaud;
  }
  // The erase's sector mask for the next open() (bit 0 = sector A); 0 keeps the programmer's 0x000F.
  virtual void setEraseMask(uint32_t mask) { (void)mask; }
  // True when the last open() loaded the kernel at the boot rate and the kernel then did not answer
  // at its own rate (no autobaud echo, or no answer to a ping): nothing was erased.
  virtual bool kernelRateFailed() const { return false; }
  // True when the last close() reset the processor (its DTR pulse went out). A line without DTR
  // leaves the kernel loaded; it is then taken at the new rate as it is.
  virtual bool closeReset() const { return true; }
  virtual bool open() = 0;
  virtual bool erase() = 0;
  virtual bool write(uint32_t address, uint16_t page, uint32_t bytes, const uint16_t* words) = 0;
  virtual bool verify(uint32_t address, uint16_t page, uint32_t bytes, const uint16_t* words) = 0;
  // Reads `bytes` of flash into `words` (PRG_FlashRead); false when no data came back.
  virtual bool read(uint32_t address, uint16_t page, uint32_t bytes, uint16_t* words) {
    (void)address, (void)page, (void)bytes, (void)words;
    return false;
  }
  virtual void close() = 0;
  // Called from another thread: makes a running operation stop at its next check.
  virtual void abort() = 0;
  // The programmer's own progress lines since open (for a failure report).
  virtual std::vector<std::string> messages() const { return {}; }
  // Where the programmer reports how far its long steps are, (done, total) in bytes: the boot
  // table while open() loads the kernel, the acknowledged chunks of write(), the compared bytes of
  // verify(). Called on the thread that runs the step; empty removes it.
  using Progress = std::function<void(uint32_t done, uint32_t total)>;
  virtual void setProgress(Progress progress) { (void)progress; }
  // True when the last open() failed because the user cancelled the switch-on prompt.
  virtual bool promptCancelled() const { return false; }
  // True when a packet got no answer at all since open (the line is dead); `address` is the word
  // address of that packet (0 for the erase).
  virtual bool noAnswer(uint32_t& address) const {
    (void)address;
    return false;
  }
};

// Asks the user to switch the drive on (title, text); false when the user cancelled.
using ProgrammerPrompt = std::function<bool(const std::string& title, const std::string& text)>;

// The programmer library behind the PRG_ interface (process-wide, like the library itself). The
// prompt of its open goes to `prompt`; without one the programmer goes on without asking. Null when
// the programmer library is not part of this build.
std::unique_ptr<FlashProgrammer> CreatePrgFlashProgrammer(ProgrammerPrompt prompt = {});

enum class UpdatePhase {
  CheckingFile,
  EnteringBootLoader,
  Connecting,
  Erasing,
  Programming,
  Verifying,
  Closing,
  Finished,
};
const char* UpdatePhaseName(UpdatePhase phase);

// Reported at every phase change, at each section's start and end, and in between as the programmer
// moves: while connecting, bytesDone/bytesTotal count the boot table as the kernel is loaded (both 0
// when a running kernel answered at once); while programming and verifying they count the bytes of
// the pass, chunk by chunk.
struct UpdateProgress {
  UpdatePhase phase = UpdatePhase::CheckingFile;
  int section = 0;          // k of n within the programming or verification pass (1-based; 0 before)
  int sectionCount = 0;     // n
  uint64_t bytesDone = 0;   // within the phase (connecting: the boot table; passes: the pass)
  uint64_t bytesTotal = 0;  // connecting: the boot table; passes: all programmed sections
  std::string sectionName;
  uint32_t address = 0;
  int baud = 0;  // the line's rate in this phase (connecting: the boot ROM's); 0 before the programmer
  bool readBack = false;           // the word-by-word comparison of the whole image after the sum check
  uint64_t sectionBytesDone = 0;   // within the current section of a pass
  uint64_t sectionBytesTotal = 0;  // the current section's size
};

enum class UpdateResult {
  VerifyOk,
  VerifyFailed,   // a section failed to program or verify; the others were still processed
  ComOpenFailed,  // the programmer did not reach the boot loader; nothing erased
  EraseFailed,    // nothing programmed; the flash may be partly erased
  FileRejected,   // the file failed the check; nothing was sent to the drive
  Cancelled,      // stopped on request (before the drive was told anything, at the switch-on prompt,
                  // or between sections)
};
// "Verify ok", "Verify failed", "Com open failed!", "Erase failed", or a short English text for the
// two outcomes the fixed texts do not cover.
const char* UpdateResultText(UpdateResult result);

struct UpdateOutcome {
  UpdateResult result = UpdateResult::FileRejected;
  std::string message;                 // file problem or cancel point, for the user
  bool driveTouched = false;           // the enter-boot-loader request went out
  bool flashTouched = false;           // erase was started
  std::vector<int> failedWrites;       // section numbers whose write failed
  std::vector<int> failedVerifies;     // section numbers whose verification failed
  bool driveStoppedAnswering = false;  // the update stopped at the first unanswered packet (or the
                                       // boot loader answered nothing while connecting)
  uint32_t noAnswerAddress = 0;
  // The firmware did not answer the enter-boot-loader request (an earlier update left the processor
  // in its boot ROM or flash kernel), so the processor was reset through DTR and asked again.
  bool processorReset = false;
  // Stopped after the hand-over and before the erase: the drive was reset through DTR, and whether
  // its firmware answered again (the message says which).
  bool restartTried = false;
  bool firmwareRestarted = false;
  int kernelBaud = 0;         // the rate the flash kernel answered at (0: it was not reached)
  uint32_t eraseMask = 0;     // the sectors the erase was asked to clear (bit 0 = sector A)
  bool rateFellBack = false;  // the kernel did not answer at the chosen rate; kFallbackBaud was used
  int sectionsProgrammed = 0;
  uint64_t bytesProgrammed = 0;
  // The word-by-word comparison after the sum check: whether it ran to the end, and where the
  // flash first differed from the file (or could not be read); the message says which.
  bool readBackCompared = false;
  bool readBackMismatch = false;
  bool readBackUnreadable = false;  // the mismatch is a read that got no data
  uint32_t firstDifference = 0;
  std::vector<std::string> programmerMessages;
};

// Cancel from any thread while an update runs.
class UpdateControl {
 public:
  void requestCancel();
  bool cancelRequested() const { return cancel_.load(); }
  // Set by the running update so that a cancel can reach the programmer.
  void attach(FlashProgrammer* programmer);

 private:
  std::atomic<bool> cancel_{false};
  std::atomic<FlashProgrammer*> programmer_{nullptr};
};

using UpdateProgressCallback = std::function<void(const UpdateProgress&)>;

struct UpdateHooks {
  UpdateProgressCallback progress;
  // Runs after the file check and before the drive is told anything: the GUI removes its status
  // bar and stops the carrier watcher here.
  std::function<void()> beforeHandOver;
  UpdateControl* control = nullptr;
  // 0: the 1000 ms pauses of the hand-over are whole. Above 0: they are taken in slices of this many
  // milliseconds, and a cancel request ends them at the next slice (the command line's Ctrl-C).
  int cancellablePauseSliceMs = 0;
  // The drive's processor (core/firmware_fit.h): a file whose sections do not lie in the flash its
  // erase clears is refused before the drive is told anything. Null checks only that no two
  // sections overlap; the callers name one (from the drive type or the user).
  const ProcessorFlash* processor = nullptr;
  // The rates: boot ROM and kernel load at bootBaud, the kernel's session at kernelBaud. A switch-on
  // prompt that offers the choice of rate (the GUI's) sets kernelBaud and the programmer's rates while
  // the programmer waits for it; the update reads kernelBaud once the programmer has connected.
  int bootBaud = kDefaultBootBaud;
  int kernelBaud = kDefaultKernelBaud;
  // One line for the user's log when the update changes course (the fall back to a lower rate).
  std::function<void(const std::string&)> log;
  // Asked once the kernel's sum check has passed for every section: true reads the flash back and
  // compares it word by word with the file (core/flash_readback.h). Empty: the sum check alone.
  std::function<bool()> readBack;
};

// Steps after the hand-over: open the programmer, erase, programming pass, verification pass,
// close. Exposed for tests that stand in for the programmer.
UpdateOutcome ProgramFirmware(FirmwareFile& file, FlashProgrammer& programmer, const UpdateHooks& hooks);

// The whole update on the open drive link. `portName` is the device the programmer opens; empty
// takes the drive link's port. The link is closed afterwards (the caller re-opens it).
UpdateOutcome RunFirmwareUpdate(const std::string& path, FlashProgrammer& programmer,
                                const UpdateHooks& hooks, const std::string& portName = {});

}  // namespace axtune
