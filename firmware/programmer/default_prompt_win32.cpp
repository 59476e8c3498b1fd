#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "firmware/programmer/default_prompt.h"

namespace axtune::prg {

void ShowDefaultPrompt(const char* title, const char* text) {
  // Without a desktop (a service, or Wine without a display) the box fails at once and the open
  // goes on, as it does with a confirmed box.
  MessageBoxA(nullptr, text, title, MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
}

}  // namespace axtune::prg
