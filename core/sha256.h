// SHA-256 of a byte string or a file, as lower-case hex: the update log and the commissioning report
// name a firmware file by it, so a line can prove which file went into a drive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace axtune {

std::string Sha256Hex(const uint8_t* data, size_t size);
// Empty when the file cannot be read or is no regular file; `size` receives its length in bytes.
std::string Sha256OfFile(const std::string& path, uint64_t* size = nullptr);

}  // namespace axtune
