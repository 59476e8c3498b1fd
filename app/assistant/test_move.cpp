#include "app/assistant/test_move.h"

#include <algorithm>
#include <string>

#include "core/parameter_dictionary.h"
#include "link/object_access.h"
#include "pages/motion_commands.h"

namespace axtune {
namespace {

constexpr uint16_t kProfileObject = 0x2022;
constexpr uint8_t kProfileSelector = 5;
constexpr int kProfileRunning = 1;
// Polls without motion and without "started" after which a move counts as never begun.
constexpr int kQuietPollsLimit = 10;

bool Put(RecordWords& words, const char* field, double userValue) {
  const std::optional<ParamEntry> entry =
      FindParameter("profile-" + std::to_string(TestMove::kProfile) + "-" + field);
  if (!entry) return false;
  const double raw = userValue * entry->scale;
  return PutRawInRecord(*entry, static_cast<uint32_t>(static_cast<int64_t>(raw >= 0 ? raw + 0.5 : raw - 0.5)),
                        words.data());
}

}  // namespace

TestMove::Plan TestMove::PlanFor(int stepsPerRevolution) {
  const int quarter = std::max(50, stepsPerRevolution / 4);
  return {quarter, quarter};
}

bool TestMove::Start(const Plan& plan, int32_t startPosition) {
  const int record = 14 + kProfile;
  if (!ReadRecord(record, saved_)) return false;
  int32_t selector = 0;
  selector_ = ReadObject(kProfileObject, kProfileSelector, &selector) ? selector : -1;
  haveSaved_ = true;
  RecordWords words = saved_;
  const bool built = Put(words, "position", plan.distance) && Put(words, "velocity", plan.velocity) &&
                     Put(words, "acceleration", plan.velocity * 4.0) &&
                     Put(words, "deceleration", plan.velocity * 4.0) && Put(words, "relative", 1) &&
                     Put(words, "next-active", 0) && Put(words, "waiting-active", 0) &&
                     Put(words, "waiting-time", 0);
  if (!built || !WriteRecord(record, words) || !WriteObject(kProfileObject, kProfileSelector, 2, kProfile) ||
      !SendStartSequence(kModeProfilePosition)) {
    Restore();
    return false;
  }
  running_ = true;
  seenRunning_ = false;
  quietPolls_ = 0;
  startPosition_ = lastPosition_ = startPosition;
  return true;
}

bool TestMove::Observe(const RecordWords& record131, int32_t position) {
  if (!running_) return true;
  const bool moved = position != lastPosition_;
  lastPosition_ = position;
  const auto state = static_cast<int16_t>(record131[0]);
  if (state == kProfileRunning || moved) {
    seenRunning_ = true;
    quietPolls_ = 0;
    return false;
  }
  // Not running and standing still: over once it had run, or when it never began.
  if (seenRunning_ || ++quietPolls_ >= kQuietPollsLimit) {
    Restore();
    return true;
  }
  return false;
}

void TestMove::Restore() {
  running_ = false;
  if (!haveSaved_) return;
  haveSaved_ = false;
  WriteRecord(14 + kProfile, saved_);
  if (selector_ >= 0) WriteObject(kProfileObject, kProfileSelector, 2, selector_);
}

}  // namespace axtune
