// A made-up machine for the port discovery: a tty class folder as sysfs lays it out, a
// /dev/serial/by-id folder and /dev, under a temporary folder. Adapters are added, pulled out and
// plugged back under another device name the way the kernel and udev would show it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "link/port_discovery.h"

namespace axtune::test {

struct FakeUsbAdapter {
  std::string tty;  // "ttyUSB0", "ttyACM0"
  std::string driver;
  std::string manufacturer;  // empty: the device reports none (no file)
  std::string product;
  std::string serial;
  std::string vendorId;
  std::string productId;
  std::string byId;  // the by-id link's name; empty for none
};

class FakePortTree {
 public:
  explicit FakePortTree(const std::filesystem::path& root) : root_(root) {
    namespace fs = std::filesystem;
    fs::create_directories(root_ / "sys/class/tty");
    fs::create_directories(root_ / "dev/serial/by-id");
  }
  PortDiscoveryRoots Roots() const {
    PortDiscoveryRoots roots;
    roots.sysClassTty = (root_ / "sys/class/tty").string();
    roots.serialById = (root_ / "dev/serial/by-id").string();
    roots.dev = (root_ / "dev").string();
    return roots;
  }
  std::string Dev(const std::string& tty) const { return (root_ / "dev" / tty).string(); }

  // A USB-serial converter (ttyUSB: the port sits two levels below the USB device) or an ACM
  // device (ttyACM: the interface is the tty's device). `node` is what /dev holds for it: a plain
  // file, or a link to a real terminal when the test wants to open it.
  void PlugUsb(const FakeUsbAdapter& a, const std::string& nodeTarget = {}) {
    namespace fs = std::filesystem;
    const bool acm = a.tty.rfind("ttyACM", 0) == 0;
    const fs::path usb = root_ / "sys/devices/usb1" / ("1-" + a.tty);
    const fs::path interface = usb / ("1-" + a.tty + ":1.0");
    const fs::path port = acm ? interface : interface / a.tty;
    fs::create_directories(port);
    Write(usb / "idVendor", a.vendorId);
    Write(usb / "idProduct", a.productId);
    if (!a.manufacturer.empty()) Write(usb / "manufacturer", a.manufacturer);
    if (!a.product.empty()) Write(usb / "product", a.product);
    if (!a.serial.empty()) Write(usb / "serial", a.serial);
    const fs::path driver = root_ / "sys/bus/usb/drivers" / a.driver;
    fs::create_directories(driver);
    fs::create_directory_symlink(driver, port / "driver");
    const fs::path cls = root_ / "sys/class/tty" / a.tty;
    fs::create_directories(cls);
    fs::create_directory_symlink(port, cls / "device");
    Node(a.tty, nodeTarget);
    if (!a.byId.empty()) fs::create_symlink("../../" + a.tty, root_ / "dev/serial/by-id" / a.byId);
  }
  // The adapter pulled out: its tty, its node and its by-id link go.
  void Unplug(const FakeUsbAdapter& a) {
    namespace fs = std::filesystem;
    fs::remove_all(root_ / "sys/devices/usb1" / ("1-" + a.tty));
    fs::remove_all(root_ / "sys/class/tty" / a.tty);
    fs::remove(root_ / "dev" / a.tty);
    if (!a.byId.empty()) fs::remove(root_ / "dev/serial/by-id" / a.byId);
  }
  // A built-in port; UART type 0 is a node without a chip behind it.
  void AddUart(const std::string& tty, int type) {
    namespace fs = std::filesystem;
    const fs::path device = root_ / "sys/devices/pnp0" / tty;
    fs::create_directories(device);
    const fs::path driver = root_ / "sys/bus/platform/drivers/serial8250";
    fs::create_directories(driver);
    fs::create_directory_symlink(driver, device / "driver");
    const fs::path cls = root_ / "sys/class/tty" / tty;
    fs::create_directories(cls);
    fs::create_directory_symlink(device, cls / "device");
    Write(cls / "type", std::to_string(type));
    Node(tty, {});
  }

 private:
  static void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text << '\n';
  }
  void Node(const std::string& tty, const std::string& target) {
    const std::filesystem::path node = root_ / "dev" / tty;
    if (target.empty()) {
      std::ofstream{node};
    } else {
      std::filesystem::create_symlink(target, node);
    }
  }
  std::filesystem::path root_;
};

// The adapters of the naming test, as their makers' chips report themselves.
inline FakeUsbAdapter FtdiAdapter(const std::string& tty = "ttyUSB0") {
  return {tty,        "ftdi_sio", "FTDI", "FT232R USB UART",
          "A50285BI", "0403",     "6001", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
}
inline FakeUsbAdapter Ch340Adapter(const std::string& tty = "ttyUSB1") {
  return {tty, "ch341-uart", "", "USB Serial", "", "1a86", "7523", "usb-1a86_USB_Serial-if00-port0"};
}
inline FakeUsbAdapter Cp210xAdapter(const std::string& tty = "ttyUSB2") {
  return {tty,
          "cp210x",
          "Silicon Labs",
          "CP2102 USB to UART Bridge Controller",
          "0001",
          "10c4",
          "ea60",
          "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0"};
}
inline FakeUsbAdapter AcmAdapter(const std::string& tty = "ttyACM0") {
  return {tty,
          "cdc_acm",
          "Arduino (www.arduino.cc)",
          "Arduino Uno",
          "85736323838351F0E1C1",
          "2341",
          "0043",
          "usb-Arduino__www.arduino.cc__Arduino_Uno_85736323838351F0E1C1-if00"};
}

}  // namespace axtune::test
