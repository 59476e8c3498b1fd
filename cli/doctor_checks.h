// What `axtune-cli doctor` checks on a Linux machine: the usual reasons why a USB-serial adapter or a
// serial device server does not work for a drive. Every check reads the system below one root
// directory ("/" for real; a prepared tree in the tests), so /sys, /proc, /dev, /etc, /run and the
// udev rule folders can all be faked. The user is passed in as well.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace axtune::cli {

enum class Severity { Ok, Warning, Problem };
const char* SeverityName(Severity severity);  // "ok", "warning", "problem"

struct Finding {
  std::string check;  // "access", "held", "modemmanager", "brltty", "latency", "rfc2217", "devices"
  Severity severity = Severity::Ok;
  std::string subject;  // the device or address it is about (empty: the system)
  std::string message;
  std::string fix;  // the command (or rule) that fixes it; empty when nothing is to do
};

struct DoctorUser {
  uint32_t uid = 0;
  std::string name;
  std::vector<uint32_t> groups;  // the process's groups (primary and supplementary), as the kernel sees them
};

struct DoctorSystem {
  std::filesystem::path root = "/";
  DoctorUser user;
  int ownPid = 0;  // left out when looking for processes that hold a port
};

// The serial devices to look at: `port` when given (a device path), else every /dev/ttyUSB* and
// /dev/ttyACM* below the root. Paths as the user writes them ("/dev/ttyUSB0").
std::vector<std::string> SerialDevicesToCheck(const DoctorSystem& system, const std::string& port);

// Read and write access of the user to the device, by its owner, group and mode.
Finding CheckAccess(const DoctorSystem& system, const std::string& device);
// Processes (other than this one) that have the device open, from /proc/*/fd.
Finding CheckHeld(const DoctorSystem& system, const std::string& device);
// ModemManager running while udev does not tell it to leave the USB adapters alone.
std::vector<Finding> CheckModemManager(const DoctorSystem& system, const std::vector<std::string>& devices);
// brltty installed with udev rules that claim CH34x and CP210x adapters.
Finding CheckBrltty(const DoctorSystem& system);
// An FTDI adapter's latency timer, and what a record exchange costs at each value.
Finding CheckLatency(const DoctorSystem& system, const std::string& device);
// Time of one record read at 38400 baud through an adapter whose latency timer is `latencyMs`.
double RecordExchangeMs(int latencyMs);

// An rfc2217:// address: does something answer, and does it take the COM port option?
Finding CheckRfc2217(const std::string& address, int waitMs);

// All checks for `port` (empty: every adapter found). `rfc2217WaitMs`: how long a device server
// may take to answer.
std::vector<Finding> RunDoctor(const DoctorSystem& system, const std::string& port, int rfc2217WaitMs = 3000);

// True when a finding blocks work with the drive.
bool Blocks(const std::vector<Finding>& findings);

}  // namespace axtune::cli
