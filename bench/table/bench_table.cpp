// One table of the measurements that matter to a technician, each against the time its bytes need
// on the wire (10 bits a byte, both directions): record exchanges and a 64 KiB stream through
// qmx-sim, firmware updates with and without the fixed pauses, the idle GUI, COFF reading. Every
// program runs as a user runs it: default options, no process settings of the benchmark's own.
//
//   bench_table [--quick] [--idle-seconds N]     (bench/run builds and runs it)
//   bench_table --device-server                  the ser2net row alone
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/table/bench_support.h"

namespace axtune::bench {

std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

}  // namespace axtune::bench

int main(int argc, char** argv) {
  using namespace axtune::bench;
  bool quick = false;
  bool deviceServerOnly = false;
  int idleSeconds = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) quick = true;
    if (std::strcmp(argv[i], "--device-server") == 0) deviceServerOnly = true;
    if (std::strcmp(argv[i], "--idle-seconds") == 0 && i + 1 < argc) idleSeconds = std::atoi(argv[++i]);
  }
  Programs programs{QMX_SIM_PATH, AXTUNE_GUI_PATH,
                    std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out"};

  std::vector<Row> rows;
  if (deviceServerOnly) {
    rows.push_back(DeviceServerRow(programs, AXTUNE_CLI_PATH));
  } else {
    rows = LineRows(programs);
    for (Row& row : UpdateRows(programs, !quick)) rows.push_back(std::move(row));
    rows.push_back(BatchRow(programs, AXTUNE_CLI_PATH));
    if (!quick) rows.push_back(DeviceServerRow(programs, AXTUNE_CLI_PATH));
    rows.push_back(IdleGuiRow(programs, idleSeconds));
    // The trend window open with 30 minutes of history, at its 10 samples a second and at its fastest.
    rows.push_back(
        GuiCpuRow(programs, Format("GUI with the trend open at 10/s, 30 min history, over %d s", idleSeconds),
                  {"--trend=100", "--trend-history=30"}, idleSeconds, 3.0));
    rows.push_back(
        GuiCpuRow(programs, Format("GUI with the trend open at 40/s, 30 min history, over %d s", idleSeconds),
                  {"--trend=25", "--trend-history=30"}, idleSeconds, 10.0));
    rows.push_back(CoffRow());
  }

  std::printf("| Measurement | Time or value | Wire time (reference) | Ratio | Goal | |\n");
  std::printf("|---|---|---|---|---|---|\n");
  bool allOk = true;
  for (const Row& row : rows) {
    const std::string ratio = row.ratio > 0 ? Format("%.3f", row.ratio) : "";
    const char* verdict = row.goal.empty() ? "" : (row.ok ? "met" : "MISSED");
    std::printf("| %s | %s | %s | %s | %s | %s |\n", row.what.c_str(), row.measured.c_str(),
                row.reference.c_str(), ratio.c_str(), row.goal.c_str(), verdict);
    allOk = allOk && row.ok;
  }
  return allOk ? 0 : 1;
}
