// Port slots COM1..COM12. On Windows slot n is the device "\\.\COMn". On POSIX it is the device
// named by the environment variable AXTUNE_COM<n> when set, else the n-th real serial device found
// (/dev/ttyUSB*, /dev/ttyACM*, then /dev/ttyS* that have a UART behind them). A program may also put
// a device on a slot itself (the GUI's --simulate puts the in-process drive there).
#pragma once

#include <string>
#include <vector>

namespace axtune {

inline constexpr int kFirstPortSlot = 1;
inline constexpr int kLastPortSlot = 12;

struct PortSlot {
  int number = 0;      // 1..12
  std::string label;   // "COM3"
  std::string device;  // the device behind the slot; empty when the slot has none
};

// "\\.\COMn", the name the application builds for slot n.
std::string PortSlotName(int number);
// The slot number in "\\.\COMn" or "COMn" (1..12), or 0 for any other name.
int PortSlotNumber(const std::string& name);
// The device behind slot n (empty when none). Names that are not slot names map to themselves.
std::string ResolvePortDevice(const std::string& name);
// All twelve slots with their devices.
std::vector<PortSlot> ListPortSlots();
// Puts a device on a slot for this process (empty device: back to the default rule).
void SetPortSlotOverride(int number, const std::string& device);

}  // namespace axtune
