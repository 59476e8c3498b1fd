// The doctor's checks of the devices themselves: which ones, the user's access, who holds them; and
// the whole run. The system services (ModemManager, brltty), the latency timer and the network
// check are in doctor_services.cpp.
#include "cli/doctor_checks.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <utility>

#include "cli/doctor_internal.h"
#include "link/port_slots.h"
#include "link/rfc2217_serial_port.h"

namespace axtune::cli {

namespace fs = std::filesystem;

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::Ok:
      return "ok";
    case Severity::Warning:
      return "warning";
    case Severity::Problem:
      return "problem";
  }
  return "problem";
}

fs::path UnderRoot(const DoctorSystem& system, const std::string& absolute) {
  std::string relative = absolute;
  while (!relative.empty() && relative.front() == '/') relative.erase(relative.begin());
  return system.root / relative;
}

std::string ReadFirstLine(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  if (!file || !std::getline(file, line)) return {};
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\n')) line.pop_back();
  return line;
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<ProcessInfo> ListProcesses(const DoctorSystem& system) {
  std::vector<ProcessInfo> processes;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(UnderRoot(system, "/proc"), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    ProcessInfo process;
    process.pid = std::atoi(name.c_str());
    process.command = ReadFirstLine(entry.path() / "comm");
    processes.push_back(process);
  }
  std::sort(processes.begin(), processes.end(),
            [](const ProcessInfo& a, const ProcessInfo& b) { return a.pid < b.pid; });
  return processes;
}

namespace {

struct Group {
  std::string name;
  std::vector<std::string> members;
};

// /etc/group: name:password:gid:member,member
std::map<uint32_t, Group> ReadGroups(const DoctorSystem& system) {
  std::map<uint32_t, Group> groups;
  std::ifstream file(UnderRoot(system, "/etc/group"));
  std::string line;
  while (std::getline(file, line)) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, ':')) fields.push_back(field);
    if (line.size() > 0 && line.back() == ':') fields.emplace_back();
    if (fields.size() < 3 || fields[2].empty() ||
        !std::all_of(fields[2].begin(), fields[2].end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    Group group;
    group.name = fields[0];
    if (fields.size() > 3) {
      std::stringstream members(fields[3]);
      std::string member;
      while (std::getline(members, member, ',')) {
        if (!member.empty()) group.members.push_back(member);
      }
    }
    groups[static_cast<uint32_t>(std::stoul(fields[2]))] = group;
  }
  return groups;
}

bool Contains(const std::vector<uint32_t>& values, uint32_t value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

bool InGroupNamed(const DoctorSystem& system, const std::map<uint32_t, Group>& groups,
                  const std::string& name) {
  for (const auto& [gid, group] : groups) {
    if (group.name != name) continue;
    return Contains(system.user.groups, gid) ||
           std::find(group.members.begin(), group.members.end(), system.user.name) != group.members.end();
  }
  return false;
}

// The descriptors of a process: number -> what it points to.
std::vector<std::pair<std::string, std::string>> OpenFiles(const DoctorSystem& system, int pid,
                                                           bool& hidden) {
  std::vector<std::pair<std::string, std::string>> files;
  std::error_code listError;
  fs::directory_iterator it(UnderRoot(system, "/proc/" + std::to_string(pid) + "/fd"), listError);
  if (listError) {
    hidden = hidden || listError == std::errc::permission_denied;
    return files;
  }
  for (const fs::directory_entry& fd : it) {
    std::error_code linkError;
    const std::string target = fs::read_symlink(fd.path(), linkError).string();
    if (!linkError) files.emplace_back(fd.path().filename().string(), target);
  }
  return files;
}

// The terminal index a pseudo-terminal master descriptor serves ("tty-index:" in its fdinfo), -1
// when it does not say.
int PtyIndex(const DoctorSystem& system, int pid, const std::string& fd) {
  std::ifstream info(UnderRoot(system, "/proc/" + std::to_string(pid) + "/fdinfo/" + fd));
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("tty-index:", 0) == 0) return std::atoi(line.c_str() + 10);
  }
  return -1;
}

std::string ProcessList(const std::vector<ProcessInfo>& processes) {
  std::string text;
  for (const ProcessInfo& p : processes)
    text += (text.empty() ? "" : ", ") + ("process " + std::to_string(p.pid) + " (" + p.command + ")");
  return text;
}

std::string OctalMode(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

// The groups that distributions give serial ports to; another group (root, a user's own) is a
// wrong group for one, and joining it would not be the fix.
bool IsSerialGroup(const std::string& name) {
  return name == "dialout" || name == "uucp" || name == "serial";
}

// /etc/passwd: name:password:uid:...
std::string UserName(const DoctorSystem& system, uint32_t uid) {
  std::ifstream file(UnderRoot(system, "/etc/passwd"));
  std::string line;
  while (std::getline(file, line)) {
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    const size_t third = second == std::string::npos ? second : line.find(':', second + 1);
    if (third == std::string::npos) continue;
    if (line.substr(second + 1, third - second - 1) == std::to_string(uid)) return line.substr(0, first);
  }
  return uid == 0 ? "root" : std::to_string(uid);
}

// "read and write for its owner root only", "... for its owner root and group dialout", ...
std::string WhoMayUse(unsigned mode, const std::string& owner, const std::string& group) {
  std::vector<std::string> who;
  if ((mode & 0600) == 0600) who.push_back("its owner " + owner);
  if ((mode & 060) == 060) who.push_back("group " + group);
  if ((mode & 06) == 06) who.push_back("everyone");
  if (who.empty()) return "read and write for nobody";
  std::string text = "read and write for " + who[0];
  for (size_t i = 1; i < who.size(); ++i) text += (i + 1 == who.size() ? " and " : ", ") + who[i];
  return who.size() == 1 && who[0] != "everyone" ? text + " only" : text;
}

}  // namespace

std::vector<std::string> SerialDevicesToCheck(const DoctorSystem& system, const std::string& port) {
  if (!port.empty()) return {port};
  std::vector<std::string> devices;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(UnderRoot(system, "/dev"), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0) devices.push_back("/dev/" + name);
  }
  std::sort(devices.begin(), devices.end());
  return devices;
}

Finding CheckAccess(const DoctorSystem& system, const std::string& device) {
  Finding f{"access", Severity::Ok, device, {}, {}};
  struct stat info {};
  if (::stat(UnderRoot(system, device).c_str(), &info) != 0) {
    f.severity = Severity::Problem;
    f.message = device + " does not exist";
    f.fix =
        "plug the adapter in and look for it with: ls -l /dev/ttyUSB* /dev/ttyACM*; 'sudo dmesg | tail' "
        "shows whether the kernel saw it (and whether brltty took it)";
    return f;
  }
  const DoctorUser& user = system.user;
  const std::map<uint32_t, Group> groups = ReadGroups(system);
  const auto group = groups.find(info.st_gid);
  const std::string groupName = group != groups.end() ? group->second.name : std::to_string(info.st_gid);
  const bool groupCanUse = (info.st_mode & 060) == 060;
  if (user.uid == 0) {
    f.message = "read and write access (as root)";
    return f;
  }
  const bool ownerCan = info.st_uid == user.uid && (info.st_mode & 0600) == 0600;
  const bool groupCan = groupCanUse && Contains(user.groups, info.st_gid);
  const bool otherCan = (info.st_mode & 06) == 06;
  if (ownerCan || groupCan || otherCan) {
    f.message =
        "read and write access" + (groupCan && !ownerCan ? " through group " + groupName : std::string());
    return f;
  }
  f.severity = Severity::Problem;
  const bool listed = group != groups.end() &&
                      std::find(group->second.members.begin(), group->second.members.end(), user.name) !=
                          group->second.members.end();
  const bool serialGroup = IsSerialGroup(groupName);
  if (groupCanUse && serialGroup && listed) {
    f.message = user.name + " is in group " + groupName + " (which may use " + device +
                "), but this login started before that was added";
    f.fix = "log out and in again (or run 'newgrp " + groupName + "' in this shell)";
  } else if (groupCanUse && serialGroup) {
    f.message =
        "no access: " + device + " belongs to group " + groupName + " and " + user.name + " is not a member";
    f.fix = "sudo usermod -aG " + groupName + " " + user.name + ", then log out and in again";
  } else {
    // The device's group or mode is wrong for a serial port: a udev rule gives it the serial
    // group at every plug-in (a chmod would last until the next one).
    f.message = "no access: " + device + " has mode " + OctalMode(info.st_mode) + " (" +
                WhoMayUse(info.st_mode, UserName(system, info.st_uid), groupName) + ")";
    f.fix = std::string(
                "echo 'SUBSYSTEM==\"tty\", KERNEL==\"ttyUSB[0-9]*|ttyACM[0-9]*\", GROUP=\"dialout\", "
                "MODE=\"0660\"' | sudo tee /etc/udev/rules.d/70-axtune-serial.rules && sudo udevadm "
                "control --reload && sudo udevadm trigger") +
            (InGroupNamed(system, groups, "dialout")
                 ? std::string()
                 : "; then sudo usermod -aG dialout " + user.name + " and log out and in again");
  }
  return f;
}

Finding CheckHeld(const DoctorSystem& system, const std::string& device) {
  Finding f{"held", Severity::Ok, device, "no other process has it open", {}};
  // A name such as /dev/serial/by-id/... is a link: a process holds the device it points to.
  std::vector<std::string> names = {device};
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(UnderRoot(system, device), ec);
  if (!ec) {
    const fs::path relative = resolved.lexically_relative(fs::weakly_canonical(system.root, ec));
    if (!relative.empty() && relative.native().rfind("..", 0) != 0) names.push_back("/" + relative.string());
  }
  // A pseudo-terminal's own server (qmx-sim, a device server's client) holds its master side, and
  // usually the terminal too: it belongs there. Anyone else on the terminal takes the drive's bytes.
  int ptyIndex = -1;
  for (const std::string& name : names) {
    if (name.rfind("/dev/pts/", 0) == 0 && name.size() > 9 &&
        std::all_of(name.begin() + 9, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      ptyIndex = std::atoi(name.c_str() + 9);
  }
  bool hidden = false;
  std::vector<ProcessInfo> holders;
  std::optional<ProcessInfo> server;
  for (const ProcessInfo& process : ListProcesses(system)) {
    if (process.pid == system.ownPid) continue;
    bool holds = false;
    for (const auto& [fd, target] : OpenFiles(system, process.pid, hidden)) {
      if (std::find(names.begin(), names.end(), target) != names.end()) holds = true;
      if (ptyIndex >= 0 && (target == "/dev/ptmx" || target == "/dev/pts/ptmx") &&
          PtyIndex(system, process.pid, fd) == ptyIndex)
        server = process;
    }
    if (holds && !(server && server->pid == process.pid)) holders.push_back(process);
  }
  // The server may have been listed before its master descriptor was seen.
  if (server) {
    holders.erase(std::remove_if(holders.begin(), holders.end(),
                                 [&](const ProcessInfo& p) { return p.pid == server->pid; }),
                  holders.end());
  }
  const std::string served = server ? "served by process " + std::to_string(server->pid) + " (" +
                                          server->command + "), the pseudo-terminal's own server"
                                    : std::string();
  if (holders.empty()) {
    if (server) f.message = served + "; no other process has it open";
    if (hidden)
      f.message += " (other users' processes could not be looked at; 'sudo axtune-cli doctor' sees them)";
    return f;
  }
  std::string pids;
  for (const ProcessInfo& p : holders) pids += " " + std::to_string(p.pid);
  if (ptyIndex >= 0 && !server && holders.size() == 1) {
    // The server could not be told (its descriptors are hidden): the one holder may be it.
    f.severity = Severity::Warning;
    f.message =
        "open in " + ProcessList(holders) + ", which may be the program that serves this pseudo-terminal";
    f.fix = "if it is not (qmx-sim serves its own), end that program: kill" + pids;
    return f;
  }
  f.severity = Severity::Problem;
  f.message = "open in " + ProcessList(holders) +
              (server ? "; it is " + served +
                            ", and a second program on it "
                            "takes the drive's answers"
                      : std::string());
  if (ptyIndex >= 0 && !server)
    f.message += " (one of them may be the program that serves this pseudo-terminal)";
  const bool modemManager = std::any_of(holders.begin(), holders.end(),
                                        [](const ProcessInfo& p) { return p.command == "ModemManager"; });
  f.fix = modemManager && holders.size() == 1
              ? "ModemManager took it: see the modemmanager check"
              : (ptyIndex >= 0 && !server
                     ? "end the one that does not serve it: kill PID (of:" + pids + ")"
                     : "end " + std::string(holders.size() == 1 ? "that program" : "those programs") +
                           " (close its window, or: kill" + pids + ")");
  return f;
}

std::vector<Finding> RunDoctor(const DoctorSystem& system, const std::string& port, int rfc2217WaitMs) {
  std::vector<Finding> findings;
  if (IsRfc2217Name(port)) {
    findings.push_back(CheckRfc2217(port, rfc2217WaitMs));
    return findings;
  }
  if (port == "sim") {
    findings.push_back({"devices", Severity::Ok, port, "the built-in simulated drive needs no port", {}});
    return findings;
  }
  std::string device = port;
  if (PortSlotNumber(port) > 0) device = ResolvePortDevice(port);
  const std::vector<std::string> devices = SerialDevicesToCheck(system, device);
  if (devices.empty()) {
    findings.push_back({"devices",
                        Severity::Warning,
                        {},
                        "no USB serial adapter found (/dev/ttyUSB*, /dev/ttyACM*)",
                        "plug the adapter in; 'sudo dmesg | tail' shows whether the kernel saw it"});
  }
  for (const std::string& d : devices) {
    findings.push_back(CheckAccess(system, d));
    if (findings.back().message.find("does not exist") != std::string::npos) continue;
    findings.push_back(CheckHeld(system, d));
    Finding latency = CheckLatency(system, d);
    if (!latency.check.empty()) findings.push_back(latency);
  }
  for (Finding& f : CheckModemManager(system, devices)) findings.push_back(f);
  findings.push_back(CheckBrltty(system));
  return findings;
}

bool Blocks(const std::vector<Finding>& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const Finding& f) { return f.severity == Severity::Problem; });
}

}  // namespace axtune::cli
