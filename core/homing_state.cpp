#include "core/homing_state.h"

namespace axtune {
namespace {
constexpr int kTextNotCompleted = 42620;
constexpr int kTextRunning = 42621;
constexpr int kTextFound = 42622;
constexpr int kTextFinished = 42623;
constexpr int kTextFailed = 42624;
constexpr int kModeHoming = -7;
}  // namespace

bool IsHomingMode(int32_t modeOfOperation) {
  return static_cast<int8_t>(modeOfOperation & 0xFF) == kModeHoming;
}

HomingState DecodeHomingState(uint16_t statusword) {
  // An error wins: with both bits 12 and 13 set (a combination the profile reserves) the run did
  // not end well either.
  if (statusword & kStatuswordHomingError) return HomingState::Failed;
  const bool reached = (statusword & kStatuswordTargetReached) != 0;
  if (statusword & kStatuswordHomingAttained) return reached ? HomingState::Finished : HomingState::Found;
  return reached ? HomingState::NotCompleted : HomingState::Running;
}

std::optional<HomingState> HomingStateOf(std::optional<int32_t> modeOfOperation,
                                         std::optional<uint16_t> statusword) {
  if (!modeOfOperation || !statusword || !IsHomingMode(*modeOfOperation)) return std::nullopt;
  return DecodeHomingState(*statusword);
}

std::string HomingStateText(HomingState state, Language language) {
  switch (state) {
    case HomingState::NotCompleted:
      return Text(kTextNotCompleted, language);
    case HomingState::Running:
      return Text(kTextRunning, language);
    case HomingState::Found:
      return Text(kTextFound, language);
    case HomingState::Finished:
      return Text(kTextFinished, language);
    case HomingState::Failed:
      return Text(kTextFailed, language);
  }
  return {};
}

std::string HomingStateText(HomingState state) {
  return HomingStateText(state, CurrentLanguage());
}

}  // namespace axtune
