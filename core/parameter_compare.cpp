#include "core/parameter_compare.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/parameter_access.h"
#include "link/drive_link.h"

namespace axtune {
namespace {

constexpr int kTextRefusedRead = 50002;  // "unreadable: the drive refused it (abort %1)"
constexpr int kTextNotAnswered = 50003;  // "unreadable: no answer from the drive"

// Whether a set agrees with the place the dictionary gives an object value in the records: a set
// read from a drive holds both, and a drive that keeps the value elsewhere shows it here.
bool StorageAgrees(const ParamEntry& entry, const ParameterSet& set) {
  const std::optional<ParamEntry> stored = AtStoredWords(entry);
  const auto object = set.objects.find(entry.name);
  if (!stored || object == set.objects.end() || stored->record >= static_cast<int>(set.records.size()))
    return true;
  uint32_t inRecord = 0;
  RawFromRecord(*stored, set.records[static_cast<size_t>(stored->record)].data(), &inRecord);
  return inRecord == object->second;
}

// The entry through which the records of both sets are read: the entry itself, an object value at
// the words where the drive keeps it (while no set contradicts that place), or nothing.
std::optional<ParamEntry> RecordView(const ParamEntry& entry, const ParameterSet& a, const ParameterSet& b) {
  if (entry.HasRecord()) return entry;
  if (StorageAgrees(entry, a) && StorageAgrees(entry, b)) return AtStoredWords(entry);
  return std::nullopt;
}

// The bits of a word that named entries account for in these two sets.
uint16_t CoveredBits(int record, int word, const ParameterSet& a, const ParameterSet& b) {
  uint16_t covered = 0;
  for (const ParamEntry* e : EntriesAtWord(record, word)) {
    if (!RecordView(*e, a, b)) continue;  // an object value the drive keeps elsewhere
    covered |= e->kind == ParamKind::Flag && e->mask != 0 ? e->mask : 0xFFFF;
  }
  return covered;
}

std::vector<uint16_t> WordsOf(const std::optional<ParamEntry>& view, const ParameterSet& set) {
  if (!view || view->record >= static_cast<int>(set.records.size())) return {};
  const RecordWords& r = set.records[static_cast<size_t>(view->record)];
  std::vector<uint16_t> words{r[static_cast<size_t>(view->word)]};
  if (view->isLong) words.push_back(r[static_cast<size_t>(view->word + 1)]);
  return words;
}

bool RawInSetThrough(const ParamEntry& entry, const std::optional<ParamEntry>& view, const ParameterSet& set,
                     uint32_t* raw) {
  if (!entry.HasRecord()) {
    auto it = set.objects.find(entry.name);
    if (it != set.objects.end()) {
      *raw = it->second;
      return true;
    }
  }
  if (!view || view->record >= static_cast<int>(set.records.size())) return false;
  return RawFromRecord(*view, set.records[static_cast<size_t>(view->record)].data(), raw);
}

}  // namespace

bool LoadParameterSet(const std::string& path, int driveCount, ParameterSet& set, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, bytes, error, kMaxParameterFileBytes)) return false;
  // The count the file was saved with follows from where its trailer starts.
  ParsedParameterFile parsed = ParseParameterFile(bytes.data(), bytes.size(), kMaxParameterRecords);
  if (parsed.format == ParameterFileFormat::BadIdentification) {
    error = Text(kTextUnknownFileFormat, Language::English);
    return false;
  }
  int count = parsed.savedRecordCount >= 0 ? parsed.savedRecordCount : driveCount;
  if (count <= 0) {
    error = "the file does not tell its record count (no trailer) and no drive is connected";
    return false;
  }
  parsed = ParseParameterFile(bytes.data(), bytes.size(), count);
  if (static_cast<int>(parsed.records.size()) < count) {
    error = "the file ends before its " + std::to_string(count) + " records";
    return false;
  }
  set.source = path;
  set.fromDrive = false;
  set.records.assign(parsed.records.begin(), parsed.records.begin() + count);
  set.objects.clear();
  set.trailer = parsed.trailer;
  return true;
}

bool ReadDriveParameterSet(ParameterRecordAccess& access, int count, ParameterSet& set, std::string& error) {
  RecordReadResult read = ReadParameterRecords(access, count);
  if (!read.ok) {
    error = read.countOutOfRange ? "the drive reports more records than a parameter set can hold"
                                 : "record " + std::to_string(read.failedRecord) + " could not be read";
    return false;
  }
  set.fromDrive = true;
  set.records = std::move(read.records);
  set.objects.clear();
  set.unreadable.clear();
  for (const ParamEntry& e : ParameterDictionary()) {
    if (e.HasRecord() || !e.HasObject()) continue;
    uint32_t raw = 0;
    ReadFailure failure;
    if (!ReadParameter(e, &raw, &failure.abortCode)) {
      failure.linkError = LinkError.load();
      set.unreadable[e.name] = failure;
      continue;
    }
    set.objects[e.name] = raw;
  }
  return true;
}

std::string ReadFailureText(const ReadFailure& failure, Language language) {
  if (failure.abortCode != 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(failure.abortCode));
    std::string text = Text(kTextRefusedRead, language);
    return text.replace(text.find("%1"), 2, code);
  }
  return Text(kTextNotAnswered, language);
}

bool RawInSet(const ParamEntry& entry, const ParameterSet& set, uint32_t* raw) {
  return RawInSetThrough(entry, RecordView(entry, set, set), set, raw);
}

std::vector<ParamDifference> CompareParameterSets(const ParameterSet& a, const ParameterSet& b,
                                                  bool includeEqual) {
  std::vector<ParamDifference> out;
  for (const ParamEntry& e : ParameterDictionary()) {
    ParamDifference d;
    d.entry = e;
    const std::optional<ParamEntry> view = RecordView(e, a, b);
    d.inA = RawInSetThrough(e, view, a, &d.rawA);
    d.inB = RawInSetThrough(e, view, b, &d.rawB);
    // A value the drive did not give is listed as such, not left out and not compared.
    if (auto it = a.unreadable.find(e.name); it != a.unreadable.end()) d.failedA = it->second;
    if (auto it = b.unreadable.find(e.name); it != b.unreadable.end()) d.failedB = it->second;
    if (d.failedA || d.failedB) {
      d.inA = d.inA && !d.failedA;
      d.inB = d.inB && !d.failedB;
      d.wordsA = WordsOf(view, a);
      d.wordsB = WordsOf(view, b);
      out.push_back(std::move(d));
      continue;
    }
    // A value only one side can hold (an object read from the drive, missing from a file) cannot be
    // compared; it is not a difference.
    if (!d.inA && !d.inB) continue;
    if (!e.HasRecord() && d.inA != d.inB) continue;
    d.wordsA = WordsOf(view, a);
    d.wordsB = WordsOf(view, b);
    const bool differs = d.inA != d.inB || d.rawA != d.rawB;
    if (differs || (includeEqual && d.inA && d.inB)) out.push_back(std::move(d));
  }
  // Words that differ in bits no named value covers.
  const size_t records = std::max(a.records.size(), b.records.size());
  for (size_t r = 0; r < records; ++r) {
    for (int w = 0; w < kRecordWords; ++w) {
      const bool inA = r < a.records.size(), inB = r < b.records.size();
      const uint16_t wa = inA ? a.records[r][static_cast<size_t>(w)] : 0;
      const uint16_t wb = inB ? b.records[r][static_cast<size_t>(w)] : 0;
      const uint16_t uncovered = static_cast<uint16_t>(~CoveredBits(static_cast<int>(r), w, a, b));
      if (inA == inB && ((wa ^ wb) & uncovered) == 0) continue;
      if (inA != inB && uncovered == 0) continue;  // the named values already say it
      ParamDifference d;
      d.entry = RawWordEntry(static_cast<int>(r), w);
      d.inA = inA;
      d.inB = inB;
      d.rawA = wa;
      d.rawB = wb;
      if (inA) d.wordsA = {wa};
      if (inB) d.wordsB = {wb};
      out.push_back(std::move(d));
    }
  }
  return out;
}

}  // namespace axtune
