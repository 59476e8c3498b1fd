// What the user is told when a bound control's write did not reach the drive: which change, why
// (from the link's error code) and what the field shows now.
#pragma once

#include <string>

namespace axtune {

// linkOpen false: no drive connected. Otherwise the reason follows LinkError: 1 a garbled answer,
// 5..10 the drive refused it, anything else no (complete) answer.
std::string WriteFailureText(int linkError, bool linkOpen);

}  // namespace axtune
