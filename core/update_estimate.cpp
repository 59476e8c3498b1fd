#include "core/update_estimate.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "res/strings.h"

namespace axtune {
namespace {

// A rate taken over less than this is mostly the latency of the first packet; a twentieth of the
// phase is enough for a short phase.
constexpr int64_t kMinMeasuredMs = 500;
constexpr uint64_t kMinMeasuredBytes = 512;
constexpr uint64_t kEnoughOfThePhase = 20;

bool MovesBytes(UpdatePhase phase) {
  return phase == UpdatePhase::Connecting || phase == UpdatePhase::Programming ||
         phase == UpdatePhase::Verifying;
}

constexpr int kTextBytesOfTotalAtRate = 42170;
constexpr int kTextTimeLeft = 42171;
constexpr int kTextBytesOfTotal = 42178;

// Puts the arguments in for %1, %2, ... of a text from the string table.
std::string FillText(const std::string& pattern, std::initializer_list<std::string> args) {
  std::string text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const size_t n = i + 1 < pattern.size() ? static_cast<size_t>(pattern[i + 1] - '1') : args.size();
    if (pattern[i] == '%' && n < args.size()) {
      text += *(args.begin() + n);
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return text;
}

std::string Grouped(uint64_t value, char separator) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(static_cast<size_t>(at), 1, separator);
  return digits;
}

}  // namespace

void PhaseEstimate::add(const UpdateProgress& progress, int64_t nowMs) {
  // A phase starts afresh, and so does a boot load that starts again (the fall back to a lower rate).
  const bool restarted = progress.phase == phase_ && progress.bytesDone < lastBytes_;
  if (progress.phase != phase_ || restarted || !started_) {
    phase_ = progress.phase;
    started_ = MovesBytes(progress.phase) && progress.bytesTotal > 0;
    startMs_ = nowMs;
    startBytes_ = progress.bytesDone;
  }
  lastMs_ = nowMs;
  lastBytes_ = progress.bytesDone;
  total_ = progress.bytesTotal;
}

double PhaseEstimate::bytesPerSecond() const {
  if (!started_) return 0;
  const int64_t ms = lastMs_ - startMs_;
  const uint64_t bytes = lastBytes_ - startBytes_;
  const bool enough = (ms >= kMinMeasuredMs && bytes >= kMinMeasuredBytes) ||
                      (ms > 0 && total_ > 0 && bytes * kEnoughOfThePhase >= total_);
  if (!enough) return 0;
  return static_cast<double>(bytes) * 1000.0 / static_cast<double>(ms);
}

int64_t PhaseEstimate::remainingMs() const {
  const double rate = bytesPerSecond();
  if (rate <= 0) return -1;
  const uint64_t left = total_ > lastBytes_ ? total_ - lastBytes_ : 0;
  return static_cast<int64_t>(static_cast<double>(left) * 1000.0 / rate + 0.5);
}

namespace {
// What a byte costs on the line beyond its ten bit times, and the times of the steps that move no
// bytes, as the simulated drive (which keeps the processor's line timing) shows them: the boot ROM
// echoes every byte of the boot table; the kernel frames, acknowledges and programs each packet of a
// write and frames each packet it reads back; the sum check is one short exchange a section; the
// close pulses the reset and waits for the line to settle. The erase reports nothing while it runs:
// its time is a guess that a real drive may exceed (the estimate then waits at the erase's end).
constexpr uint64_t kBuiltInKernelBytes = 7288;
constexpr double kBootByteBits = 14.0;
constexpr double kProgramByteBits = 12.5;
constexpr double kReadByteBits = 12.5;
constexpr double kEraseMs = 1000;
constexpr double kVerifySectionMs = 10;
constexpr double kRestartMs = 400;
constexpr double kStartPauseMs = 1000;  // after the close: the drive's firmware starts

double LineMs(uint64_t bytes, double bitsPerByte, int baud) {
  return baud > 0 ? static_cast<double>(bytes) * bitsPerByte * 1000.0 / baud : 0;
}
}  // namespace

UpdateEstimate::Step UpdateEstimate::StepOf(const UpdateProgress& p) {
  switch (p.phase) {
    case UpdatePhase::CheckingFile:
    case UpdatePhase::EnteringBootLoader:
      return Step::Before;
    case UpdatePhase::Connecting:
      return Step::Kernel;
    case UpdatePhase::Erasing:
      return Step::Erase;
    case UpdatePhase::Programming:
      return Step::Program;
    case UpdatePhase::Verifying:
      return p.readBack ? Step::ReadBack : Step::Verify;
    case UpdatePhase::Closing:
      return Step::Restart;
    case UpdatePhase::Finished:
      return Step::Done;
  }
  return Step::Done;
}

double UpdateEstimate::predictedMs(Step step) const {
  switch (step) {
    case Step::Kernel:
      return LineMs(plan_.kernelBytes > 0 ? plan_.kernelBytes : kBuiltInKernelBytes, kBootByteBits,
                    plan_.bootBaud);
    case Step::Erase:
      return kEraseMs;
    case Step::Program:
      return LineMs(plan_.imageBytes, kProgramByteBits, plan_.kernelBaud) * lineFactor_;
    case Step::Verify:
      return kVerifySectionMs * plan_.sections;
    case Step::ReadBack:
      return plan_.readBack ? LineMs(plan_.imageBytes, kReadByteBits, plan_.kernelBaud) * lineFactor_ : 0;
    case Step::Restart:
      return kRestartMs;
    case Step::Done:
      return kStartPauseMs;
    case Step::Before:
      break;
  }
  return 0;
}

void UpdateEstimate::add(const UpdateProgress& progress, int64_t nowMs) {
  const Step step = StepOf(progress);
  if (step != step_) {
    step_ = step;
    stepStartMs_ = nowMs;
  }

  // A fall back to the safe rate loads the kernel again at that rate.
  if (step == Step::Kernel && progress.baud > 0) plan_.bootBaud = progress.baud;
  if (step >= Step::Erase && step <= Step::ReadBack && progress.baud > 0) plan_.kernelBaud = progress.baud;
  if (step == Step::Kernel && progress.bytesTotal > 0) plan_.kernelBytes = progress.bytesTotal;
  rate_.add(progress, nowMs);
  if (step == Step::Program) {
    programRate_.add(progress, nowMs);
    const double rate = programRate_.bytesPerSecond();
    const double predicted = LineMs(1000, kProgramByteBits, plan_.kernelBaud);  // ms for 1000 bytes
    if (rate > 0 && predicted > 0) lineFactor_ = (1000.0 * 1000.0 / rate) / predicted;
  }
  done_ = progress.bytesDone;
  total_ = progress.bytesTotal;
}

double UpdateEstimate::leftInStepMs(int64_t nowMs) const {
  const bool movesBytes = step_ == Step::Kernel || step_ == Step::Program || step_ == Step::ReadBack;
  if (movesBytes && total_ > 0) {
    const uint64_t left = total_ > done_ ? total_ - done_ : 0;
    const double rate = rate_.bytesPerSecond();
    // The time since the last report has passed as well.
    const double sinceReport = static_cast<double>(std::max<int64_t>(nowMs - rate_.lastMs(), 0));
    if (rate > 0) return std::max(static_cast<double>(left) * 1000.0 / rate - sinceReport, 0.0);
    const double fraction = static_cast<double>(left) / static_cast<double>(total_);
    return std::max(predictedMs(step_) * fraction - sinceReport, 0.0);
  }
  return std::max(predictedMs(step_) - static_cast<double>(nowMs - stepStartMs_), 0.0);
}

int64_t UpdateEstimate::remainingMs(int64_t nowMs) const {
  double ms = step_ == Step::Before ? 0 : leftInStepMs(nowMs);
  for (int s = static_cast<int>(step_) + 1; s <= static_cast<int>(Step::Done); ++s)
    ms += predictedMs(static_cast<Step>(s));
  return static_cast<int64_t>(ms + 0.5);
}

std::string UpdateProgressDetail(const UpdateProgress& progress, int64_t remainingMs) {
  if (!MovesBytes(progress.phase) || progress.bytesTotal == 0) return {};
  const char separator = CurrentLanguage() == Language::German ? '.' : ',';
  std::string text = FillText(Text(progress.baud > 0 ? kTextBytesOfTotalAtRate : kTextBytesOfTotal),
                              {Grouped(progress.bytesDone, separator),
                               Grouped(progress.bytesTotal, separator), std::to_string(progress.baud)});
  if (remainingMs >= 0) text += ", " + FillText(Text(kTextTimeLeft), {DurationText(remainingMs)});
  return text;
}

std::string DurationText(int64_t ms) {
  const int64_t seconds = (std::max<int64_t>(ms, 0) + 500) / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

}  // namespace axtune
