// Arbitrary bytes as typed number text, read with either separator, with and without decimals and
// hex. A text is taken exactly when no fault is named; a taken text without hex is made of blanks,
// one sign, digits and at most one separator, and never holds a letter.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/number_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (char separator : {'.', ','}) {
    for (int mode = 0; mode < 4; ++mode) {
      const bool decimals = (mode & 1) != 0;
      const bool hex = (mode & 2) != 0;
      const axtune::NumberReading r = axtune::ReadNumberText(text, separator, decimals, hex);
      if (r.value.has_value() != (r.fault == axtune::NumberTextFault::None)) std::abort();
      if (!r.value || hex) continue;
      int separators = 0;
      for (char c : text) {
        if (c == separator) ++separators;
        const bool allowed =
            (c >= '0' && c <= '9') || c == ' ' || c == '\t' || c == '+' || c == '-' || c == separator;
        if (!allowed) std::abort();
      }
      if (separators > (decimals ? 1 : 0)) std::abort();
    }
  }
  return 0;
}
