// Which port to take at start-up: the scan's findings per port and the memory file "Axtune.ini" in
// the working directory, whose first byte is the port; the firmware update's rate follows on its
// own line ("FlashBaud=115200"), which a reader of the first byte alone never sees. No Qt, no I/O
// beyond the memory file.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

namespace axtune {

inline constexpr const char* kPortMemoryFile = "Axtune.ini";

struct PortProbe {
  bool usable = false;   // the port opened
  bool carrier = false;  // and showed carrier while open
};
// Index n = port n (1..12); index 0 is unused.
using PortProbes = std::array<PortProbe, 13>;

// The highest usable port with carrier; without any carrier the highest usable port; 0 when none.
int CarrierPort(const PortProbes& probes);

// The port the remembered number names when it is 1..12 and usable, else the carrier port.
// 0 when no port is usable at all.
int ChoosePreferredPort(const PortProbes& probes, int rememberedPort);

// The remembered number: the file's first byte as a decimal digit; a non-digit, an empty file or a
// missing file give 0.
int ReadPortMemory(const std::string& path = kPortMemoryFile);

// Creates the file or replaces its first byte with the first decimal digit of `port` (10..12 give
// '1'); the settings after it (below) stay. False when the file could not be written (the caller
// ignores it).
bool WritePortMemory(int port, const std::string& path = kPortMemoryFile);

// Settings after the port byte, one "name=value" a line from the first line end on (a file that is
// only the port byte, as older versions wrote it, has none). Empty when the name is not there.
std::string ReadMemorySetting(const std::string& name, const std::string& path = kPortMemoryFile);
// Sets (an empty value removes) one setting and keeps the port byte and the other settings.
bool WriteMemorySetting(const std::string& name, const std::string& value,
                        const std::string& path = kPortMemoryFile);
inline constexpr const char* kFlashKernelSetting = "FlashKernel";
inline constexpr const char* kFlashBaudSetting = "FlashBaud";

// The firmware update's remembered kernel rate from the "FlashBaud=" line; `fallback` when there is
// none or it names no rate the programmer takes.
int ReadUpdateBaudMemory(int fallback, const std::string& path = kPortMemoryFile);
// Writes the "FlashBaud=" line, keeping the port byte and the other settings.
bool WriteUpdateBaudMemory(int baud, const std::string& path = kPortMemoryFile);

// Whether the firmware update compares the flash word by word after programming: the setting
// "UpdateReadBack=1". False when the file or the setting is missing.
inline constexpr const char* kUpdateReadBackSetting = "UpdateReadBack";
bool ReadUpdateReadBack(const std::string& path = kPortMemoryFile);
bool WriteUpdateReadBack(bool on, const std::string& path = kPortMemoryFile);

// The slots' memory ("COM1=usb-FTDI_..." lines, read by ReadPortSlotMemoryFile): writes the lines
// that differ from the file's and removes those of slots that no longer remember anything.
bool WritePortSlotMemory(const std::map<int, std::string>& memory, const std::string& path = kPortMemoryFile);

// The network ports used last ("host:port"), the latest first, at most kNetworkPortHistory of them,
// on the line "NetworkPorts=a;b;c".
inline constexpr const char* kNetworkPortsSetting = "NetworkPorts";
inline constexpr size_t kNetworkPortHistory = 5;
std::vector<std::string> ReadNetworkPortHistory(const std::string& path = kPortMemoryFile);
// Puts `hostPort` first (once) and drops the oldest beyond the history's length.
bool RememberNetworkPortUse(const std::string& hostPort, const std::string& path = kPortMemoryFile);

}  // namespace axtune
