// The parameter dictionary: every value that a page shows, by name. One entry says where the value
// lives (a record word or two, an object, or both), its width, sign, limit and scale, the unit and
// label in both languages (the page's own texts), the page and control that show it, and for lists
// the codes with their texts. The pages bind their controls from it; `axtune-cli get/set`, the
// compare and the report read it, so a name means the same thing everywhere.
//
// Words that no page shows have no entry; they stay reachable by the name "record-R-word-W"
// (see RawWordEntry).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "res/strings.h"

namespace axtune {

// The pages, in the order the property sheet shows them; Record is for words no page shows.
enum class ParamPage : uint8_t { Settings, Inputs, Outputs, Profiles, Homing, Record };

enum class ParamKind : uint8_t {
  Number,  // an edit field: raw = floor(value x scale + 0.5)
  List,    // a combo box: the word (or object) holds one of the item codes
  Flag,    // a check box or a two-way choice: the bits of `mask` in the word, 0 or 1
};

// The kind of control that shows the value on its page.
enum class ParamControl : uint8_t { Edit, ComboBox, CheckBox, Other };

struct ParamListItem {
  int32_t code;
  int textId;
};

struct ParamEntry {
  std::string name;  // ASCII, lower case with '-': "motor-current", "profile-3-velocity"
  ParamPage page = ParamPage::Record;
  ParamKind kind = ParamKind::Number;
  int controlId = 0;  // the control on its page (0: none)
  ParamControl control = ParamControl::Edit;
  int labelId = 0;  // string ids of the page's label and unit (0: none)
  int unitId = 0;
  int profile = -1;  // profile number for profile entries: objects then address it via the selector

  int record = -1;     // the record the value lives in, -1 when only an object reaches it
  int word = 0;        // its first word (a 32-bit value low word first)
  uint16_t index = 0;  // object; size 0 when it has none
  uint8_t subindex = 0;
  uint8_t size = 0;

  // For a value only an object reaches: the words of a parameter record where drives of this family
  // keep it, which is what a parameter file holds of it (-1: not known). Nothing documents this place,
  // so the compare trusts it only while a connected drive's object and record words agree.
  int storedRecord = -1;
  int storedWord = 0;

  bool isLong = false;  // 32-bit (two words) rather than 16-bit
  bool isSigned = false;
  uint32_t limit = 0xFFFF;  // upper raw limit; signed values also accept down to -limit
  double scale = 1.0;       // raw per user unit
  // The largest magnitude in user units any machine uses (0: the limit is that already); a value
  // beyond it but within the limit is written only after a question.
  double practical = 0;
  uint16_t mask = 0;  // Flag: the bits of the word; 0 means "the whole word, 0 or 1"
  std::vector<ParamListItem> items;

  bool HasRecord() const { return record >= 0; }
  bool HasObject() const { return size != 0; }
  bool HasStoredWords() const { return !HasRecord() && storedRecord >= 0; }
};

// Every entry, page by page in the order the page binds them; profiles 0..49 in turn.
const std::vector<ParamEntry>& ParameterDictionary();

// The entry of an ASCII name (case-insensitive, '_' taken as '-'); "record-R-word-W" gives a raw
// word entry for any parameter record R < 127 and word W < 15. Nullopt for an unknown name.
std::optional<ParamEntry> FindParameter(std::string_view name);

// The entry a control of a page is bound to (profile for the profiles page), or null.
const ParamEntry* FindControlEntry(ParamPage page, int controlId, int profile = -1);

// The entries that cover word `word` of record `record` (two for a flag word, for example), the
// object values kept in it included.
std::vector<const ParamEntry*> EntriesAtWord(int record, int word);

// An object value's entry moved to the record words where the drive keeps it (see storedRecord), so
// that RawFromRecord and PutRawInRecord reach it in a record; nullopt when that place is not known.
std::optional<ParamEntry> AtStoredWords(const ParamEntry& entry);

// A 16-bit raw word as an entry of its own, named "record-R-word-W".
ParamEntry RawWordEntry(int record, int word);

// The label in a language; profile entries begin with their profile ("Fahrauftrag 3: ...").
std::string ParameterLabel(const ParamEntry& entry, Language language);
std::string ParameterUnit(const ParamEntry& entry, Language language);
std::string PageTitle(ParamPage page, Language language);

// Conversion between user units and raw values, as the bound controls do it.
struct RawResult {
  bool ok = false;
  uint32_t raw = 0;
  std::string error;  // why not, naming the limit ("above the limit 7000 mA rms")
};
// Text in user units to raw: a number for Number entries, a code, a list text or its ASCII form for
// List entries, 0/1/on/off/yes/no for Flag entries. Out-of-limit values are refused.
RawResult ParseUserValue(const ParamEntry& entry, std::string_view text, Language language);
// The raw value as the user reads it: a number that converts back to the same raw value, the list
// text (or "? (code)"), or 0/1 for a flag.
std::string FormatUserValue(const ParamEntry& entry, uint32_t raw, Language language);
// The value as the page's field shows it (numbers to four significant digits, so 12288 at 163.83 per
// % reads "75" where FormatUserValue gives "75.005"); for reading, not for typing back.
std::string DisplayUserValue(const ParamEntry& entry, uint32_t raw, Language language);
// The value as a number in user units (raw / scale, signed as the entry says).
double UserNumber(const ParamEntry& entry, uint32_t raw);
// Whether a raw value lies beyond the entry's practical range (see `practical`).
bool BeyondPractical(const ParamEntry& entry, uint32_t raw);

// The raw value of an entry read from a record's words (15 words), and the words after putting a
// raw value in. False when the entry has no record location.
bool RawFromRecord(const ParamEntry& entry, const uint16_t* words, uint32_t* raw);
bool PutRawInRecord(const ParamEntry& entry, uint32_t raw, uint16_t* words);

// The ASCII form of a text ("Fahrsatz 2 tippen" -> "fahrsatz-2-tippen"), used for list values.
std::string AsciiName(std::string_view text);

}  // namespace axtune
