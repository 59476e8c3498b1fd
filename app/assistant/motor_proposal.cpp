#include "app/assistant/motor_proposal.h"

#include <algorithm>
#include <cmath>

#include "core/parameter_dictionary.h"

namespace axtune {
namespace {

constexpr double kIdlePercent = 50.0;
constexpr int kIdleDelayMs = 500;

double UserLimit(const char* name) {
  const std::optional<ParamEntry> entry = FindParameter(name);
  return entry ? static_cast<double>(entry->limit) / entry->scale : 0.0;
}

}  // namespace

MotorLimits DriveMotorLimits() {
  return {UserLimit("motor-current"), UserLimit("idle-current-level"), UserLimit("idle-current-delay")};
}

MotorProposal ProposeMotorSettings(double ratedCurrentMa, const MotorLimits& limits) {
  MotorProposal p;
  if (!std::isfinite(ratedCurrentMa) || ratedCurrentMa < 1.0 || limits.maxCurrentMa < 1.0) return p;
  p.currentCapped = ratedCurrentMa > limits.maxCurrentMa;
  p.currentMa = static_cast<int>(std::floor(std::min(ratedCurrentMa, limits.maxCurrentMa)));
  p.idlePercent = std::clamp(kIdlePercent, 0.0, std::max(0.0, limits.maxIdlePercent));
  p.idleDelayMs = static_cast<int>(
      std::clamp(static_cast<double>(kIdleDelayMs), 0.0, std::max(0.0, std::floor(limits.maxIdleDelayMs))));
  p.ok = true;
  return p;
}

}  // namespace axtune
