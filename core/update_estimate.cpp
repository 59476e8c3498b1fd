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
