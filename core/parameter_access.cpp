#include "core/parameter_access.h"

#include "link/drive_link.h"
#include "link/object_access.h"

namespace axtune {
namespace {

constexpr uint16_t kProfileObject = 0x2022;
constexpr uint8_t kProfileSelector = 5;

uint32_t ObjectRaw(const ParamEntry& entry, int32_t value) {
  const auto raw = static_cast<uint32_t>(value);
  if (entry.size == 1) return raw & 0xFF;
  if (entry.size == 2) return raw & 0xFFFF;
  return raw;
}

// Points the selector at the entry's profile for the life of the object; puts back the profile it
// named before, when that could be read and differs.
class ProfileSelection {
 public:
  explicit ProfileSelection(const ParamEntry& entry) : profile_(entry.profile) {
    if (profile_ < 0) return;
    int32_t before = 0;
    if (ReadObject(kProfileObject, kProfileSelector, &before)) before_ = before;
    ok_ = WriteObject(kProfileObject, kProfileSelector, 2, profile_);
  }
  ~ProfileSelection() {
    if (profile_ >= 0 && before_ >= 0 && before_ != profile_)
      WriteObject(kProfileObject, kProfileSelector, 2, before_);
  }
  ProfileSelection(const ProfileSelection&) = delete;
  ProfileSelection& operator=(const ProfileSelection&) = delete;
  bool ok() const { return ok_; }

 private:
  int profile_;
  int32_t before_ = -1;
  bool ok_ = true;
};

bool WriteRecordValue(const ParamEntry& entry, uint32_t value) {
  if (!WriteWords(entry.record, entry.word, static_cast<uint16_t>(value))) return false;
  return !entry.isLong || WriteWords(entry.record, entry.word + 1, static_cast<uint16_t>(value >> 16));
}

}  // namespace

bool ReadParameter(const ParamEntry& entry, uint32_t* raw, uint32_t* abortCode) {
  if (abortCode != nullptr) *abortCode = 0;
  if (entry.HasRecord()) {
    uint16_t words[kRecordWords];
    if (!ReadRecord(entry.record, words)) return false;
    return RawFromRecord(entry, words, raw);
  }
  if (!entry.HasObject()) return false;
  ProfileSelection selection(entry);
  int32_t value = 0;
  if (!selection.ok()) return false;
  if (!ReadObject(entry.index, entry.subindex, &value)) {
    // Taken now: putting the selector back is an object request of its own.
    if (abortCode != nullptr) *abortCode = LastObjectAbortCode();
    return false;
  }
  *raw = ObjectRaw(entry, value);
  return true;
}

bool WriteParameter(const ParamEntry& entry, uint32_t raw, uint32_t* abortCode) {
  if (abortCode != nullptr) *abortCode = 0;
  uint32_t value = raw;
  if (entry.kind == ParamKind::Flag) {
    // The other bits of the word stay as the drive holds them.
    uint16_t words[kRecordWords];
    if (!entry.HasRecord() || !ReadRecord(entry.record, words)) return false;
    PutRawInRecord(entry, raw, words);
    value = words[entry.word];
  }
  if (!entry.HasObject()) return WriteRecordValue(entry, value);
  ProfileSelection selection(entry);
  if (!selection.ok()) return false;
  const bool written = WriteObject(entry.index, entry.subindex, entry.size, static_cast<int32_t>(value));
  if (!written && abortCode != nullptr) *abortCode = LastObjectAbortCode();
  return written;
}

}  // namespace axtune
