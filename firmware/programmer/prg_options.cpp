#include "firmware/programmer/prg_options.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace axtune::prg {
namespace {

enum class Kind { Hex, Decimal, Flag, Text };

struct Field {
  const char* key;
  Kind kind;
  size_t offset;
};

#define PRG_FIELD(name, kind) \
  { #name, Kind::kind, offsetof(PRG_Options, name) }
const Field kFields[] = {
    PRG_FIELD(EmulatorId, Hex),
    PRG_FIELD(EmuPortAddr, Hex),
    PRG_FIELD(EmuBaudRate, Decimal),
    PRG_FIELD(EmuBoardFileName, Text),
    PRG_FIELD(EmuProcessorName, Text),
    PRG_FIELD(PrgBootLoadFileName, Text),
    PRG_FIELD(PrgSkipBootLoad, Flag),
    PRG_FIELD(PrgEraseFileName, Text),
    PRG_FIELD(PrgEraseTimeout, Decimal),
    PRG_FIELD(PrgEraseOption1, Hex),
    PRG_FIELD(PrgEraseOption2, Hex),
    PRG_FIELD(PrgEraseOption3, Hex),
    PRG_FIELD(PrgEraseOption4, Hex),
    PRG_FIELD(PrgProgrammingFileName, Text),
    PRG_FIELD(PrgFlashDataFileName, Text),
    PRG_FIELD(PrgProgrammingTimeout, Decimal),
    PRG_FIELD(PrgProgrammingOption1, Hex),
    PRG_FIELD(PrgProgrammingOption2, Hex),
    PRG_FIELD(PrgProgrammingOption3, Hex),
    PRG_FIELD(PrgProgrammingOption4, Hex),
    PRG_FIELD(PrgVerifyFileName, Text),
    PRG_FIELD(PrgVerifyTimeout, Decimal),
    PRG_FIELD(PrgVerifyOption1, Hex),
    PRG_FIELD(PrgVerifyOption2, Hex),
    PRG_FIELD(PrgVerifyOption3, Hex),
    PRG_FIELD(PrgVerifyOption4, Hex),
    PRG_FIELD(EmuPortName, Text),
    PRG_FIELD(PrgBootLoadWindow, Decimal),
    PRG_FIELD(PrgKernelFileName, Text),
    PRG_FIELD(PrgBootBaudRate, Decimal),
    PRG_FIELD(PrgEraseSectorMask, Hex),
};
#undef PRG_FIELD

void Store(const Field& field, const std::string& value, PRG_Options& options) {
  char* base = reinterpret_cast<char*>(&options) + field.offset;
  switch (field.kind) {
    case Kind::Hex: {
      unsigned long parsed = 0;
      if (std::sscanf(value.c_str(), "%8lx", &parsed) == 1) {
        uint32_t v = static_cast<uint32_t>(parsed);
        std::memcpy(base, &v, sizeof v);
      }
      break;
    }
    case Kind::Decimal: {
      int parsed = 0;
      if (std::sscanf(value.c_str(), "%d", &parsed) == 1) {
        int32_t v = parsed;
        std::memcpy(base, &v, sizeof v);
      }
      break;
    }
    case Kind::Flag: {
      uint32_t v = value == "YES" ? 1u : 0u;
      std::memcpy(base, &v, sizeof v);
      break;
    }
    case Kind::Text: {
      std::memset(base, 0, PRG_TEXT_OPTION_SIZE);
      std::memcpy(base, value.data(), std::min<size_t>(value.size(), PRG_TEXT_OPTION_SIZE - 1));
      break;
    }
  }
}

}  // namespace

void ParseOptions(const std::string& text, PRG_Options& options) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (item.empty()) return;  // two commas in a row (or a trailing comma) end the list
    size_t equals = item.find('=');
    if (equals != std::string::npos) {
      std::string_view key(item.data(), equals);
      for (const Field& field : kFields) {
        if (key == field.key) {
          Store(field, item.substr(equals + 1), options);
          break;
        }
      }
    }
    if (comma == std::string::npos) return;
    start = comma + 1;
  }
}

std::string ProgrammerPortName(const PRG_Options& options) {
  if (options.EmuPortName[0] != '\0') {
    return std::string(options.EmuPortName, strnlen(options.EmuPortName, PRG_TEXT_OPTION_SIZE));
  }
  switch (options.EmuPortAddr) {
    case 0xC2:
      return "\\\\.\\COM2";
    case 0xC3:
      return "\\\\.\\COM3";
    case 0xC4:
      return "\\\\.\\COM4";
    default:
      return "\\\\.\\COM1";
  }
}

int BootLoadWindow(const PRG_Options& options) {
  return std::clamp<int32_t>(options.PrgBootLoadWindow, 1, PRG_MAX_BOOT_LOAD_WINDOW);
}

int ProgrammerBootBaudRate(const PRG_Options& options) {
  if (options.PrgBootBaudRate == 0) return ProgrammerBaudRate(options);
  PRG_Options boot{};
  boot.EmuBaudRate = options.PrgBootBaudRate;
  const int rate = ProgrammerBaudRate(boot);
  // A rate outside the table gives the kernel's rate, not 19200: the option then changes nothing.
  return rate == options.PrgBootBaudRate ? rate : ProgrammerBaudRate(options);
}

int ProgrammerBaudRate(const PRG_Options& options) {
  if (options.EmuBaudRate != 0) {
    switch (options.EmuBaudRate) {
      case 115200:
      case 57600:
      case 38400:
      case 19200:
      case 9600:
      case 4800:
      case 2400:
      case 1200:
        return options.EmuBaudRate;
      default:
        return 19200;
    }
  }
  switch (options.PrgEraseOption3) {
    case 1:
      return 57600;
    case 2:
      return 38400;
    case 3:
      return 19200;
    case 4:
      return 9600;
    case 5:
      return 4800;
    case 6:
      return 2400;
    case 7:
      return 1200;
    case 8:
      return 115200;
    default:
      return 19200;
  }
}

uint32_t BaudRateCode(int rate) {
  switch (rate) {
    case 57600:
      return 1;
    case 38400:
      return 2;
    case 19200:
      return 3;
    case 9600:
      return 4;
    case 4800:
      return 5;
    case 2400:
      return 6;
    case 1200:
      return 7;
    case 115200:
      return 8;
    default:
      return 0;
  }
}

}  // namespace axtune::prg
