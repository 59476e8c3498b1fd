// Shared pieces of the benchmark table: a port that counts the bytes both ways and what they cost
// on the wire at the rate they travelled, the rows, and where the programs are.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace axtune::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// The time `bytes` bytes need on the wire at `rate` baud, 10 bits a byte (8N1).
inline double WireSeconds(uint64_t bytes, int rate) {
  return static_cast<double>(bytes) * 10.0 / rate;
}

// What went over a counted line: bytes each way and their wire time at the rate of each transfer.
struct LineCount {
  uint64_t written = 0;
  uint64_t read = 0;
  double wireSeconds = 0;
};

// Registers `name` as an in-process device that opens `device` with the platform's serial port and
// counts into `count` (which must outlive the registration).
void RegisterCountedDevice(const std::string& name, const std::string& device, LineCount* count);

struct Row {
  std::string what;
  std::string measured;   // "12.345 s", "0.8 %", "310 MB/s"
  std::string reference;  // the wire time it is compared with, or empty
  double ratio = 0;       // 0: no ratio (the row is not a time)
  std::string goal;
  bool ok = true;
};

struct Programs {
  std::string qmxSim;
  std::string axtune;    // the GUI; empty when it is not built
  std::string firmware;  // the shared C28x F28335 file
};

// Rows of each kind; a row whose measurement failed says so in `measured` and is not ok.
std::vector<Row> LineRows(const Programs& programs);
std::vector<Row> UpdateRows(const Programs& programs, bool bigImage);
Row IdleGuiRow(const Programs& programs, int seconds);
// The processor share of `axtune --simulate OPTIONS` over `seconds`, after its start.
Row GuiCpuRow(const Programs& programs, const std::string& what, const std::vector<std::string>& options,
              int seconds, double goalPercent);
Row CoffRow();
// Four drives updated at once by axtune-cli batch against one by axtune-cli flash.
Row BatchRow(const Programs& programs, const std::string& cli);

// Updates of an image that fills the F28335's flash through ser2net and through qmx-sim --rfc2217
// directly, as axtune-cli runs them with its default options.
Row DeviceServerRow(const Programs& programs, const std::string& cli);
// Runs the program with its output on /dev/null; the exit code, or -1.
int RunQuietly(const std::string& program, const std::vector<std::string>& args);

std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace axtune::bench
