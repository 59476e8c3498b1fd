// Arbitrary bytes as the option text a host hands to PRG_SetOptions. Whatever the text holds, every
// text option stays terminated within its field, the port name fits a text option, the rate is one
// the link can set and the boot-load window stays within its bounds. Parsing the same text twice
// gives the same record (no state outside the record).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "firmware/programmer/prg_options.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool terminated(const char* field) {
  return std::memchr(field, '\0', PRG_TEXT_OPTION_SIZE) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The C interface takes a NUL-terminated string: the text ends at the first zero byte.
  // The replay also passes no data at all (a null pointer with size 0).
  const char* chars = reinterpret_cast<const char*>(data);
  const std::string text = size == 0 ? std::string() : std::string(chars, strnlen(chars, size));
  PRG_Options options;
  std::memset(&options, 0, sizeof options);
  axtune::prg::ParseOptions(text, options);

  for (const char* field : {options.EmuBoardFileName, options.EmuProcessorName, options.PrgBootLoadFileName,
                            options.PrgEraseFileName, options.PrgProgrammingFileName,
                            options.PrgFlashDataFileName, options.PrgVerifyFileName, options.EmuPortName}) {
    check(terminated(field));
  }
  check(options.PrgSkipBootLoad <= 1);
  check(axtune::prg::ProgrammerPortName(options).size() < PRG_TEXT_OPTION_SIZE);
  const int rate = axtune::prg::ProgrammerBaudRate(options);
  check(rate >= 1200 && rate <= 115200 && 115200 % rate == 0);
  const int window = axtune::prg::BootLoadWindow(options);
  check(window >= 1 && window <= PRG_MAX_BOOT_LOAD_WINDOW);

  PRG_Options again;
  std::memset(&again, 0, sizeof again);
  axtune::prg::ParseOptions(text, again);
  check(std::memcmp(&options, &again, sizeof options) == 0);
  return 0;
}
