#include "core/parameter_compare.h"

#include <algorithm>

#include "core/parameter_access.h"

namespace axtune {
namespace {

// The bits of a word that named entries account for.
uint16_t CoveredBits(int record, int word) {
  uint16_t covered = 0;
  for (const ParamEntry* e : EntriesAtWord(record, word))
    covered |= e->kind == ParamKind::Flag && e->mask != 0 ? e->mask : 0xFFFF;
  return covered;
}

std::vector<uint16_t> WordsOf(const ParamEntry& entry, const ParameterSet& set) {
  if (!entry.HasRecord() || entry.record >= static_cast<int>(set.records.size())) return {};
  const RecordWords& r = set.records[static_cast<size_t>(entry.record)];
  std::vector<uint16_t> words{r[static_cast<size_t>(entry.word)]};
  if (entry.isLong) words.push_back(r[static_cast<size_t>(entry.word + 1)]);
  return words;
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
  for (const ParamEntry& e : ParameterDictionary()) {
    if (e.HasRecord() || !e.HasObject()) continue;
    uint32_t raw = 0;
    if (!ReadParameter(e, &raw)) {
      error = e.name + " could not be read";
      return false;
    }
    set.objects[e.name] = raw;
  }
  return true;
}

bool RawInSet(const ParamEntry& entry, const ParameterSet& set, uint32_t* raw) {
  if (entry.HasRecord()) {
    if (entry.record >= static_cast<int>(set.records.size())) return false;
    return RawFromRecord(entry, set.records[static_cast<size_t>(entry.record)].data(), raw);
  }
  auto it = set.objects.find(entry.name);
  if (it == set.objects.end()) return false;
  *raw = it->second;
  return true;
}

std::vector<ParamDifference> CompareParameterSets(const ParameterSet& a, const ParameterSet& b,
                                                  bool includeEqual) {
  std::vector<ParamDifference> out;
  for (const ParamEntry& e : ParameterDictionary()) {
    ParamDifference d;
    d.entry = e;
    d.inA = RawInSet(e, a, &d.rawA);
    d.inB = RawInSet(e, b, &d.rawB);
    // A value only one side can hold (an object read from the drive, missing from a file) cannot be
    // compared; it is not a difference.
    if (!d.inA && !d.inB) continue;
    if (!e.HasRecord() && d.inA != d.inB) continue;
    d.wordsA = WordsOf(e, a);
    d.wordsB = WordsOf(e, b);
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
      const uint16_t uncovered = static_cast<uint16_t>(~CoveredBits(static_cast<int>(r), w));
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
