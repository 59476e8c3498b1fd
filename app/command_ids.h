// Command ids of the main window's menu and accelerators. Each action's objectName is its id.
#pragma once

namespace axtune {

inline constexpr int kCommandLoadParameters = 32771;
inline constexpr int kCommandStoreParameters = 32772;  // "Einstellungen speichern" / "Save Changes"
inline constexpr int kCommandUser = 32777;
inline constexpr int kCommandSaveParameters = 32778;
inline constexpr int kCommandFirmwareUpdate = 32790;
inline constexpr int kCommandFlashKernel = 32801;  // the flash kernel file of the firmware update
inline constexpr int kCommandHomepage = 32792;
inline constexpr int kCommandFeedback = 32793;
inline constexpr int kCommandTrend = 32950;     // View -> Trend (Ctrl+T)
inline constexpr int kCommandPortBase = 32824;  // + n for COMn, n = 1..12
inline constexpr int kCommandPortFirst = 32825;
inline constexpr int kCommandPortLast = 32836;
// Port Select -> Network Port... (a device server's host:port on a free slot)
inline constexpr int kCommandNetworkPort = 32837;
// Shows the status panel again after it was closed (expert mode only).
inline constexpr int kCommandStatusPanel = 32851;
inline constexpr int kCommandAbout = 57664;
inline constexpr int kCommandContextHelp = 57669;  // Shift+F1
inline constexpr int kCommandHelpTopics = 57670;   // F1

// The carrier watcher's request to identify the drive again.
inline constexpr int kNotifyCodeReidentify = 1025;

// Menu texts: popup titles, and 100000 + command id for the command captions.
inline constexpr int kTextMenuFile = 40001;
inline constexpr int kTextMenuPorts = 40002;
inline constexpr int kTextMenuHelp = 40003;
constexpr int CaptionTextId(int command) {
  return 100000 + command;
}

}  // namespace axtune
