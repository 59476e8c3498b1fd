#include "app/assistant/switch_check.h"

#include <algorithm>

namespace axtune {
namespace {

// Status word 8: the limit bits say "not reached", the reference and stop bits "active".
constexpr uint16_t kLowerNotReached = 0x0200;
constexpr uint16_t kUpperNotReached = 0x0400;
constexpr uint16_t kReferenceActive = 0x0800;
constexpr uint16_t kStopActive = 0x1000;

}  // namespace

bool SwitchCheck::ActiveIn(SwitchKind kind, uint16_t word) {
  switch (kind) {
    case SwitchKind::LowerLimit:
      return (word & kLowerNotReached) == 0;
    case SwitchKind::UpperLimit:
      return (word & kUpperNotReached) == 0;
    case SwitchKind::Reference:
      return (word & kReferenceActive) != 0;
    case SwitchKind::Stop:
      return (word & kStopActive) != 0;
  }
  return false;
}

void SwitchCheck::Configure(const uint16_t (&functions)[10]) {
  inputs_.clear();
  for (int i = 0; i < 10; ++i) {
    const uint16_t f = functions[i];
    if (f >= 1 && f <= 4) inputs_.push_back({i + 1, static_cast<SwitchKind>(f), std::nullopt, 0});
  }
}

void SwitchCheck::Observe(uint16_t switchWord) {
  for (SwitchInput& in : inputs_) {
    const bool now = ActiveIn(in.kind, switchWord);
    if (in.active && *in.active != now) ++in.changes;
    in.active = now;
  }
}

void SwitchCheck::Restart() {
  for (SwitchInput& in : inputs_) {
    in.active.reset();
    in.changes = 0;
  }
}

bool SwitchCheck::AllTicked() const {
  return std::all_of(inputs_.begin(), inputs_.end(), [](const SwitchInput& in) { return in.ticked(); });
}

std::vector<SwitchInput> SwitchCheck::NeverChanged() const {
  std::vector<SwitchInput> out;
  std::copy_if(inputs_.begin(), inputs_.end(), std::back_inserter(out),
               [](const SwitchInput& in) { return !in.ticked(); });
  return out;
}

}  // namespace axtune
