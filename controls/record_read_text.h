// The message a page shows when reading its record failed, chosen by the link's error code.
#pragma once

#include <string>

namespace axtune {

inline constexpr int kTextCannotReadData = 104;
inline constexpr int kTextWrongChecksum = 41150;
inline constexpr int kTextUnknownError = 41151;

// 1 (bad checksum) gives "wrong checksum", 2 (no reply) string 104, every other code "unkown error".
std::string RecordReadFailureText(int linkError);

}  // namespace axtune
