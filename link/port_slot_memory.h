// The slots' memory as the program's memory file "Axtune.ini" keeps it: after the file's first
// line (the last port's digit), one "COMn=what" line for each slot that remembers something, what
// being an adapter's by-id name, a device, or a network address. Reading only: the GUI writes the
// lines with its memory-file settings; the command line reads them so that it names the slots
// alike.
#pragma once

#include <map>
#include <string>

namespace axtune {

// The memory file, in the working directory.
inline constexpr const char* kPortSlotMemoryFile = "Axtune.ini";

// "COM3", the setting's name for slot 3.
std::string PortSlotMemoryName(int slot);
// The slots' lines in a memory file's text; lines for other settings and bad slot numbers are left.
std::map<int, std::string> ParsePortSlotMemory(const std::string& text);
// The same from a file (nothing when it is missing); reads at most 64 KiB.
std::map<int, std::string> ReadPortSlotMemoryFile(const std::string& path);

}  // namespace axtune
