#include "cli/batch_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <ostream>

#include "core/save_target.h"

namespace axtune::cli {

double Seconds(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

namespace {

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Pad(std::string text, size_t width) {
  if (text.size() < width) text += std::string(width - text.size(), ' ');
  return text;
}

// The time left of the running step, from its pace since it began; empty until it can be told.
std::string TimeLeft(const BatchDrive& d, std::chrono::steady_clock::time_point now) {
  const double elapsed = Seconds(d.phaseStart, now);
  if (d.total == 0 || d.done <= d.phaseStartDone || d.done >= d.total || elapsed < 1.0) return {};
  const double left =
      elapsed * static_cast<double>(d.total - d.done) / static_cast<double>(d.done - d.phaseStartDone);
  return Fixed(left, 0) + " s left";
}

}  // namespace

std::string BatchProgressLine(const BatchDrive& d, std::chrono::steady_clock::time_point now) {
  std::string line = d.port + "  " + (d.drive.empty() ? std::string("-") : d.drive) + "  " + d.label;
  if (d.stage == BatchStage::Done) {
    line += " (" + Fixed(d.seconds, 1) + " s)";
    if (!d.ok && !d.reason.empty()) line += ": " + d.reason;
    return line;
  }
  if (d.total > 0) line += "  " + std::to_string(std::min<uint64_t>(100, d.done * 100 / d.total)) + "%";
  const std::string left = TimeLeft(d, now);
  if (!left.empty()) line += "  " + left;
  return line;
}

void BatchDisplay::show(std::vector<BatchDrive>& drives, std::chrono::steady_clock::time_point now,
                        bool last) {
  std::ostream& err = context_.err;
  if (context_.env.progressTerminal) {
    if (!last && now - lastDraw_ < std::chrono::milliseconds(250)) return;
    lastDraw_ = now;
    if (drawnLines_ > 0) err << "\x1b[" << drawnLines_ << 'A';
    for (const BatchDrive& d : drives) err << "\r\x1b[K" << BatchProgressLine(d, now) << '\n';
    drawnLines_ = drives.size();
    err << std::flush;
    return;
  }
  for (BatchDrive& d : drives) {
    if (d.stage == BatchStage::Waiting) continue;
    // One line per step and per tenth of the way, without the time left (it changes every time).
    std::string key = d.port + "  " + (d.drive.empty() ? std::string("-") : d.drive) + "  " + d.label;
    if (d.total > 0 && d.stage != BatchStage::Done)
      key += "  " + std::to_string(std::min<uint64_t>(100, d.done * 10 / d.total * 10)) + "%";
    if (key == d.shown) continue;
    d.shown = key;
    err << (d.stage == BatchStage::Done ? BatchProgressLine(d, now) : key) << '\n';
  }
  err << std::flush;
}

void WriteBatchReport(Context& context, const std::vector<BatchDrive>& drives) {
  const bool allOk = std::all_of(drives.begin(), drives.end(), [](const BatchDrive& d) { return d.ok; });
  if (context.options.json) {
    Json list = Json::array();
    for (const BatchDrive& d : drives) {
      Json j = Json::object();
      j.set("port", d.port).set("drive", d.drive.empty() ? Json() : Json(d.drive));
      j.set("ok", d.ok).set("outcome", d.outcome).set("exitCode", d.exitCode);
      // Milliseconds are enough, and keep the numbers out of exponent notation.
      j.set("startSeconds", std::round(d.startSeconds * 1000) / 1000)
          .set("seconds", std::round(d.seconds * 1000) / 1000);
      j.set("reason", d.reason.empty() ? Json() : Json(d.reason));
      list.push(j);
    }
    Json j = Json::object();
    j.set("ok", allOk).set("drives", list);
    j.write(context.out);
    return;
  }
  size_t portWidth = 4, driveWidth = 5, outcomeWidth = 7;
  for (const BatchDrive& d : drives) {
    portWidth = std::max(portWidth, d.port.size());
    driveWidth = std::max(driveWidth, std::max<size_t>(1, d.drive.size()));
    outcomeWidth = std::max(outcomeWidth, d.outcome.size());
  }
  std::ostream& out = context.out;
  out << Pad("PORT", portWidth) << "  " << Pad("DRIVE", driveWidth) << "  " << Pad("OUTCOME", outcomeWidth)
      << "  " << Pad("TIME", 8) << "  REASON\n";
  for (const BatchDrive& d : drives) {
    out << Pad(d.port, portWidth) << "  " << Pad(d.drive.empty() ? "-" : d.drive, driveWidth) << "  "
        << Pad(d.outcome, outcomeWidth) << "  " << Pad(Fixed(d.seconds, 1) + " s", 8) << "  " << d.reason
        << '\n';
  }
  const long failed = std::count_if(drives.begin(), drives.end(), [](const BatchDrive& d) { return !d.ok; });
  out << drives.size() - static_cast<size_t>(failed) << " of " << drives.size() << " drives succeeded\n";
}

bool WriteFailedPorts(const std::string& path, const std::vector<BatchDrive>& drives) {
  std::string text;
  for (const BatchDrive& d : drives) {
    if (!d.ok) text += d.port + '\n';
  }
  return WriteBytesAtomically(path, text.data(), text.size()).ok;
}

}  // namespace axtune::cli
