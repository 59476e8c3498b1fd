// Option text parsing ("Key=value,Key=value") and the port name and rate the options select.
#pragma once

#include <string>

#include "firmware/programmer/flash_programmer.h"

namespace axtune::prg {

// Parses the text into the record. Stops at the first empty item; ignores items without "=" and
// unknown keys (exact, case-sensitive comparison).
void ParseOptions(const std::string& text, PRG_Options& options);

// "\\.\COM1".."\\.\COM4" by "EmuPortAddr", or "EmuPortName" when that is not empty.
std::string ProgrammerPortName(const PRG_Options& options);
// The rate by "EmuBaudRate", or by the code in "PrgEraseOption3" when that is 0.
int ProgrammerBaudRate(const PRG_Options& options);
// The code of a rate in the table of "PrgEraseOption3" (8 for 115200, 3 for 19200); 0 for a rate the
// table does not have.
uint32_t BaudRateCode(int rate);
// The boot ROM's rate by "PrgBootBaudRate"; the kernel's rate when that is 0 or not a rate of the table.
int ProgrammerBootBaudRate(const PRG_Options& options);
// The boot-load window by "PrgBootLoadWindow": 1 for anything below 2, at most PRG_MAX_BOOT_LOAD_WINDOW.
int BootLoadWindow(const PRG_Options& options);

}  // namespace axtune::prg
