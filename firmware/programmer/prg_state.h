// Process-wide state of the flash programmer (one programmer per process; the C interface has no
// per-handle state). Status, abort and connected flag are atomics so that a host may poll PRG_Status
// or stop a running operation with PRG_Close from another thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "firmware/programmer/flash_programmer.h"

namespace axtune::prg {

inline constexpr size_t kPacketBufferSize = 266;  // transmit and receive buffers for packet data
inline constexpr size_t kMessageBufferSize = 1024;

struct UserInterfaceHooks {
  PRG_PromptHook prompt = nullptr;
  PRG_WaitCursorHook waitCursor = nullptr;
  void* context = nullptr;
};

struct ProgrammerState {
  std::atomic<int> status{PRG_DONE};
  std::atomic<bool> abort{false};
  std::atomic<bool> connected{false};
  PRG_Handle handle = nullptr;
  PRG_MessageCallBack callback = nullptr;
  char message[kMessageBufferSize] = {};
  PRG_Options options{};
  uint8_t transmit[kPacketBufferSize] = {};
  uint8_t receive[kPacketBufferSize] = {};
  // Packet sequence numbers; -1 = unset (the first packet sent carries 0, no received number matches).
  int lastSent = -1;
  int lastReceived = -1;
  // Set when a packet got no byte at all back (no acknowledgement, or no response after all
  // attempts): the drive stopped answering. The connection counts as lost from then on, so the
  // operations that follow fail at once instead of waiting out every packet. Cleared by PRG_Open.
  std::atomic<bool> noAnswer{false};
  std::atomic<uint32_t> noAnswerAddress{0};
  // The last PRG_Open loaded the kernel at the boot rate and the kernel did not answer at its own.
  std::atomic<bool> kernelRateFailed{false};
  // PRG_Close's DTR pulse went out on an open port (a line without DTR, or no open port: it did not).
  std::atomic<bool> lastCloseReset{false};
  bool lastReadSilent = false;  // the last multi-read wait got no byte
  // The last packet's "acknowledgement" was the packet's own header coming back: a boot ROM that is
  // in the middle of a boot table echoes whatever it is sent.
  bool lastAckEchoed = false;
  int ackReadAttempts = 21;             // reads for an acknowledgement (1 while probing for a running kernel)
  UserInterfaceHooks hooks;             // kept across PRG_Init
  PRG_ProgressHook progress = nullptr;  // kept across PRG_Init
  void* progressContext = nullptr;
};

ProgrammerState& State();

// Formats one message and hands it to the callback; does nothing without a callback.
void Message(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void ResetSequence();
// Hands (phase, done, total) to the progress hook when one is installed.
void Progress(int phase, uint32_t done, uint32_t total);
void ShowWaitCursor(bool on);

}  // namespace axtune::prg
