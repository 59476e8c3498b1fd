// Reading and writing one named parameter on the connected drive, the way its page does: record
// words with WriteWords, objects with WriteObject, a flag by changing its bits in the whole word.
// A profile's objects address the profile that the selector (0x2022/5) names, so a write points the
// selector at the entry's profile first and puts it back afterwards: a page showing another profile
// keeps writing into its own.
#pragma once

#include <cstdint>

#include "core/parameter_dictionary.h"

namespace axtune {

// The raw value (as FormatUserValue takes it); false when the read failed. When the drive refused it
// with an abort, `abortCode` (if given) gets the abort code; otherwise 0.
bool ReadParameter(const ParamEntry& entry, uint32_t* raw, uint32_t* abortCode = nullptr);
// Writes the raw value; true when the drive answered and did not refuse (read it back to know what it
// holds). A refusal puts its abort code into `abortCode` (if given); otherwise 0.
bool WriteParameter(const ParamEntry& entry, uint32_t raw, uint32_t* abortCode = nullptr);

}  // namespace axtune
