// Arbitrary bytes as "name.dat". Whatever the file holds, the reader takes at most the bytes a
// written file can have, returns two strings without zero bytes, and a file that holds both zero
// bytes within that limit is exactly what the writer makes of the two strings. The expert-mode check
// only ever cuts the company.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "core/user_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const axtune::UserEntry entry = axtune::ParseUserFile(data, size);
  const size_t limit = std::min(size, axtune::kUserFileReadLimit);
  if (entry.name.size() + entry.company.size() > limit) std::abort();
  if (entry.name.find('\0') != std::string::npos || entry.company.find('\0') != std::string::npos)
    std::abort();
  if (std::count(data, data + limit, uint8_t{0}) >= 2) {
    const std::vector<uint8_t> rebuilt = axtune::BuildUserFile(entry);
    if (rebuilt.size() > limit || !std::equal(rebuilt.begin(), rebuilt.end(), data)) std::abort();
  }
  const axtune::ExpertModeCheck check = axtune::CheckExpertMode(entry.company);
  if (entry.company.compare(0, check.shownCompany.size(), check.shownCompany) != 0) std::abort();
  if (!check.expert && check.shownCompany != entry.company) std::abort();
  return 0;
}
