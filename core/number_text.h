// Reading a number the user typed, one rule for every place that takes one (the pages' fields, the
// compare dialog, `axtune-cli set`), so one text gives one result everywhere or is refused.
//
// Taken: optional blanks, an optional sign, digits, and where the value has decimals one decimal
// separator followed or preceded by digits, optional blanks. The separator is the language's (the
// German window writes and reads "37,5", the English one "37.5"; the command line always uses the
// point). Refused: anything else, among it hexadecimal ("0x7D0"), an exponent ("1e3"), trailing
// letters ("2200abc"), the other language's separator and thousands separators ("1.500"), and a
// fraction where the value has none ("1500,5" in a field of whole milliamperes).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "res/strings.h"

namespace axtune {

enum class NumberTextFault {
  None,
  Empty,           // nothing but blanks
  NotANumber,      // letters, symbols, an exponent, two signs ...
  Hexadecimal,     // "0x..."
  WholeOnly,       // a decimal separator where the value takes whole numbers only
  OtherSeparator,  // the other language's decimal separator (or a thousands separator)
};

struct NumberReading {
  std::optional<double> value;  // set exactly when fault is None
  NumberTextFault fault = NumberTextFault::None;
};

// `separator` is '.' or ','; `decimals` whether the value takes a fraction at all. `hexadecimal`
// takes "0x" followed by hex digits as well, for raw words that have no unit (never for a value
// with a unit, where "0x7D0" must not become 2000 mA in one place and 0 in another).
NumberReading ReadNumberText(std::string_view text, char separator, bool decimals, bool hexadecimal = false);

// The decimal separator of a window language.
char DecimalSeparator(Language language);

// Whether a value with raw = value x scale takes a fraction: every scaled one does (percent at
// 163.83, velocities at 838.8608, ramps, encoder lines at 4 per line: a fraction can be a raw step
// of its own, and the field shows one); a value counted in raw steps (mA, ms, steps) does not.
bool ScaleTakesDecimals(double scale);

// A number written with the language's separator in place of '.' ("37.5" -> "37,5" in German).
std::string WithDecimalSeparator(std::string text, Language language);

// Why a text was refused, in English, for the command line ("is not a number", "takes whole
// numbers only", ...); empty for None.
std::string NumberFaultText(NumberTextFault fault);

}  // namespace axtune
