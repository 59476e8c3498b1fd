#include "core/parameter_dictionary.h"

#include "core/number_text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef AXTUNE_HAVE_CONTROLS_CORE
#include "controls/bound_value.h"
#endif

namespace axtune {
namespace {

// Raw per user unit, as the pages scale their fields.
constexpr double kVelocity = 838.8608;
constexpr double kAcceleration = 0.04194304;
// What a stepper motor can do at most, with generous margin: 3000 rpm at 200 full steps and 256
// microsteps per revolution is 2.56 million steps/s, reached within 25 ms.
constexpr double kPracticalVelocity = 3000000;
constexpr double kPracticalAcceleration = 100000000;
constexpr double kPercent = 163.83;

// Texts of the dictionary's own (labels that the pages split over two controls or leave unsaid).
constexpr int kTextProfile = 49100;
constexpr int kTextIdleLevel = 49101;
constexpr int kTextWaitActive = 49103;
constexpr int kTextNextNumber = 49104;
constexpr int kTextPositionMode = 49105;
constexpr int kTextRawWord = 49106;
constexpr int kTextOtherWords = 49115;
constexpr int kTextOff = 49120;
constexpr int kTextOn = 49121;
constexpr int kTextMaxCurrent = 44274;

std::vector<ParamListItem> Items(std::initializer_list<std::pair<int32_t, int>> list) {
  std::vector<ParamListItem> items;
  for (const auto& [code, text] : list) items.push_back({code, text});
  return items;
}

ParamEntry Number(std::string name, ParamPage page, int control, int label, int unit) {
  ParamEntry e;
  e.name = std::move(name);
  e.page = page;
  e.controlId = control;
  e.labelId = label;
  e.unitId = unit;
  return e;
}
ParamEntry& AtRecord(ParamEntry& e, int record, int word) {
  e.record = record;
  e.word = word;
  return e;
}
ParamEntry& AtObject(ParamEntry& e, uint16_t index, uint8_t sub, uint8_t size) {
  e.index = index;
  e.subindex = sub;
  e.size = size;
  if (size == 4) {
    e.isLong = true;
    e.limit = 0xFFFFFFFF;
  }
  return e;
}
// Where the drive keeps an object value in its parameter records.
ParamEntry& StoredAt(ParamEntry& e, int record, int word) {
  e.storedRecord = record;
  e.storedWord = word;
  return e;
}
ParamEntry& Long(ParamEntry& e) {
  e.isLong = true;
  e.limit = 0xFFFFFFFF;
  return e;
}
ParamEntry& Signed(ParamEntry& e) {
  e.isSigned = true;
  e.limit = e.isLong ? 0x7FFFFFFF : 0x7FFF;
  return e;
}

void AddSettings(std::vector<ParamEntry>& d) {
  constexpr auto P = ParamPage::Settings;
  ParamEntry e = Number("motor-current", P, 1174, 44174, 44674);
  StoredAt(AtObject(e, 0x6075, 0, 4), 2, 0).limit = 7000;
  d.push_back(e);
  e = Number("idle-current-level", P, 1175, kTextIdleLevel, 44675);
  StoredAt(AtObject(e, 0x2061, 0, 2), 2, 2).limit = 0x3FFF;
  e.scale = kPercent;
  d.push_back(e);
  e = Number("step-resolution", P, 1251, 44251, 44751);
  d.push_back(StoredAt(AtObject(e, 0x6510, 1, 2), 2, 6));
  e = Number("emergency-deceleration", P, 1176, 44176, 44676);
  StoredAt(AtObject(e, 0x6085, 0, 4), 2, 8).scale = kAcceleration;
  d.push_back(e);
  e = Number("start-stop-velocity", P, 1177, 44177, 44677);
  StoredAt(AtObject(e, 0x6058, 1, 4), 2, 10).scale = kVelocity;
  d.push_back(e);
  e = Number("idle-current-delay", P, 1252, 44252, 44752);
  AtRecord(e, 2, 5).limit = 3000;
  d.push_back(e);
  e = Number("encoder-lines", P, 1178, 44265, 44266);
  AtRecord(e, 2, 14).scale = 4;
  d.push_back(e);
  const struct {
    const char* name;
    int control, word;
    uint16_t mask;
  } checks[] = {{"invert-rotation", 1106, 7, 0}, {"smoothing", 1108, 3, 0}, {"invert-enable", 1107, 4, 1}};
  for (const auto& c : checks) {
    e = Number(c.name, P, c.control, 44000 + c.control - 1000, 0);
    e.kind = ParamKind::Flag;
    e.control = ParamControl::CheckBox;
    e.mask = c.mask;
    e.limit = 1;
    d.push_back(AtRecord(e, 2, c.word));
  }
}

void AddInputs(std::vector<ParamEntry>& d) {
  constexpr auto P = ParamPage::Inputs;
  const int functionTexts[] = {32806, 32790, 32791, 32798, 32799, 32800, 32801, 32802,
                               32803, 32805, 32807, 32821, 32822, 32823, 32824};
  std::vector<ParamListItem> functions;
  for (int code = 0; code < 15; ++code) functions.push_back({code, functionTexts[code]});
  for (int i = 0; i < 10; ++i) {
    ParamEntry e = Number("input-de" + std::to_string(i + 1), P, 1253 + i, 44253 + i, 0);
    e.kind = ParamKind::List;
    e.control = ParamControl::ComboBox;
    e.items = functions;
    d.push_back(AtRecord(e, 3, i));
  }
  const struct {
    const char* name;
    int control, word;
    std::vector<ParamListItem> items;
  } fixed[] = {{"input-enable", 1263, 10, Items({{0, 32806}, {10, 32807}})},
               {"input-step", 1264, 11, Items({{0, 121}})},
               {"input-direction", 1237, 12, Items({{0, 122}})}};
  for (const auto& f : fixed) {
    ParamEntry e = Number(f.name, P, f.control, 44000 + f.control - 1000, 0);
    e.kind = ParamKind::List;
    e.control = ParamControl::ComboBox;
    e.items = f.items;
    d.push_back(AtRecord(e, 3, f.word));
  }
}

void AddOutputs(std::vector<ParamEntry>& d) {
  constexpr auto P = ParamPage::Outputs;
  const int functionIds[] = {1269, 1270, 1271, 1272};
  const int currentIds[] = {1274, 1275, 1276, 1278};
  for (int n = 0; n < 4; ++n) {
    const std::string da = "output-da" + std::to_string(n + 1);
    ParamEntry e = Number(da, P, functionIds[n], 44000 + functionIds[n] - 1000, 0);
    e.kind = ParamKind::List;
    e.control = ParamControl::ComboBox;
    e.items = Items({{0, 32806}, {1, 123}, {2, 124}, {3, 125}, {4, 126}});
    d.push_back(AtRecord(e, 4, n));
    e = Number(da + "-current", P, currentIds[n], 44000 + functionIds[n] - 1000, kTextMaxCurrent);
    e.kind = ParamKind::List;
    e.control = ParamControl::ComboBox;
    e.items = Items({{0, 44290}, {1, 44291}, {2, 44292}, {3, 44293}});
    d.push_back(AtRecord(e, 4, n + 4));
  }
  ParamEntry e = Number("output-enabled", P, 1273, 44273, 0);
  e.kind = ParamKind::List;
  e.control = ParamControl::ComboBox;
  e.items = Items({{2, 124}});
  d.push_back(AtRecord(e, 4, 8));
}

void AddProfile(std::vector<ParamEntry>& d, int n) {
  constexpr auto P = ParamPage::Profiles;
  const int record = 14 + n;
  const std::string prefix = "profile-" + std::to_string(n) + "-";
  auto add = [&](ParamEntry e) {
    e.profile = n;
    d.push_back(std::move(e));
  };
  ParamEntry e = Number(prefix + "position", P, 1217, 57671, 47242);
  AtRecord(e, record, 0);
  AtObject(e, 0x2022, 1, 4);
  add(Signed(e));
  e = Number(prefix + "velocity", P, 1218, 47001, 47241);
  AtRecord(e, record, 2);
  AtObject(e, 0x2022, 2, 4).scale = kVelocity;
  add(e);
  e = Number(prefix + "acceleration", P, 1235, 47262, 47109);
  AtRecord(e, record, 4);
  AtObject(e, 0x6083, 0, 4).scale = kAcceleration;
  add(e);
  e = Number(prefix + "deceleration", P, 1236, 47263, 47109);
  AtRecord(e, record, 6);
  AtObject(e, 0x6084, 0, 4).scale = kAcceleration;
  add(e);
  e = Number(prefix + "waiting-time", P, 1222, 47002, 47003);
  AtRecord(e, record, 9);
  add(AtObject(e, 0x2022, 11, 2));
  e = Number(prefix + "next", P, 1229, kTextNextNumber, 0);
  AtRecord(e, record, 10);
  AtObject(e, 0x2022, 10, 2).limit = 49;
  e.control = ParamControl::Other;  // an up-down
  add(e);
  // The flag word (0x2022/3) carries the mode and the chaining: one entry per control.
  const struct {
    const char* name;
    int control, label;
    uint16_t mask;
    std::vector<ParamListItem> items;
  } flags[] = {
      {"relative", 1226, kTextPositionMode, 0x0001, Items({{0, 47225}, {1, 47226}})},
      {"next-active", 1227, 47004, 0x0008, {}},
      {"waiting-active", 1228, kTextWaitActive, 0x0080, {}},
      {"without-stop", 1230, 47230, 0x0010, {}},
      {"next-velocity", 1231, 47005, 0x0100, Items({{0, 32785}, {1, 32786}})},
      {"si-units", 1240, 47240, 0x2000, {}},
  };
  for (const auto& f : flags) {
    e = Number(prefix + f.name, P, f.control, f.label, 0);
    e.kind = ParamKind::Flag;
    e.control = f.items.empty() ? ParamControl::CheckBox : ParamControl::Other;
    e.mask = f.mask;
    e.limit = 1;
    e.items = f.items;
    AtRecord(e, record, 8);
    AtObject(e, 0x2022, 3, 2);
    add(e);
  }
}

void AddHoming(std::vector<ParamEntry>& d) {
  constexpr auto P = ParamPage::Homing;
  ParamEntry e = Number("homing-method", P, 1236, 48000, 0);
  e.kind = ParamKind::List;
  e.control = ParamControl::ComboBox;
  e.items = Items({{35, 32789},
                   {17, 32790},
                   {18, 32791},
                   {24, 32792},
                   {25, 32795},
                   {29, 32796},
                   {28, 32797},
                   {250, 32808},
                   {251, 32809}});
  StoredAt(AtObject(e, 0x6098, 0, 1), 64, 0).limit = 0xFF;
  d.push_back(e);
  e = Number("homing-velocity", P, 1238, 47001, 47241);
  StoredAt(AtObject(e, 0x2024, 3, 4), 64, 2).scale = kVelocity;
  d.push_back(e);
  e = Number("homing-acceleration", P, 1235, 47262, 47109);
  Long(AtRecord(e, 64, 4)).scale = kAcceleration;
  d.push_back(e);
  e = Number("homing-deceleration", P, 1222, 47263, 47109);
  Long(AtRecord(e, 64, 6)).scale = kAcceleration;
  d.push_back(e);
  e = Number("homing-position", P, 1241, 48002, 47242);
  d.push_back(Signed(StoredAt(AtObject(e, 0x2024, 6, 4), 64, 8)));
  e = Number("homing-current", P, 1243, 48003, 48004);
  StoredAt(AtObject(e, 0x2024, 7, 2), 64, 10).limit = 0x3FFF;
  e.scale = kPercent;
  d.push_back(e);
  e = Number("homing-max-distance", P, 1242, 48258, 47242);
  d.push_back(StoredAt(AtObject(e, 0x2024, 8, 4), 64, 11));
}

std::vector<ParamEntry> Build() {
  std::vector<ParamEntry> d;
  AddSettings(d);
  AddInputs(d);
  AddOutputs(d);
  for (int n = 0; n < 50; ++n) AddProfile(d, n);
  AddHoming(d);
  // Velocities and ramps: the 32-bit word reaches far beyond any stepper motor (5 million steps/s,
  // 100 billion steps/s^2); a value above the practical range is asked about before it is written.
  for (ParamEntry& e : d) {
    if (e.kind != ParamKind::Number) continue;
    if (e.scale == kVelocity) e.practical = kPracticalVelocity;
    if (e.scale == kAcceleration) e.practical = kPracticalAcceleration;
  }
  return d;
}

std::string Normalised(std::string_view name) {
  std::string out;
  for (char c : name) out += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Parses the digits of "record-R-word-W".
bool ParseRawName(const std::string& name, int* record, int* word) {
  int r = -1, w = -1, used = 0;
  if (std::sscanf(name.c_str(), "record-%d-word-%d%n", &r, &w, &used) != 2) return false;
  if (static_cast<size_t>(used) != name.size()) return false;
  if (r < 0 || r >= 127 || w < 0 || w >= 15) return false;
  *record = r;
  *word = w;
  return true;
}

unsigned Shift(uint16_t mask) {
  unsigned s = 0;
  while (mask != 0 && (mask & 1u) == 0) {
    mask >>= 1;
    ++s;
  }
  return s;
}

std::string Trimmed(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

// The number in user units with the fewest decimals that still converts back to the same raw
// value (without a limit check, so the limit itself can be shown this way).
std::string NumberText(const ParamEntry& entry, uint32_t raw) {
  const double value = UserNumber(entry, raw);
  const double exact = entry.isSigned ? value * entry.scale : static_cast<double>(raw);
  char text[48];
  for (int decimals = 0; decimals <= 6; ++decimals) {
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    if (std::floor(std::strtod(text, nullptr) * entry.scale + 0.5) == std::round(exact)) return text;
  }
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

std::string LimitText(const ParamEntry& entry, double value, Language language) {
  std::string unit = ParameterUnit(entry, language);
  const std::string number = NumberText(entry, static_cast<uint32_t>(value));
  return unit.empty() ? number : number + " " + unit;
}

}  // namespace

const std::vector<ParamEntry>& ParameterDictionary() {
  static const std::vector<ParamEntry> dictionary = Build();
  return dictionary;
}

std::optional<ParamEntry> FindParameter(std::string_view name) {
  const std::string key = Normalised(name);
  for (const ParamEntry& e : ParameterDictionary())
    if (e.name == key) return e;
  int record = 0, word = 0;
  if (ParseRawName(key, &record, &word)) return RawWordEntry(record, word);
  return std::nullopt;
}

const ParamEntry* FindControlEntry(ParamPage page, int controlId, int profile) {
  for (const ParamEntry& e : ParameterDictionary())
    if (e.page == page && e.controlId == controlId && e.profile == profile) return &e;
  return nullptr;
}

std::vector<const ParamEntry*> EntriesAtWord(int record, int word) {
  std::vector<const ParamEntry*> found;
  for (const ParamEntry& e : ParameterDictionary()) {
    const int r = e.HasStoredWords() ? e.storedRecord : e.record;
    const int first = e.HasStoredWords() ? e.storedWord : e.word;
    if (r != record) continue;
    if (word == first || (e.isLong && word == first + 1)) found.push_back(&e);
  }
  return found;
}

std::optional<ParamEntry> AtStoredWords(const ParamEntry& entry) {
  if (!entry.HasStoredWords()) return std::nullopt;
  ParamEntry e = entry;
  e.record = entry.storedRecord;
  e.word = entry.storedWord;
  return e;
}

ParamEntry RawWordEntry(int record, int word) {
  ParamEntry e;
  e.name = "record-" + std::to_string(record) + "-word-" + std::to_string(word);
  e.page = ParamPage::Record;
  e.control = ParamControl::Other;
  e.labelId = kTextRawWord;
  e.record = record;
  e.word = word;
  return e;
}

std::string ParameterLabel(const ParamEntry& entry, Language language) {
  if (entry.page == ParamPage::Record && entry.labelId == kTextRawWord) {
    char text[96];
    std::snprintf(text, sizeof text, Text(kTextRawWord, language), entry.record, entry.word);
    return text;
  }
  std::string label = Text(entry.labelId, language);
  // A current list stands under the column heading beside its output's row label.
  if (entry.unitId == kTextMaxCurrent) label += std::string(" ") + Text(kTextMaxCurrent, language);
  if (entry.profile >= 0) {
    return std::string(Text(kTextProfile, language)) + " " + std::to_string(entry.profile) + ": " + label;
  }
  return label;
}

std::string ParameterUnit(const ParamEntry& entry, Language language) {
  if (entry.unitId == 0 || entry.unitId == kTextMaxCurrent) return {};
  return Text(entry.unitId, language);
}

std::string PageTitle(ParamPage page, Language language) {
  // The pages' own titles; the words no page shows get a heading of their own.
  constexpr int kTitles[] = {40149, 40164, 40165, 40150, 40151, kTextOtherWords};
  return Text(kTitles[static_cast<int>(page)], language);
}

double UserNumber(const ParamEntry& entry, uint32_t raw) {
  double value = raw;
  if (entry.isSigned) value = entry.isLong ? static_cast<int32_t>(raw) : static_cast<int16_t>(raw);
  return value / entry.scale;
}

bool BeyondPractical(const ParamEntry& entry, uint32_t raw) {
  return entry.practical > 0 && std::abs(UserNumber(entry, raw)) > entry.practical;
}

std::string FormatUserValue(const ParamEntry& entry, uint32_t raw, Language language) {
  if (entry.kind == ParamKind::Flag) {
    if (!entry.items.empty()) {
      for (const ParamListItem& item : entry.items)
        if (static_cast<uint32_t>(item.code) == raw) return Text(item.textId, language);
    }
    return Text(raw != 0 ? kTextOn : kTextOff, language);
  }
  if (entry.kind == ParamKind::List) {
    const int32_t code =
        entry.isSigned || entry.size == 1 ? static_cast<int32_t>(raw) : static_cast<int16_t>(raw);
    for (const ParamListItem& item : entry.items)
      if (item.code == code || static_cast<uint32_t>(item.code) == raw) return Text(item.textId, language);
    return "? (" + std::to_string(raw) + ")";
  }
  return NumberText(entry, raw);
}

std::string DisplayUserValue(const ParamEntry& entry, uint32_t raw, Language language) {
#ifdef AXTUNE_HAVE_CONTROLS_CORE
  if (entry.kind == ParamKind::Number) return FormatFieldValue(raw, entry.isSigned, entry.scale);
#endif
  return FormatUserValue(entry, raw, language);
}

RawResult ParseUserValue(const ParamEntry& entry, std::string_view input, Language language) {
  RawResult result;
  const std::string text = Trimmed(input);
  if (entry.kind == ParamKind::List || (entry.kind == ParamKind::Flag && !entry.items.empty())) {
    const std::string key = AsciiName(text);
    for (const ParamListItem& item : entry.items) {
      for (Language l : {language, Language::German, Language::English}) {
        if (AsciiName(Text(item.textId, l)) == key) {
          result.ok = true;
          result.raw = static_cast<uint32_t>(item.code);
          return result;
        }
      }
    }
  }
  if (entry.kind == ParamKind::Flag) {
    const std::string key = AsciiName(text);
    for (const char* on : {"1", "on", "yes", "true", "ein", "ja"})
      if (key == on) return {true, 1, {}};
    for (const char* off : {"0", "off", "no", "false", "aus", "nein"})
      if (key == off) return {true, 0, {}};
    result.error = "expects 0 or 1 (off or on)";
    return result;
  }
  // The same reading as the window's fields (with the point, whatever the language), so one text
  // gives one value or is refused alike everywhere.
  const bool decimals = entry.kind == ParamKind::Number && ScaleTakesDecimals(entry.scale);
  const NumberReading reading = ReadNumberText(text, '.', decimals, entry.page == ParamPage::Record);
  if (!reading.value || !std::isfinite(*reading.value)) {
    result.error = reading.value ? "is not a number" : NumberFaultText(reading.fault);
    return result;
  }
  const double value = *reading.value;
  if (entry.kind == ParamKind::List) {
    for (const ParamListItem& item : entry.items) {
      if (static_cast<double>(item.code) == value) {
        result.ok = true;
        result.raw = static_cast<uint32_t>(item.code);
        return result;
      }
    }
    result.error = "is not one of the list's codes";
    return result;
  }
  const double scaled = std::floor(value * entry.scale + 0.5);
  const double upper = entry.limit;
  const double lower = entry.isSigned ? -upper : 0.0;
  if (scaled > upper) {
    result.error = "lies above the limit " + LimitText(entry, upper, language);
    return result;
  }
  if (scaled < lower) {
    result.error = "lies below the limit " +
                   (entry.isSigned ? "-" + LimitText(entry, upper, language) : LimitText(entry, 0, language));
    return result;
  }
  result.ok = true;
  result.raw = static_cast<uint32_t>(static_cast<int64_t>(scaled));
  if (!entry.isLong) result.raw &= 0xFFFF;
  return result;
}

bool RawFromRecord(const ParamEntry& entry, const uint16_t* words, uint32_t* raw) {
  if (!entry.HasRecord()) return false;
  uint32_t value = words[entry.word];
  if (entry.isLong && entry.word + 1 < 15) value |= uint32_t{words[entry.word + 1]} << 16;
  if (entry.kind == ParamKind::Flag) {
    value = entry.mask == 0 ? (value != 0 ? 1 : 0) : (value & entry.mask) >> Shift(entry.mask);
  }
  *raw = value;
  return true;
}

bool PutRawInRecord(const ParamEntry& entry, uint32_t raw, uint16_t* words) {
  if (!entry.HasRecord()) return false;
  if (entry.kind == ParamKind::Flag) {
    uint16_t& word = words[entry.word];
    if (entry.mask == 0) {
      word = raw != 0 ? 1 : 0;
    } else {
      word = static_cast<uint16_t>((word & ~entry.mask) | ((raw << Shift(entry.mask)) & entry.mask));
    }
    return true;
  }
  words[entry.word] = static_cast<uint16_t>(raw);
  if (entry.isLong && entry.word + 1 < 15) words[entry.word + 1] = static_cast<uint16_t>(raw >> 16);
  return true;
}

std::string AsciiName(std::string_view text) {
  std::string out;
  bool dash = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // A view, not a string: mingw's g++ 12 flags the small-string copy as maybe-uninitialized.
    const char lower = static_cast<char>(std::tolower(c));
    std::string_view piece;
    if (std::isalnum(c)) {
      piece = std::string_view(&lower, 1);
    } else if (c == 0xC3 && i + 1 < text.size()) {
      // German letters of UTF-8 in their usual ASCII forms.
      const unsigned char n = static_cast<unsigned char>(text[++i]);
      piece = n == 0xA4 || n == 0x84   ? "ae"
              : n == 0xB6 || n == 0x96 ? "oe"
              : n == 0xBC || n == 0x9C ? "ue"
              : n == 0x9F              ? "ss"
                                       : "";
    }
    if (c == '\'') continue;  // "task's" stays one word
    if (piece.empty()) {
      dash = !out.empty();
      continue;
    }
    if (dash) out += '-';
    dash = false;
    out += piece;
  }
  return out;
}

}  // namespace axtune
