// The window-free half of a bound edit field: where one numeric drive parameter lives (a word or
// two of a record, and/or an object), how its raw integer converts to the engineering value the
// user sees, which raw values are allowed, and the writes that a commit sends. CAxtuneEdit is the
// thin Qt widget over it; tests use this class directly.
//
// Binding calls each overwrite the limit, so their order matters (the last call wins):
//   BindRecordWord  record address only; width, sign and limit unchanged (fresh: 16-bit, 0xFFFF)
//   BindRecordLong  32-bit; limit 0x7FFFFFFF if signed at that moment, else 0xFFFFFFFF
//   BindObject      object mode; size 4 makes it 32-bit with limit 0xFFFFFFFF
//   SetSigned       limit 0x7FFFFFFF (32-bit) or 0x7FFF (16-bit)
//   SetLimit        the limit as given
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "controls/record_image.h"
#include "core/number_text.h"

namespace axtune {

// Scale factors of the pages (raw = engineering value x factor).
inline constexpr double kScaleVelocity = 838.8608;        // steps/s
inline constexpr double kScaleAcceleration = 0.04194304;  // steps/s^2
inline constexpr double kScalePercent = 163.83;           // 16383 = 100 %
inline constexpr double kScaleEncoderLines = 4;           // raw = 4 x lines

inline constexpr int kNoRecord = 128;  // the default record number: no writable record

// The display text of a raw value: at least 1000 as a rounded integer, from 0.1 four significant
// digits without trailing zeros, smaller values with four decimals, zero as "0".
std::string FormatFieldValue(uint32_t raw, bool isSigned, double scale);

class BoundValue {
 public:
  enum class CommitOutcome {
    Rejected,     // not a number or out of range: nothing written
    Unchanged,    // the value the drive already holds: nothing written, no notification
    Changed,      // written, new raw value stored: notify
    WriteFailed,  // the drive did not take it: stored value kept, no notification
  };

  // Binding.
  void BindRecordWord(int record, int word);
  void BindRecordLong(int record, int word);
  void BindObject(uint16_t index, uint8_t subindex, uint8_t size);
  void SetSigned();
  void SetLimit(uint32_t limit) { limit_ = limit; }
  void SetScale(double factor) { scale_ = factor; }

  // A raw value above this (0: none) is far beyond any machine although the word takes it; the
  // widget asks before it writes one.
  void SetPracticalLimit(uint32_t raw) { practical_ = raw; }
  uint32_t PracticalLimit() const { return practical_; }
  bool BeyondPractical(uint32_t raw) const;

  // Conversion of typed text (core/number_text.h, with the window language's decimal separator):
  // whether it is a number within the limit and the raw value it gives; why not when it is not.
  struct Typed {
    bool accepted = false;
    uint32_t raw = 0;
    NumberTextFault fault = NumberTextFault::None;  // None with !accepted: out of range
  };
  Typed Convert(std::string_view text) const;
  Typed Convert(std::string_view text, char separator) const;
  // Whether the value takes a fraction at all.
  bool TakesDecimals() const { return ScaleTakesDecimals(scale_); }

  // The engineering values a commit accepts, as display texts (with '.') that themselves commit
  // ("0", "7000"; "-2147483647" for a signed field): what a user is told after a rejected entry.
  std::string LowestText() const;
  std::string HighestText() const;

  // The stored raw value as display text.
  std::string Format() const { return FormatFieldValue(raw_, !unsigned_, scale_); }

  // Takes the value from the image at the word index when it lies within the limit (a 32-bit value
  // low word first). False leaves the stored value as it was; the field then shows "Invalid".
  bool LoadFromRecord(const RecordImage& image);
  // Object mode: reads the object and stores it without a range check. False when not in object
  // mode or the read failed; the stored value stays.
  bool ReadFromDrive();

  // Converts the text, writes an accepted value that differs from the one the drive holds (a value
  // read or written before; an unknown one is always written) and stores it when the drive took it.
  CommitOutcome Commit(std::string_view text);
  // True when a commit goes to the drive at all (an object, or a record below 128). A field with
  // neither stores and notifies without writing.
  bool HasDriveAddress() const;

  // Raw value as the drive holds it, and its reading per the sign.
  uint32_t Raw() const { return raw_; }
  int64_t Value() const { return unsigned_ ? int64_t{raw_} : int64_t{static_cast<int32_t>(raw_)}; }
  void SetRaw(uint32_t raw) {
    raw_ = raw;
    known_ = true;
  }
  // Whether raw_ is what the drive holds (read, loaded or written); a failed read forgets it.
  bool Known() const { return known_; }

  uint32_t Limit() const { return limit_; }
  double Scale() const { return scale_; }
  bool IsSigned() const { return !unsigned_; }
  bool IsLong() const { return long_; }
  bool IsObjectMode() const { return objectMode_; }
  uint16_t Index() const { return index_; }
  uint8_t Subindex() const { return subindex_; }
  uint8_t Size() const { return size_; }
  int Record() const { return record_; }
  int Word() const { return word_; }

 private:
  bool Write(uint32_t raw) const;

  uint32_t limit_ = 0xFFFF;
  uint32_t practical_ = 0;
  bool known_ = false;
  uint32_t raw_ = 0;
  bool objectMode_ = false;
  uint8_t size_ = 0;
  uint8_t subindex_ = 0;
  uint16_t index_ = 0;
  int16_t record_ = kNoRecord;
  int16_t word_ = 0;
  double scale_ = 1.0;
  bool unsigned_ = true;
  bool long_ = false;
};

}  // namespace axtune
