// Port slots COM1..COM12. On Windows slot n is the device "\\.\COMn". On POSIX a slot holds, in this
// order: a device the program put there itself (the GUI's --simulate puts the in-process drive
// there), the device named by the environment variable AXTUNE_COM<n>, what the slot remembers (a
// network address, or an adapter by its by-id name: the same adapter keeps its slot across
// unplugging, re-plugging under another device name, and restarts), and otherwise a serial device
// found that no slot remembers, on the first free slot (which then remembers it).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace axtune {

inline constexpr int kFirstPortSlot = 1;
inline constexpr int kLastPortSlot = 12;

struct PortSlot {
  int number = 0;           // 1..12
  std::string label;        // "COM3"
  std::string device;       // the device behind the slot; empty when the slot has none now
  std::string description;  // what is plugged in: "FT232R USB UART (A50285BI)", "16550A"; may be empty
  std::string key;          // what the slot remembers: a by-id name, a device, a network address
  std::string byIdPath;     // "/dev/serial/by-id/usb-..." when the device has one
};

// "\\.\COMn", the name the application builds for slot n.
std::string PortSlotName(int number);
// The slot number in "\\.\COMn" or "COMn" (1..12), or 0 for any other name.
int PortSlotNumber(const std::string& name);
// The device behind slot n (empty when none). A by-id path or name gives the device it points at;
// other names map to themselves.
std::string ResolvePortDevice(const std::string& name);
// All twelve slots with their devices. Devices that no slot remembered yet are given free slots.
std::vector<PortSlot> ListPortSlots();
// One slot as ListPortSlots gives it.
PortSlot PortSlotInfo(int number);
// Puts a device on a slot for this process (empty device: back to the default rule).
void SetPortSlotOverride(int number, const std::string& device);

// What the slots remember (slot -> by-id name, device or network address). The program loads it
// from its memory file at start and saves it when it changed; ListPortSlots adds what it gives out.
void SetPortSlotMemory(const std::map<int, std::string>& memory);
std::map<int, std::string> PortSlotMemory();
// Puts a network address ("rfc2217://host:port") on a slot: the one that already remembers it, else
// the first free one, else the first whose adapter is not plugged in. 0 when every slot is taken.
int RememberNetworkPort(const std::string& url);
// Whether a name is a network port's ("rfc2217://...").
bool IsNetworkPortName(const std::string& name);

}  // namespace axtune
