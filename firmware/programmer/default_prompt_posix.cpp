#include "firmware/programmer/default_prompt.h"

namespace axtune::prg {

void ShowDefaultPrompt(const char*, const char*) {}

}  // namespace axtune::prg
