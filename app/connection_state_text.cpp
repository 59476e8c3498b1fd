#include "app/connection_state_text.h"

#include <cstdio>

#include "core/port_open_reason.h"
#include "link/port_slots.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextSimulatedDrive = 40023;
constexpr int kTextScanning = 40601;
constexpr int kTextConnecting = 40600;
constexpr int kTextCarrierWait = 40602;
constexpr int kTextNoDrive = 40603;
constexpr int kTextNoDriveAdvice = 40604;
constexpr int kTextOtherDevice = 40605;
constexpr int kTextNoPort = 40606;
constexpr int kTextNoPortAdvice = 40607;
constexpr int kTextNotPluggedIn = 55004;
constexpr int kTextNetworkPort = 55005;

std::string Format(int id, const std::string& text, int number = 0) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, Text(id), text.c_str(), number);
  return buffer;
}

std::string DeviceShown(int port) {
  const std::string device = ResolvePortDevice(PortSlotName(port));
  if (device.rfind("sim:", 0) == 0) return Text(kTextSimulatedDrive);
  return device;
}
}  // namespace

std::string PortLabel(int port) {
  const std::string device = DeviceShown(port);
  const std::string slot = "COM" + std::to_string(port);
  return device.empty() ? slot : slot + " (" + device + ")";
}

std::string PortItemText(int port) {
  const PortSlot info = PortSlotInfo(port);
  std::string text = info.label.empty() ? "COM" + std::to_string(port) : info.label;
  std::string what;
  if (info.device.rfind("sim:", 0) == 0) {
    what = Text(kTextSimulatedDrive);
  } else if (IsNetworkPortName(info.device)) {
    what = Format(kTextNetworkPort, info.device.substr(10));
  } else if (info.device.empty() && !info.key.empty()) {
    // An adapter the slot waits for.
    what = info.key + " (" + Text(kTextNotPluggedIn) + ")";
  } else if (!info.description.empty()) {
    what = info.description + " " + info.device;
  } else {
    what = info.device;
  }
  if (!what.empty()) text += " \xE2\x80\x94 " + what;
  // A maker's name with "&" in it is no mnemonic.
  std::string escaped;
  for (char c : text) escaped += c == '&' ? std::string("&&") : std::string(1, c);
  return escaped;
}

std::string ScanningText() {
  return Text(kTextScanning);
}

std::string ConnectingText(int port) {
  return Format(kTextConnecting, PortLabel(port));
}

std::string CarrierWaitText(int port) {
  return Format(kTextCarrierWait, PortLabel(port));
}

std::string NoDriveText(int port, bool answered, int deviceType) {
  const std::string first = answered ? Format(kTextOtherDevice, PortLabel(port), deviceType)
                                     : Format(kTextNoDrive, PortLabel(port));
  return first + "\n\n" + Text(kTextNoDriveAdvice);
}

std::string NoPortText(const std::string& reasons) {
  std::string text = Text(kTextNoPort);
  if (!reasons.empty()) text += "\n\n" + reasons;
  return text + "\n\n" + Text(kTextNoPortAdvice);
}

std::string PortFailureLine(int port, PortOpenError error, const std::string& osText) {
  std::string reason = PortOpenReason(error, ResolvePortDevice(PortSlotName(port)));
  if (reason.empty()) reason = osText;
  return PortLabel(port) + ": " + reason;
}

}  // namespace axtune
