#include "sim/tool/console_commands.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace axtune::sim {

bool RunConsoleCommand(SimulatedDrive& drive, const std::string& line) {
  std::istringstream in(line);
  std::string command, argument;
  in >> command >> argument;
  if (command.empty()) return true;
  if (command == "quit" || command == "exit") return false;
  if (command == "power" && argument == "off") {
    drive.powerOff();
  } else if (command == "power" && argument == "on") {
    drive.powerOn();
  } else if (command == "power" && argument == "cycle") {
    drive.powerCycle();
  } else if (command == "unplug") {
    drive.unplug();
  } else if (command == "replug") {
    drive.replug();
  } else if (command == "fault") {
    if (argument == "undervoltage")
      drive.triggerFault(DriveFault::UnderVoltage);
    else if (argument == "overvoltage")
      drive.triggerFault(DriveFault::OverVoltage);
    else if (argument == "overtemperature")
      drive.triggerFault(DriveFault::OverTemperature);
    else if (argument == "following")
      drive.triggerFault(DriveFault::FollowingError);
    else if (argument == "blocked")
      drive.triggerFault(DriveFault::MotorBlocked);
    else
      std::fprintf(stderr, "unknown fault '%s'\n", argument.c_str());
  } else if (command == "volts" && !argument.empty()) {
    drive.setSupplyVolts(std::atof(argument.c_str()));
  } else if (command == "ambient" && !argument.empty()) {
    drive.setAmbientCelsius(std::atof(argument.c_str()));
  } else if (command == "stop") {
    drive.setStopSwitch(argument == "on");
  } else if (command == "switch") {
    // "switch lower|upper|reference|stop on|off|auto": a switch pressed, released, or left to the
    // mechanics again.
    std::string state;
    in >> state;
    const char* names[] = {"lower", "upper", "reference", "stop"};
    int function = 0;
    for (int i = 0; i < 4; ++i)
      if (argument == names[i]) function = i + 1;
    if (function == 0 || (state != "on" && state != "off" && state != "auto")) {
      std::fprintf(stderr, "usage: switch lower|upper|reference|stop on|off|auto\n");
    } else {
      drive.forceSwitch(static_cast<uint16_t>(function),
                        state == "auto" ? std::nullopt : std::optional<bool>(state == "on"));
    }
  } else if (command == "status") {
    const DriveSnapshot s = drive.snapshot();
    std::printf(
        "position %d  velocity %.0f  statusword 0x%04X  state %u  error %u  motion %u  referenced %u  "
        "%s%s%s\n",
        s.position, s.velocity, s.statusword, s.deviceState, s.errorNumber, s.motionState, s.referenced,
        s.firmwareRunning ? "firmware" : "boot loader", s.powered ? "" : "  off",
        s.plugged ? "" : "  unplugged");
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "unknown command '%s' (see --help)\n", line.c_str());
  }
  return true;
}

bool ConsoleInput::pump(SimulatedDrive& drive) {
  if (fd_ < 0) return true;
  char chunk[256];
  const ssize_t n = ::read(fd_, chunk, sizeof chunk);
  if (n <= 0) {
    fd_ = -1;  // end of the console input: keep serving
    return true;
  }
  pending_.append(chunk, static_cast<size_t>(n));
  bool keepGoing = true;
  for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
    const std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (handler_ && handler_(line)) continue;
    if (!RunConsoleCommand(drive, line)) keepGoing = false;
  }
  return keepGoing;
}

}  // namespace axtune::sim
