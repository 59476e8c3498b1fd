#include "controls/bound_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "link/drive_link.h"
#include "link/object_access.h"

namespace axtune {
namespace {

// Fixed-point text with `decimals` places, always with '.' whatever the locale.
std::string Fixed(double v, int decimals) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  return std::string(buffer, result.ptr);
}

void StripTrailingZeros(std::string& text) {
  if (text.find('.') == std::string::npos) return;
  while (!text.empty() && text.back() == '0') text.pop_back();
}

}  // namespace

std::string FormatFieldValue(uint32_t raw, bool isSigned, double scale) {
  const double value = isSigned ? static_cast<double>(static_cast<int32_t>(raw)) : static_cast<double>(raw);
  const double v = value / scale;
  if (!std::isfinite(v)) return "0";
  std::string text;
  const double magnitude = std::abs(v);
  if (magnitude >= 1000) {
    // Through 64 bits for either sign: a signed value over a small scale can exceed 32 bits.
    text = std::to_string(static_cast<int64_t>(std::floor(v + 0.5)));
  } else if (magnitude >= 0.1) {
    const int integerDigits = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    text = Fixed(v, std::max(0, 4 - integerDigits));
    StripTrailingZeros(text);
  } else if (v != 0) {
    text = Fixed(v, 4);
  } else {
    text = "0";
  }
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

void BoundValue::BindRecordWord(int record, int word) {
  record_ = static_cast<int16_t>(record);
  word_ = static_cast<int16_t>(word);
  known_ = false;  // another place: what the drive holds there is not known yet
}

void BoundValue::BindRecordLong(int record, int word) {
  BindRecordWord(record, word);
  long_ = true;
  limit_ = unsigned_ ? 0xFFFFFFFFu : 0x7FFFFFFFu;
}

void BoundValue::BindObject(uint16_t index, uint8_t subindex, uint8_t size) {
  index_ = index;
  subindex_ = subindex;
  size_ = size;
  objectMode_ = true;
  known_ = false;
  if (size == 4) {
    long_ = true;
    limit_ = 0xFFFFFFFFu;
  }
}

void BoundValue::SetSigned() {
  unsigned_ = false;
  limit_ = long_ ? 0x7FFFFFFFu : 0x7FFFu;
}

BoundValue::Typed BoundValue::Convert(std::string_view text) const {
  return Convert(text, DecimalSeparator(CurrentLanguage()));
}

BoundValue::Typed BoundValue::Convert(std::string_view text, char separator) const {
  // Text that is no number is refused like one out of range: writing 0 for it could stop a motor
  // or drive an axis to position 0, and "2200abc" is not 2200 either.
  const NumberReading number = ReadNumberText(text, separator, TakesDecimals());
  if (!number.value) return {false, 0, number.fault};
  const double r = std::floor(*number.value * scale_ + 0.5);
  // The range is checked on the rounded number itself for either width, so a huge entry cannot
  // wrap into range when it is cut to 32 or 16 bits (NaN fails every comparison).
  const double limit = static_cast<double>(limit_);
  const double low = unsigned_ ? 0.0 : -limit;
  if (!(r >= low && r <= limit)) return {};
  // Within +-2^32 here: the 64-bit conversion is exact, the cut to 32 bits keeps two's complement.
  return {true, static_cast<uint32_t>(static_cast<int64_t>(r))};
}

bool BoundValue::BeyondPractical(uint32_t raw) const {
  if (practical_ == 0) return false;
  const int64_t value = unsigned_ ? int64_t{raw} : int64_t{static_cast<int32_t>(raw)};
  return value > int64_t{practical_} || (!unsigned_ && value < -int64_t{practical_});
}

std::string BoundValue::HighestText() const {
  // The limit over the scale, cut (never rounded) to what the display shows, so that the text
  // itself commits: 0xFFFFFFFF steps/s raw is 5119999.998 steps/s, shown as 5119999, not 5120000.
  const double top = static_cast<double>(limit_) / scale_;
  std::string text;
  if (top >= 1000) {
    text = std::to_string(static_cast<int64_t>(std::floor(top)));
  } else {
    text = FormatFieldValue(limit_, false, scale_);
    if (!Convert(text, '.').accepted) {
      const int decimals = top >= 0.1 ? std::max(0, 3 - static_cast<int>(std::floor(std::log10(top)))) : 4;
      const double step = std::pow(10.0, -decimals);
      text = Fixed(std::floor(top / step) * step, decimals);
      StripTrailingZeros(text);
      if (!text.empty() && text.back() == '.') text.pop_back();
    }
  }
  // A last guard against a rounding edge: one display unit lower always lies inside.
  if (!Convert(text, '.').accepted && top >= 1000)
    text = std::to_string(static_cast<int64_t>(std::floor(top)) - 1);
  return text;
}

std::string BoundValue::LowestText() const {
  return unsigned_ ? std::string("0") : "-" + HighestText();
}

bool BoundValue::HasDriveAddress() const {
  return objectMode_ || (record_ >= 0 && record_ < kIdentificationRecord);
}

bool BoundValue::Write(uint32_t raw) const {
  if (objectMode_) return WriteObject(index_, subindex_, size_, static_cast<int32_t>(raw));
  if (!long_) return WriteWords(record_, word_, static_cast<uint16_t>(raw & 0xFFFF));
  // Low half first. When it fails the high half is not sent on its own: that would leave the
  // drive with half of the new value.
  if (!WriteWords(record_, word_, static_cast<uint16_t>(raw & 0xFFFF))) return false;
  return WriteWords(record_, word_ + 1, static_cast<uint16_t>(static_cast<int32_t>(raw) >> 16));
}

BoundValue::CommitOutcome BoundValue::Commit(std::string_view text) {
  const Typed typed = Convert(text);
  if (!typed.accepted) return CommitOutcome::Rejected;
  // Passing through a field (Enter, Tab, a click elsewhere, the cable pulled while the cursor rests
  // in it) sends nothing: only a value the drive does not hold yet is written.
  if (known_ && typed.raw == raw_) return CommitOutcome::Unchanged;
  // A field with no drive address has nothing to write and nothing that could fail.
  if (HasDriveAddress() && !Write(typed.raw)) return CommitOutcome::WriteFailed;
  SetRaw(typed.raw);
  return CommitOutcome::Changed;
}

bool BoundValue::LoadFromRecord(const RecordImage& image) {
  const int words = long_ ? 2 : 1;
  if (word_ < 0 || word_ + words > static_cast<int>(image.size())) {
    known_ = false;
    return false;
  }
  const int64_t limit = limit_;
  int64_t value = 0;
  if (long_) {
    // The low word is taken as it is, never sign-extended into the high half.
    const uint32_t bits = static_cast<uint32_t>(static_cast<uint16_t>(image[word_ + 1])) << 16 |
                          static_cast<uint16_t>(image[word_]);
    value = unsigned_ ? int64_t{bits} : int64_t{static_cast<int32_t>(bits)};
  } else {
    value = unsigned_ ? int64_t{static_cast<uint16_t>(image[word_])} : int64_t{image[word_]};
  }
  const bool accepted = unsigned_ ? (value >= 0 && value <= limit) : (value >= -limit && value <= limit);
  if (!accepted) {
    known_ = false;
    return false;
  }
  SetRaw(static_cast<uint32_t>(value));
  return true;
}

bool BoundValue::ReadFromDrive() {
  if (!objectMode_) return false;
  int32_t value = 0;
  if (!ReadObject(index_, subindex_, &value)) {
    known_ = false;
    return false;
  }
  SetRaw(static_cast<uint32_t>(value));
  return true;
}

}  // namespace axtune
