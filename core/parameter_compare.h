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
#include "res/strings.h"

namespace axtune {

// Why a value could not be read from the drive: the drive's abort code, or else the link's error.
struct ReadFailure {
  uint32_t abortCode = 0;
  int linkError = 0;
  bool operator==(const ReadFailure&) const = default;
};
// "unreadable: the drive refused it (abort 0x06020000)", "unreadable: the drive did not answer".
std::string ReadFailureText(const ReadFailure& failure, Language language);

struct ParameterSet {
  std::string source;  // the file's path, or the drive's identification
  bool fromDrive = false;
  std::vector<RecordWords> records;               // records 0..count-1
  std::map<std::string, uint32_t> objects;        // raw values of object-only entries, by name (drive only)
  std::map<std::string, ReadFailure> unreadable;  // object-only entries the drive did not give, and why
  std::optional<ParameterFileTrailer> trailer;    // a file's: where, when and by whom it was saved
};

// A parameter file with the record count it was saved with (from its trailer; the drive's count
// when given and the trailer does not tell). False with the reason when the file cannot be read or
// is no parameter file.
bool LoadParameterSet(const std::string& path, int driveCount, ParameterSet& set, std::string& error);

// The connected drive: records 0..count-1 and every object-only value. False with the reason when
// a record read fails. An object the drive does not give (it refuses it, its answer is lost) does
// not end the read: it goes into `unreadable` with why, and the compare shows that row so.
bool ReadDriveParameterSet(ParameterRecordAccess& access, int count, ParameterSet& set, std::string& error);

// The raw value of an entry in a set; false when the set does not hold it.
bool RawInSet(const ParamEntry& entry, const ParameterSet& set, uint32_t* raw);

struct ParamDifference {
  ParamEntry entry;
  bool inA = false, inB = false;  // whether each set holds the value
  uint32_t rawA = 0, rawB = 0;
  std::vector<uint16_t> wordsA, wordsB;         // the record words behind the values (empty for objects)
  std::optional<ReadFailure> failedA, failedB;  // the drive did not give the value: nothing compared
  bool equal() const { return !failedA && !failedB && inA == inB && rawA == rawB && wordsA == wordsB; }
};

// The values that differ, by page in the dictionary's order, then other words. With `includeEqual`
// every named value both sets hold is listed too.
std::vector<ParamDifference> CompareParameterSets(const ParameterSet& a, const ParameterSet& b,
                                                  bool includeEqual = false);

}  // namespace axtune
