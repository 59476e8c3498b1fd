// The exported PRG_ entry points: the busy rule, the status word and the sequence of PRG_Open.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "firmware/programmer/boot_loader.h"
#include "firmware/programmer/default_prompt.h"
#include "firmware/programmer/flash_programmer.h"
#include "firmware/programmer/kernel_protocol.h"
#include "firmware/programmer/prg_options.h"
#include "firmware/programmer/prg_port.h"
#include "firmware/programmer/prg_state.h"
#include "link/sleeper.h"

using namespace axtune::prg;

namespace {

// Runs an operation under the busy rule: nothing happens while another one runs; otherwise the status
// is 2 while it runs and its result afterwards.
template <typename Operation>
int32_t RunBusy(Operation operation) {
  ProgrammerState& s = State();
  int expected = s.status.load();
  if (expected == PRG_BUSY || !s.status.compare_exchange_strong(expected, PRG_BUSY)) return PRG_BUSY;
  Port().beginSession();  // a PRG_Close from now on ends this operation's session
  s.abort = false;
  const int result = operation() == PRG_DONE ? PRG_DONE : PRG_FAILED;
  Port().endSession();
  s.status = result;
  return result;
}

void SetText(char (&field)[PRG_TEXT_OPTION_SIZE], const std::string& text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text.data(), std::min(text.size(), sizeof field - 1));
}

// How a boot load ended, as far as what to try next is concerned.
enum class BootLoadResult {
  Done,
  NothingTookIt,  // no echo of the autobaud, or an "A" came back but none of the table: a reset may help
  Failed,
};

// The rates of one connection: the boot ROM's (autobaud and boot table) and the kernel's (its own
// autobaud and every packet).
struct LineRates {
  int boot = 0;
  int kernel = 0;
};

// Boot load: the kernel through the ROM at the boot rate, then the kernel's own autobaud at its rate.
// A kernel rate other than the boot rate is proven by a ping before the load counts as done: an
// autobaud echo alone may come from a line that carries single bytes but garbles packets. The port is
// open at entry.
BootLoadResult BootLoad(const std::string& portName, LineRates rates) {
  ProgrammerState& s = State();
  const int rate = rates.boot;
  if (!Autobaud(rate)) {
    Message("Autobaud failed before loading application\n");
    return BootLoadResult::NothingTookIt;
  }
  bool streamed = false;
  size_t echoed = 0;
  const std::string chosen(s.options.PrgKernelFileName,
                           strnlen(s.options.PrgKernelFileName, sizeof s.options.PrgKernelFileName));
  if (!chosen.empty()) {
    // The host's own kernel file instead of the built-in one.
    SetText(s.options.PrgBootLoadFileName, chosen);
    streamed = StreamBootImage(chosen, BootLoadWindow(s.options), &echoed);
    if (!streamed && echoed == 0) Message("Could not load the flash kernel %s\n", chosen.c_str());
  } else {
    TemporaryKernelFile kernel;
    if (kernel.path().empty()) Message("Could not write the flash kernel to the temp directory\n");
    SetText(s.options.PrgBootLoadFileName, kernel.path());
    streamed = StreamBootImage(kernel.path(), BootLoadWindow(s.options), &echoed);
  }  // the temporary file is removed here in every case
  // Something answered the "A" and then echoed nothing: a flash kernel waiting for its own autobaud.
  const bool nothingEchoed = !streamed && echoed == 0 && s.lastReadSilent;
  Port().close();
  if (!streamed) {
    Message("Failed to load boot code.\n");
    return nothingEchoed ? BootLoadResult::NothingTookIt : BootLoadResult::Failed;
  }
  axtune::SleepMs(1000);                       // the kernel starts
  if (s.abort) return BootLoadResult::Failed;  // PRG_Close came meanwhile: the port stays closed
  if (Port().open(portName, rates.kernel) != 0) {
    Message("Could not open serial port %s at %d baudrate\n", portName.c_str(), rates.kernel);
    return BootLoadResult::Failed;
  }
  const bool rateChanged = rates.kernel != rates.boot;
  if (!Autobaud(rates.kernel)) {
    Message("Autobaud failed after loading application\n");
    if (rateChanged && !s.abort) s.kernelRateFailed = true;
    return BootLoadResult::Failed;
  }
  std::memset(s.transmit, 0, sizeof s.transmit);
  Port().write(s.transmit, 8);
  axtune::SleepMs(300);
  Port().purge();
  if (rateChanged) {
    ResetSequence();
    if (PingKernel() != PRG_DONE) {
      Message("The flash kernel did not answer its ping at %d baud\n", rates.kernel);
      if (!s.abort) s.kernelRateFailed = true;
      return BootLoadResult::Failed;
    }
  }
  s.options.PrgSkipBootLoad = 1;
  return BootLoadResult::Done;
}

// A loaded kernel that never locked its rate takes a new autobaud; the ping proves it.
bool TakeWaitingKernel(int rate) {
  ProgrammerState& s = State();
  if (!Autobaud(rate)) return false;
  std::memset(s.transmit, 0, sizeof s.transmit);
  Port().write(s.transmit, 8);
  axtune::SleepMs(300);
  Port().purge();
  ResetSequence();
  if (PingKernel() != PRG_DONE) return false;
  Message("The flash kernel took %d baud\n", rate);
  s.options.PrgSkipBootLoad = 1;
  return true;
}

// The processor is where no autobaud reaches it (a boot table half read, a kernel whose receiver
// stopped on bytes at another rate): the DTR line resets it, as PRG_Close does. It then starts the
// firmware in its flash when that is valid, else its boot ROM, which waits for the autobaud.
bool ResetProcessor(const std::string& portName, int rate) {
  Message("Resetting the drive's processor (DTR) to reach its boot loader\n");
  if (!Port().isOpen() && Port().open(portName, rate) != 0) {
    Message("Could not open serial port %s at %d baudrate\n", portName.c_str(), rate);
    return false;
  }
  Port().dtrPulse();
  if (State().abort) return false;
  Port().purge();
  ResetSequence();
  return true;
}

// The kernel through the boot ROM. What an earlier session may have left behind is taken in turn: a
// kernel in the middle of a packet takes the probe and the autobaud as packet data (zeros complete
// the packet, then it answers a ping); a boot ROM in the middle of a table echoes everything (the
// probe came back as it was sent) and would take a new table as the rest of the old one; a processor
// that bytes at another rate garbled answers nothing. The last two need a reset.
int LoadKernel(const std::string& portName, LineRates rates, bool romMidTable) {
  ProgrammerState& s = State();
  if (romMidTable) {
    Message("A boot loader echoes the packets: it is in the middle of an earlier boot table\n");
  } else {
    const BootLoadResult first = BootLoad(portName, rates);
    if (first == BootLoadResult::Done) return PRG_DONE;
    if (first == BootLoadResult::Failed || s.abort) {
      if (s.lastReadSilent) s.noAnswer = true;
      return PRG_FAILED;
    }
    if (Port().isOpen()) {
      FlushPartialPacket();
      if (ProbeRunningKernel() == PRG_DONE) {
        Message("A flash kernel still runs; it is used without loading it again\n");
        s.options.PrgSkipBootLoad = 1;
        return PRG_DONE;
      }
      Port().purge();
      ResetSequence();
    }
  }
  if (s.abort || !ResetProcessor(portName, rates.kernel)) return PRG_FAILED;
  if (BootLoad(portName, rates) == BootLoadResult::Done) return PRG_DONE;
  if (s.lastReadSilent) {
    s.noAnswer = true;
    Message(
        "No boot loader answered after the reset: the drive runs its firmware, is switched off, or "
        "the cable is out\n");
  }
  return PRG_FAILED;
}

int OpenSequence() {
  ProgrammerState& s = State();
  // A failed open must not leave an earlier session's connection flag behind: the operations would
  // then send kernel packets to whatever answers the line now (a boot ROM, for example).
  s.connected = false;
  s.noAnswer = false;
  s.noAnswerAddress = 0;
  s.lastAckEchoed = false;
  // The last open loaded the kernel and the kernel did not take its rate, and no reset has reached
  // the processor since: the kernel is still there, waiting for an autobaud if it never locked.
  const bool kernelLeftWaiting = s.kernelRateFailed && !s.lastCloseReset;
  s.kernelRateFailed = false;
  ResetSequence();
  const std::string portName = ProgrammerPortName(s.options);
  int rate = ProgrammerBaudRate(s.options);
  s.options.PrgEraseOption1 = s.options.PrgEraseSectorMask != 0 ? s.options.PrgEraseSectorMask : 0x000F;
  s.options.PrgEraseOption2 = 0x0099;
  s.options.PrgEraseOption4 = 0x0500;

  if (Port().open(portName, rate) != 0) {
    Message("Could not open serial port %s at %d baudrate\n", portName.c_str(), rate);
    return PRG_FAILED;
  }
  const UserInterfaceHooks hooks = s.hooks;
  if (hooks.prompt == nullptr) {
    ShowDefaultPrompt("QMX Download", "QMX einschalten!");
  } else if (hooks.prompt(hooks.context, "QMX Download", "QMX einschalten!") != 0) {
    Message("Cancelled by the user\n");
    return PRG_FAILED;
  }
  ShowWaitCursor(true);
  // The rates are read again: a host may offer the choice of rate with its prompt.
  rate = ProgrammerBaudRate(s.options);
  const int bootRate = ProgrammerBootBaudRate(s.options);
  if (rate != Port().currentRate() && !Port().setRate(rate)) {
    Message("Could not open serial port %s at %d baudrate\n", portName.c_str(), rate);
    return PRG_FAILED;
  }
  const int working = Port().currentRate();
  // The erase packet tells the kernel the rate of its session; a kernel that acts on that code must
  // be told the rate it runs at, or the line breaks right after the erase.
  if (const uint32_t code = BaudRateCode(working); code != 0) s.options.PrgEraseOption3 = code;

  bool kernelAnswered = false;
  if (s.options.PrgSkipBootLoad != 1) {
    // A kernel that an earlier session loaded may still run (its closing reset did not reach the
    // drive: the cable was out, the program was killed). Autobauding into it would fail until the
    // drive is switched off and on, so ask it first; the boot ROM ignores a ping (no "A" in it).
    Port().purge();
    kernelAnswered = ProbeRunningKernel() == PRG_DONE;
    if (kernelAnswered) {
      Message("A flash kernel still runs; it is used without loading it again\n");
      s.options.PrgSkipBootLoad = 1;
    } else {
      Port().purge();
      ResetSequence();
    }
  } else {
    kernelAnswered = PingKernel() == PRG_DONE;
    // A kernel reset by the last PRG_Close no longer runs; the boot ROM can load it again.
    if (!kernelAnswered) {
      Message("No flash kernel answered; loading it through the boot loader\n");
      Port().purge();
      ResetSequence();  // the kernel about to be loaded sees sequence 0 first, as after any boot load
    }
  }
  if (!kernelAnswered && kernelLeftWaiting) {
    // Nothing else would reach it: the boot ROM is not running, and without DTR no reset comes.
    if (!TakeWaitingKernel(working)) {
      s.noAnswer = true;
      Message(
          "The flash kernel left by the last open does not answer at %d baud either, and no reset "
          "reaches the drive (no DTR): switch it off and on\n",
          working);
      return PRG_FAILED;
    }
    kernelAnswered = true;
  }
  // The port may have taken another rate than the one asked for; the boot ROM gets its own rate only
  // when the kernel's was taken as asked.
  const LineRates rates{working == rate ? bootRate : working, working};
  if (!kernelAnswered && LoadKernel(portName, rates, s.lastAckEchoed) != PRG_DONE) return PRG_FAILED;
  // A PRG_Close from another thread while this open ran has released the port (or is about to):
  // the open must not come back connected behind it. The check and the flag are one step against it.
  if (s.abort || !Port().connect(s.connected)) {
    Message("Closed while connecting\n");
    return PRG_FAILED;
  }
  Message("Connected to %s at %d baud\n", portName.c_str(), working);
  return PRG_DONE;
}

const PRG_Interface kInterface = {
    sizeof(PRG_Interface),
    {1, 1, 1, 1},
    "GENERIC",
    0,
    16,
    PRG_Init,
    PRG_SetOptions,
    PRG_Status,
    PRG_Open,
    PRG_Close,
    PRG_SetMessageCallBack,
    PRG_FlashErase,
    PRG_FlashWrite,
    PRG_FlashRead,
    PRG_FlashVerify,
    PRG_MemWrite,
    PRG_MemRead,
};

}  // namespace

extern "C" {

PRG_API int32_t PRG_Init(PRG_Handle* handle) {
  if (handle == nullptr) return 1;
  ProgrammerState& s = State();
  Port().close();  // a port left open would otherwise stay held until the process ends
  ResetSequence();
  std::memset(s.message, 0, sizeof s.message);
  s.status = PRG_DONE;
  s.abort = false;
  s.connected = false;
  s.kernelRateFailed = false;
  s.lastCloseReset = false;
  s.callback = nullptr;
  s.options = PRG_Options{};
  std::memset(s.transmit, 0, sizeof s.transmit);
  std::memset(s.receive, 0, sizeof s.receive);
  s.handle = &s.options;
  *handle = s.handle;
  return 0;
}

PRG_API int32_t PRG_SetOptions(PRG_Handle /*handle*/, const char* options) {
  if (options == nullptr) return 1;
  try {
    ParseOptions(std::string(options), State().options);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  return 0;
}

PRG_API int32_t PRG_Status(void) {
  return State().status;
}

PRG_API int32_t PRG_Open(PRG_Handle /*handle*/) {
  return RunBusy([] {
    try {
      const int result = OpenSequence();
      if (result != PRG_DONE) ShowWaitCursor(false);
      return result;
    } catch (...) {
      ShowWaitCursor(false);
      return PRG_FAILED;
    }
  });
}

PRG_API int32_t PRG_Close(PRG_Handle /*handle*/) {
  ProgrammerState& s = State();
  ShowWaitCursor(false);
  s.abort = true;
  Port().interrupt(false);  // an operation still running can no longer open the port or connect
  s.lastCloseReset = Port().dtrPulse();
  axtune::SleepMs(200);
  Port().interrupt(true);  // closes the port; an open that began meanwhile cannot take it back either
  s.connected = false;
  return 0;
}

PRG_API int32_t PRG_SetMessageCallBack(PRG_Handle handle, PRG_MessageCallBack callback) {
  State().callback = callback;
  if (callback != nullptr) callback(handle, PRG_MSG_INSTALLED, "Installed output message callback\n");
  return 0;
}

PRG_API int32_t PRG_FlashErase(PRG_Handle /*handle*/) {
  return RunBusy([] { return EraseFlash(); });
}

PRG_API int32_t PRG_FlashWrite(PRG_Handle /*handle*/, uint32_t address, uint16_t page, uint32_t byteCount,
                               const uint16_t* words) {
  return RunBusy([&] { return WriteWords(kCommandFlashWrite, address, page, byteCount, words); });
}

PRG_API int32_t PRG_MemWrite(PRG_Handle /*handle*/, uint32_t address, uint16_t page, uint32_t byteCount,
                             const uint16_t* words) {
  return RunBusy([&] { return WriteWords(kCommandMemWrite, address, page, byteCount, words); });
}

PRG_API int32_t PRG_FlashRead(PRG_Handle /*handle*/, uint32_t address, uint16_t page, uint32_t byteCount,
                              uint16_t* words) {
  return RunBusy([&] { return ReadWords(kCommandFlashRead, address, page, byteCount, words); });
}

PRG_API int32_t PRG_MemRead(PRG_Handle /*handle*/, uint32_t address, uint16_t page, uint32_t byteCount,
                            uint16_t* words) {
  return RunBusy([&] { return ReadWords(kCommandMemRead, address, page, byteCount, words); });
}

PRG_API int32_t PRG_FlashVerify(PRG_Handle /*handle*/, uint32_t address, uint16_t page, uint32_t byteCount,
                                const uint16_t* words) {
  ProgrammerState& s = State();
  // While another operation runs its busy status stays; overwriting it would let a third one start.
  if (s.status == PRG_BUSY) return PRG_FAILED;
  if (!s.connected) {
    s.status = PRG_FAILED;
    return PRG_FAILED;
  }
  s.status = PRG_FAILED;
  const int result = VerifyFlash(address, page, byteCount, words);
  s.status = result;
  return result;
}

PRG_API int32_t PRG_GetInterface(const PRG_Interface** descriptor) {
  if (descriptor == nullptr) return 1;
  *descriptor = &kInterface;
  return 0;
}

PRG_API int32_t PRG_GetNoAnswer(uint32_t* address) {
  ProgrammerState& s = State();
  if (!s.noAnswer) return 0;
  if (address != nullptr) *address = s.noAnswerAddress;
  return 1;
}

PRG_API int32_t PRG_GetKernelRateFailed(void) {
  return State().kernelRateFailed ? 1 : 0;
}

PRG_API int32_t PRG_GetLastCloseReset(void) {
  return State().lastCloseReset ? 1 : 0;
}

PRG_API int32_t PRG_SetUserInterfaceHooks(PRG_PromptHook prompt, PRG_WaitCursorHook waitCursor,
                                          void* context) {
  State().hooks = UserInterfaceHooks{prompt, waitCursor, context};
  return 0;
}

PRG_API int32_t PRG_SetProgressHook(PRG_ProgressHook progress, void* context) {
  ProgrammerState& s = State();
  s.progress = nullptr;  // never a new hook with the old context
  s.progressContext = context;
  s.progress = progress;
  return 0;
}

}  // extern "C"
