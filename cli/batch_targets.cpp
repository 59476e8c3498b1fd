#include "cli/batch_targets.h"

#include <sys/resource.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

#include "link/port_slots.h"

namespace axtune::cli {
namespace {

namespace fs = std::filesystem;

// A ports file is a short text: more than this is not one.
constexpr size_t kMaxPortsFileBytes = 1 << 20;

// Descriptors batch keeps for itself (its own streams, the terminal, a library's files); each
// running child holds two pipe ends in batch, four while it starts.
constexpr long kReservedDescriptors = 32;

// Text is printable ASCII, tab, line ends and UTF-8 (bytes 0x80 and up); anything else (a NUL, an
// escape, a form feed) shows a binary file. The offset of the first such byte, or npos.
size_t FirstNonTextByte(const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c != 0x7F) continue;
    if (c == '\t' || c == '\n' || c == '\r') continue;
    return i;
  }
  return std::string::npos;
}

std::string FileSafe(const std::string& text) {
  std::string safe;
  for (const char c : text) {
    const bool keep = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' || c == '-';
    if (keep) {
      safe += c;
    } else if (!safe.empty() && safe.back() != '-') {
      safe += '-';
    }
  }
  while (!safe.empty() && safe.back() == '-') safe.pop_back();
  // "." and ".." would name a folder.
  if (safe.empty() || safe.find_first_not_of('.') == std::string::npos) safe = "port" + safe;
  return safe;
}

// The device a port names: a slot's device, a device path with its links resolved, a network
// address in lower case.
std::string PortIdentity(const std::string& port) {
  std::string name = port;
  if (const int slot = PortSlotNumber(port); slot != 0) {
    const std::string device = PortSlotName(slot);
    if (!device.empty()) name = device;
  }
  if (name.rfind("rfc2217://", 0) == 0) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
  }
  std::error_code error;
  const fs::path resolved = fs::canonical(name, error);
  return error ? name : resolved.string();
}

}  // namespace

bool ReadPortsFile(const std::string& path, std::vector<std::string>& ports, std::string& error) {
  std::error_code status;
  if (fs::is_directory(path, status)) {
    error = "the ports file " + path + " is a folder; give a text file with one port a line";
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read the ports file " + path;
    return false;
  }
  // Read no more than a ports file can be (a device such as /dev/zero would never end).
  std::string bytes(kMaxPortsFileBytes + 1, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(file.gcount()));
  if (file.bad()) {
    error = "cannot read the ports file " + path;
    return false;
  }
  return ParsePortsText(bytes, path, ports, error);
}

bool ParsePortsText(const std::string& bytes, const std::string& path, std::vector<std::string>& ports,
                    std::string& error) {
  if (bytes.size() > kMaxPortsFileBytes) {
    error = "the ports file " + path + " is " + std::to_string(bytes.size()) +
            " bytes long; a ports file is a short text with one port a line";
    return false;
  }
  if (const size_t bad = FirstNonTextByte(bytes); bad != std::string::npos) {
    error = "the ports file " + path + " is not a text file (byte " + std::to_string(bad) +
            " is not text); give a text file with one port a line";
    return false;
  }
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    line = line.substr(0, line.find('#'));
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    const size_t last = line.find_last_not_of(" \t\r");
    ports.push_back(line.substr(first, last - first + 1));
  }
  return true;
}

std::string FileSafePort(const std::string& port) {
  std::string name = port;
  if (name.rfind("/dev/", 0) == 0) name.erase(0, 5);
  if (const size_t scheme = name.find("://"); scheme != std::string::npos) name.erase(0, scheme + 3);
  return FileSafe(name);
}

std::string ExpandDrivePlaceholders(const std::string& text, const std::string& port, const std::string& type,
                                    size_t n) {
  const std::map<std::string, std::string> values = {{"{port}", FileSafePort(port)},
                                                     {"{type}", FileSafe(type.empty() ? "unknown" : type)},
                                                     {"{n}", std::to_string(n)}};
  std::string result;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [key, value] : values) {
      if (text.compare(i, key.size(), key) == 0) {
        result += value;
        i += key.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) result += text[i++];
  }
  return result;
}

std::string DuplicatePortProblem(const std::vector<std::string>& ports, const std::string& simPort) {
  std::map<std::string, std::string> seen;  // device -> the port that named it first
  for (const std::string& port : ports) {
    if (port == simPort) continue;
    const auto [it, added] = seen.emplace(PortIdentity(port), port);
    if (added) continue;
    if (it->second == port) return "port " + port + " is named twice";
    return "ports " + it->second + " and " + port + " are one device (" + it->first +
           "); name each drive once";
  }
  return {};
}

int OutputArgument(const std::vector<std::string>& command) {
  if (command.empty()) return -1;
  if (command[0] == "save" || command[0] == "report") return command.size() > 1 ? 1 : -1;
  return -1;
}

std::string FileIdentity(const std::string& path) {
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(path, error), error);
  return error ? fs::absolute(path).lexically_normal().string() : resolved.string();
}

std::string SharedOutputProblem(const std::vector<std::string>& command,
                                const std::vector<std::string>& ports) {
  const int index = OutputArgument(command);
  if (index < 0 || ports.size() < 2) return {};
  const std::string& pattern = command[static_cast<size_t>(index)];
  std::map<std::string, size_t> claimed;  // file -> the drive's line that writes it
  for (size_t i = 0; i < ports.size(); ++i) {
    // Until the drives identified themselves, {type} may be the same for all of them.
    const std::string file = FileIdentity(ExpandDrivePlaceholders(pattern, ports[i], "", i + 1));
    const auto [it, added] = claimed.emplace(file, i);
    if (added) continue;
    const bool typeOnly = pattern.find("{type}") != std::string::npos;
    return "the drives on " + ports[it->second] + " and " + ports[i] + " would both write " + file +
           (typeOnly ? " when they are of one type" : "") + "; put {port} or {n} in the file name, e.g. " +
           command[0] + " 'line-{port}" + fs::path(pattern).extension().string() +
           "' ({port}: the port, {type}: the drive's type, " + "{n}: the drive's line number)";
  }
  return {};
}

int BatchJobs(int requested, size_t drives, std::string& note) {
  const long wanted =
      requested > 0 ? std::min<long>(requested, static_cast<long>(drives)) : static_cast<long>(drives);
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return static_cast<int>(std::max<long>(wanted, 1));
  // Use what the hard limit allows before lowering the number of children.
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  const long available = limit.rlim_cur == RLIM_INFINITY
                             ? wanted
                             : (static_cast<long>(limit.rlim_cur) - kReservedDescriptors) / 2 - 1;
  const long jobs = std::max<long>(1, std::min(wanted, available));
  if (jobs < wanted) {
    note = "the open-file limit (" + std::to_string(limit.rlim_cur) + ") allows " + std::to_string(jobs) +
           " drives at once; the others wait their turn";
  }
  return static_cast<int>(jobs);
}

}  // namespace axtune::cli
