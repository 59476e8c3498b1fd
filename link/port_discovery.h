// What serial devices the machine has and what they are: USB adapters by their maker, product and
// serial number, built-in UARTs by their chip, each with its stable name under /dev/serial/by-id when
// the system gives one. The places looked at (the tty class in sysfs, the by-id folder, /dev) come
// from one setting, so tests point them at a made-up tree. POSIX only; on Windows nothing is found
// and the slots stay the COM ports of their number.
#pragma once

#include <string>
#include <vector>

namespace axtune {

struct PortDiscoveryRoots {
  std::string sysClassTty = "/sys/class/tty";
  std::string serialById = "/dev/serial/by-id";
  std::string dev = "/dev";
};

// The roots in use: those set by SetPortDiscoveryRoots, else AXTUNE_PORT_ROOT (a folder holding
// sys/class/tty, dev/serial/by-id and dev, for a made-up machine), else the system's.
PortDiscoveryRoots CurrentPortDiscoveryRoots();
// Puts the roots for this process; `roots` null goes back to the environment and the system.
void SetPortDiscoveryRoots(const PortDiscoveryRoots* roots);

struct SerialDeviceInfo {
  std::string device;        // the node to open: "/dev/ttyUSB0"
  std::string byIdName;      // "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"; empty when none
  std::string driver;        // "ftdi_sio", "cdc_acm", "serial8250"; empty when unknown
  std::string manufacturer;  // as the USB device reports them; empty when it does not
  std::string product;
  std::string serial;
  std::string vendorId;  // "0403"
  std::string productId;
  std::string uart;  // a built-in port's chip ("16550A")

  // "FT232R USB UART (A50285BI)", "16550A", or the by-id name of a device with nothing else known.
  std::string Description() const;
  // What a port slot remembers it by: the by-id name when there is one, else the device.
  std::string Key() const { return byIdName.empty() ? device : byIdName; }
  std::string ByIdPath() const;
};

// USB adapters (ttyUSB, then ttyACM, by number), devices only the by-id folder names (by name),
// then built-in UARTs that have a chip behind them (ttyS, by number).
std::vector<SerialDeviceInfo> DiscoverSerialDevices();

// The device a name stands for when it is a by-id path or a bare by-id name; empty otherwise.
std::string DeviceForByIdName(const std::string& name);

}  // namespace axtune
