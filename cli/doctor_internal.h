// Helpers that the doctor's check files share: paths below the faked root and small file reads.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/doctor_checks.h"

namespace axtune::cli {

// "/dev/ttyUSB0" below the system's root.
std::filesystem::path UnderRoot(const DoctorSystem& system, const std::string& absolute);
// The file's first line without its line end; empty when it cannot be read.
std::string ReadFirstLine(const std::filesystem::path& path);
std::string ReadWhole(const std::filesystem::path& path);

struct ProcessInfo {
  int pid = 0;
  std::string command;  // /proc/PID/comm
};
std::vector<ProcessInfo> ListProcesses(const DoctorSystem& system);

}  // namespace axtune::cli
