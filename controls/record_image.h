// The record image: a page's 15-word copy of its drive record, words signed as the drive keeps them.
#pragma once

#include <array>
#include <cstdint>

namespace axtune {

using RecordImage = std::array<int16_t, 15>;

}  // namespace axtune
