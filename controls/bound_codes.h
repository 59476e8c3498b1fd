// The window-free half of a bound combo box: the code of each entry (signed 16-bit codes kept
// sign-extended as 32-bit numbers), where the choice lives (a record word and/or an object), which
// entry a drive value selects, and the write a selection sends. CAxtuneComboBox is the thin Qt
// widget over it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <vector>

#include "controls/bound_value.h"
#include "controls/record_image.h"

namespace axtune {

class BoundCodes {
 public:
  // Gives entry i the code codes[i], for the `entryCount` entries present (entries beyond the table
  // get no code and match nothing).
  void SetCodes(int entryCount, std::span<const int16_t> codes);
  void BindRecordWord(int record, int word) {
    record_ = static_cast<int16_t>(record);
    word_ = static_cast<int16_t>(word);
  }
  void BindObject(uint16_t index, uint8_t subindex, uint8_t size) {
    index_ = index;
    subindex_ = subindex;
    size_ = size;
    objectMode_ = true;
  }

  // The entry whose code equals `value` (the last one when several match), or -1.
  int EntryFor(int32_t value) const;
  // The entry that the image word at the word index selects (sign-extended), or -1.
  int EntryFromRecord(const RecordImage& image) const;
  // Object mode: the entry that the object's value selects; -1 when not in object mode, the read
  // failed or no entry matches.
  int EntryFromDrive() const;

  // The code of entry i (0 for an entry without one).
  int32_t CodeOf(int entry) const;
  // Writes the code of `entry` (taken as signed 16 bits): an object sign-extended, else one word.
  // True when the drive took it, or when there is no drive address to write to.
  bool WriteEntry(int entry) const;
  bool HasDriveAddress() const;

  bool IsObjectMode() const { return objectMode_; }
  uint16_t Index() const { return index_; }
  uint8_t Subindex() const { return subindex_; }
  uint8_t Size() const { return size_; }
  int Record() const { return record_; }
  int Word() const { return word_; }

 private:
  std::vector<int32_t> codes_;
  uint8_t size_ = 0;
  uint8_t subindex_ = 0;
  uint16_t index_ = 0;
  bool objectMode_ = false;
  int16_t word_ = 0;
  int16_t record_ = kNoRecord;
};

}  // namespace axtune
