// Arbitrary bytes as a parameter file. The first byte picks the drive's record count (0..127); the
// rest is the file. A file that is accepted must be exactly what the writer makes of its records
// and trailer, so nothing of it is read twice or left out.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "core/parameter_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int count = data[0] % (axtune::kMaxParameterRecords + 1);
  const uint8_t* file = data + 1;
  const size_t fileSize = size - 1;
  const axtune::ParsedParameterFile parsed = axtune::ParseParameterFile(file, fileSize, count);
  if (parsed.records.size() > static_cast<size_t>(count)) std::abort();
  if (parsed.format == axtune::ParameterFileFormat::Ok) {
    // Every record the drive has is there; a trailer of the usual layout, when found, sits right
    // behind them and the file is exactly records and trailer. Other trailers are only informative.
    if (parsed.records.size() != static_cast<size_t>(count)) std::abort();
    if (parsed.trailer) {
      if (parsed.savedRecordCount != count) std::abort();
      const std::vector<uint8_t> rebuilt = axtune::BuildParameterFile(parsed.records, *parsed.trailer);
      if (rebuilt.size() != fileSize || !std::equal(rebuilt.begin(), rebuilt.end(), file)) std::abort();
    } else if (parsed.savedRecordCount >= 0) {
      std::abort();  // a trailer at another record boundary refuses the file
    }
  }
  return 0;
}
