#include "controls/bound_codes.h"

#include <algorithm>

#include "link/drive_link.h"
#include "link/object_access.h"

namespace axtune {

void BoundCodes::SetCodes(int entryCount, std::span<const int16_t> codes) {
  const size_t n = static_cast<size_t>(std::max(entryCount, 0));
  codes_.assign(codes.begin(), codes.begin() + std::min(n, codes.size()));
}

int BoundCodes::EntryFor(int32_t value) const {
  for (int i = static_cast<int>(codes_.size()) - 1; i >= 0; --i) {
    if (codes_[static_cast<size_t>(i)] == value) return i;
  }
  return -1;
}

int BoundCodes::EntryFromRecord(const RecordImage& image) const {
  if (word_ < 0 || word_ >= static_cast<int>(image.size())) return -1;
  return EntryFor(image[static_cast<size_t>(word_)]);
}

int BoundCodes::EntryFromDrive() const {
  if (!objectMode_) return -1;
  int32_t value = 0;
  if (!ReadObject(index_, subindex_, &value)) return -1;
  return EntryFor(value);
}

int32_t BoundCodes::CodeOf(int entry) const {
  if (entry < 0 || entry >= static_cast<int>(codes_.size())) return 0;
  return codes_[static_cast<size_t>(entry)];
}

bool BoundCodes::HasDriveAddress() const {
  return objectMode_ || (record_ >= 0 && record_ < kIdentificationRecord);
}

bool BoundCodes::WriteEntry(int entry) const {
  const int16_t code = static_cast<int16_t>(CodeOf(entry));
  if (objectMode_) return WriteObject(index_, subindex_, size_, code);
  if (!HasDriveAddress()) return true;
  return WriteWords(record_, word_, static_cast<uint16_t>(code));
}

}  // namespace axtune
