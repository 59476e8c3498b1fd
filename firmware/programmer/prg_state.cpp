#include "firmware/programmer/prg_state.h"

#include <cstdarg>
#include <cstdio>

namespace axtune::prg {

ProgrammerState& State() {
  static ProgrammerState state;
  return state;
}

void Message(const char* format, ...) {
  ProgrammerState& s = State();
  PRG_MessageCallBack callback = s.callback;
  if (callback == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(s.message, sizeof s.message, format, args);
  va_end(args);
  callback(s.handle, PRG_MSG_TEXT, s.message);
}

void ResetSequence() {
  State().lastSent = -1;
  State().lastReceived = -1;
}

void Progress(int phase, uint32_t done, uint32_t total) {
  const ProgrammerState& s = State();
  PRG_ProgressHook hook = s.progress;
  if (hook != nullptr) hook(s.progressContext, phase, done, total);
}

void ShowWaitCursor(bool on) {
  const UserInterfaceHooks& hooks = State().hooks;
  if (hooks.waitCursor != nullptr) hooks.waitCursor(hooks.context, on ? 1 : 0);
}

}  // namespace axtune::prg
