// What the main window says about its connection while it connects and when it has no drive: the
// line in the sheet area that tells a user what is going on during the blocking port scan, the
// carrier wait and the identification reads, and what to try when no drive answered. Plain texts in
// the current language, so tests read them without a window.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace axtune {

// "COM1 (/dev/ttyS0)", "COM1 (Simulated drive)", or "COM1" when the slot has no device.
std::string PortLabel(int port);
// The text of a port's menu item: "COM1 — FT232R USB UART (A50285BI) /dev/ttyUSB0",
// "COM3 — 16550A /dev/ttyS0", "COM5 — network 192.0.2.7:4001", "COM2 — usb-... (not plugged in)",
// or "COM1" when the slot has nothing ("&" doubled for the menu).
std::string PortItemText(int port);

std::string ScanningText();
std::string ConnectingText(int port);
std::string CarrierWaitText(int port);
// No supported drive on an open port: nothing answered, or a device of another type did.
std::string NoDriveText(int port, bool answered, int deviceType);
// No port open; `reasons` lists why ports failed (one per line, may be empty).
std::string NoPortText(const std::string& reasons);
// One line for a port that failed to open: "COM2 (/dev/ttyUSB0): <reason>".
std::string PortFailureLine(int port, PortOpenError error, const std::string& osText);

}  // namespace axtune
