// What batch knows about each drive, and how it shows it: the progress line per drive while the
// children run (redrawn in place on a terminal, plain lines otherwise), the final table or JSON,
// and the file of failed ports.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_internal.h"

namespace axtune::cli {

enum class BatchStage { Waiting, Identifying, Running, Done };

struct BatchDrive {
  std::string port;
  std::string drive;  // "QMX10-BA 4.1.7" when the drive identified itself
  BatchStage stage = BatchStage::Waiting;
  // The running step's progress.
  std::string label = "waiting";
  uint64_t done = 0;
  uint64_t total = 0;
  std::chrono::steady_clock::time_point phaseStart;
  uint64_t phaseStartDone = 0;
  std::string shown;  // the last plain line printed for it
  // The child's streams.
  std::string out;
  std::string errLine;    // an error-stream line not yet complete
  std::string lastError;  // the last "axtune-cli: ..." message
  // The outcome.
  std::chrono::steady_clock::time_point started;
  double startSeconds = 0;  // since the batch started
  double seconds = 0;       // the drive's own time, identification included
  int exitCode = -1;
  bool ok = false;
  std::string outcome;  // "Verify ok", "ok", "Verify failed", "cancelled", "not started", ...
  std::string reason;   // why it failed, or where a cancel left it
};

double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to);

// "port  drive  phase  percent  time left" for one drive.
std::string BatchProgressLine(const BatchDrive& drive, std::chrono::steady_clock::time_point now);

class BatchDisplay {
 public:
  explicit BatchDisplay(Context& context) : context_(context) {}
  // Shows what changed: every line again on a terminal (at most four times a second, and at the
  // end), else a plain line for each drive whose step or tenth of the way changed.
  void show(std::vector<BatchDrive>& drives, std::chrono::steady_clock::time_point now, bool last);

 private:
  Context& context_;
  size_t drawnLines_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// The table (or with --json one object per drive) on the output stream.
void WriteBatchReport(Context& context, const std::vector<BatchDrive>& drives);
// The ports of the drives that did not succeed, one a line (an empty file when all did).
bool WriteFailedPorts(const std::string& path, const std::vector<BatchDrive>& drives);

}  // namespace axtune::cli
