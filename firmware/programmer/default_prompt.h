// What PRG_Open shows when the host installed no prompt hook.
#pragma once

namespace axtune::prg {

// Windows: a message box with the title, the text and one OK button (an outside program that loads
// the DLL must still ask the user to switch the drive on). Elsewhere there is no desktop to ask on,
// so nothing is shown. Returns when the user has confirmed, or at once when no box can be shown.
void ShowDefaultPrompt(const char* title, const char* text);

}  // namespace axtune::prg
