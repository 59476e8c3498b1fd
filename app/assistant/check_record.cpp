#include "app/assistant/check_record.h"

#include <cstring>

namespace axtune {

void CheckRecord::Record(AssistantStep step, CommissioningCheck check) {
  checks_[step] = std::move(check);
}

const CommissioningCheck* CheckRecord::Find(AssistantStep step) const {
  auto it = checks_.find(step);
  return it == checks_.end() ? nullptr : &it->second;
}

std::vector<CommissioningCheck> CheckRecord::InStepOrder() const {
  std::vector<CommissioningCheck> out;
  for (const auto& [step, check] : checks_) out.push_back(check);
  return out;
}

namespace {

std::string FileNamePart(const std::string& text) {
  std::string out;
  bool pendingDash = false;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    const bool bad = u < 0x20 || u == 0x7F || c == ' ' || std::strchr("/\\:*?\"<>|", c) != nullptr;
    if (bad) {
      pendingDash = !out.empty();
      continue;
    }
    if (pendingDash) out += '-';
    pendingDash = false;
    out += c;
  }
  // A name of dots only would name a folder.
  if (out.find_first_not_of('.') == std::string::npos) return {};
  return out;
}

}  // namespace

std::string ProposedParameterFileName(const std::string& machine, const std::string& axis) {
  const std::string m = FileNamePart(machine), a = FileNamePart(axis);
  if (m.empty() && a.empty()) return {};
  return (m.empty() ? a : a.empty() ? m : m + "_" + a) + ".qmx";
}

}  // namespace axtune
