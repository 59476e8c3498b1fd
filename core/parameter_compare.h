// Two parameter sets side by side, by name: a set is the records of a parameter file or of the
// connected drive (plus, from a drive, the values that only an object reaches). The compare walks
// the dictionary page by page and lists the values that differ, in user units and raw words; words
// that differ outside every named value follow as "record R word W". A value only an object reaches
// is read from a file at the words where the drive keeps it, unless a drive in the compare keeps it
// elsewhere (its object and those words disagree); then those words are compared as raw words.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/parameter_dictionary.h"
#include "core/parameter_file.h"

namespace axtune {

struct ParameterSet {
  std::string source;  // the file's path, or the drive's identification
  bool fromDrive = false;
  std::vector<RecordWords> records;             // records 0..count-1
  std::map<std::string, uint32_t> objects;      // raw values of object-only entries, by name (drive only)
  std::optional<ParameterFileTrailer> trailer;  // a file's: where, when and by whom it was saved
};

// A parameter file with the record count it was saved with (from its trailer; the drive's count
// when given and the trailer does not tell). False with the reason when the file cannot be read or
// is no parameter file.
bool LoadParameterSet(const std::string& path, int driveCount, ParameterSet& set, std::string& error);

// The connected drive: records 0..count-1 and every object-only value. False with the reason when
// a read fails.
bool ReadDriveParameterSet(ParameterRecordAccess& access, int count, ParameterSet& set, std::string& error);

// The raw value of an entry in a set; false when the set does not hold it.
bool RawInSet(const ParamEntry& entry, const ParameterSet& set, uint32_t* raw);

struct ParamDifference {
  ParamEntry entry;
  bool inA = false, inB = false;  // whether each set holds the value
  uint32_t rawA = 0, rawB = 0;
  std::vector<uint16_t> wordsA, wordsB;  // the record words behind the values (empty for objects)
  bool equal() const { return inA == inB && rawA == rawB && wordsA == wordsB; }
};

// The values that differ, by page in the dictionary's order, then other words. With `includeEqual`
// every named value both sets hold is listed too.
std::vector<ParamDifference> CompareParameterSets(const ParameterSet& a, const ParameterSet& b,
                                                  bool includeEqual = false);

}  // namespace axtune
