// Reading and writing one named parameter on the connected drive, the way its page does: record
// words with WriteWords, objects with WriteObject, a flag by changing its bits in the whole word.
// A profile's objects address the profile that the selector (0x2022/5) names, so a write points the
// selector at the entry's profile first and puts it back afterwards: a page showing another profile
// keeps writing into its own.
#pragma once

#include <cstdint>

#include "core/parameter_dictionary.h"

namespace axtune {

// The raw value (as FormatUserValue takes it); false when the read failed.
bool ReadParameter(const ParamEntry& entry, uint32_t* raw);
// Writes the raw value; true when the drive took it.
bool WriteParameter(const ParamEntry& entry, uint32_t raw);

}  // namespace axtune
