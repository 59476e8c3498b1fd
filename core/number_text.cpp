#include "core/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace axtune {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

NumberReading Refused(NumberTextFault fault) {
  return {std::nullopt, fault};
}

}  // namespace

NumberReading ReadNumberText(std::string_view input, char separator, bool decimals, bool hexadecimal) {
  const std::string_view text = Trimmed(input);
  if (text.empty()) return Refused(NumberTextFault::Empty);
  const char other = separator == ',' ? '.' : ',';
  size_t i = 0;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  const std::string_view body = text.substr(i);
  if (body.size() > 1 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
    if (!hexadecimal) return Refused(NumberTextFault::Hexadecimal);
    const std::string_view hex = body.substr(2);
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    if (hex.empty() || end != hex.data() + hex.size()) return Refused(NumberTextFault::NotANumber);
    const double magnitude = ec == std::errc::result_out_of_range ? HUGE_VAL : static_cast<double>(value);
    return {negative ? -magnitude : magnitude, NumberTextFault::None};
  }

  // Digits with at most one separator; the separators are judged only when the rest is digits, so
  // "12abc" is no number rather than a question of separators.
  std::string normal;  // digits with '.' for the decimal point, for from_chars
  size_t digits = 0;
  int ownSeparators = 0;
  int otherSeparators = 0;
  for (char c : body) {
    if (IsDigit(c)) {
      normal += c;
      ++digits;
    } else if (c == separator) {
      ++ownSeparators;
      normal += '.';
    } else if (c == other) {
      ++otherSeparators;
    } else {
      return Refused(NumberTextFault::NotANumber);
    }
  }
  if (digits == 0) return Refused(NumberTextFault::NotANumber);
  if (otherSeparators > 0) return Refused(NumberTextFault::OtherSeparator);
  if (ownSeparators > 1) return Refused(NumberTextFault::NotANumber);
  if (ownSeparators == 1 && !decimals) return Refused(NumberTextFault::WholeOnly);

  double value = 0;
  const auto [ptr, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  (void)ptr;
  // Hundreds of digits: beyond every limit, which the caller's range check then says.
  if (ec == std::errc::result_out_of_range)
    value = HUGE_VAL;
  else if (ec != std::errc())
    return Refused(NumberTextFault::NotANumber);
  return {negative ? -value : value, NumberTextFault::None};
}

char DecimalSeparator(Language language) {
  return language == Language::German ? ',' : '.';
}

bool ScaleTakesDecimals(double scale) {
  return scale != 1.0;
}

std::string WithDecimalSeparator(std::string text, Language language) {
  if (language == Language::German)
    for (char& c : text)
      if (c == '.') c = ',';
  return text;
}

std::string NumberFaultText(NumberTextFault fault) {
  switch (fault) {
    case NumberTextFault::None:
      return {};
    case NumberTextFault::Empty:
    case NumberTextFault::NotANumber:
      return "is not a number";
    case NumberTextFault::Hexadecimal:
      return "is not a decimal number (hexadecimal is not taken)";
    case NumberTextFault::WholeOnly:
      return "is not a whole number (this value takes no decimals)";
    case NumberTextFault::OtherSeparator:
      return "uses a separator other than the decimal point";
  }
  return {};
}

}  // namespace axtune
