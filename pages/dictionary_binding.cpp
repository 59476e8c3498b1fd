#include "pages/dictionary_binding.h"

#include <algorithm>

namespace axtune {

std::vector<EditBindStep> BindStepsFor(const ParamEntry& entry) {
  std::vector<EditBindStep> steps;
  const int id = entry.controlId;
  if (entry.HasRecord()) {
    steps.push_back({id, entry.isLong ? BindCall::RecordLong : BindCall::RecordWord,
                     static_cast<uint32_t>(entry.record), static_cast<uint32_t>(entry.word)});
  }
  if (entry.HasObject()) steps.push_back({id, BindCall::Object, entry.index, entry.subindex, entry.size});
  if (entry.isSigned) steps.push_back({id, BindCall::Signed});
  steps.push_back({id, BindCall::Limit, entry.limit});
  if (entry.scale != 1.0) steps.push_back({id, BindCall::Scale, 0, 0, 0, entry.scale});
  if (entry.practical > 0)
    steps.push_back({id, BindCall::Practical,
                     static_cast<uint32_t>(std::min(entry.practical * entry.scale, 4294967295.0))});
  return steps;
}

std::vector<EditBindStep> PageBindSteps(ParamPage page, int profile) {
  std::vector<EditBindStep> steps;
  for (const ParamEntry& entry : ParameterDictionary()) {
    if (entry.page != page || entry.profile != profile || entry.control != ParamControl::Edit) continue;
    for (const EditBindStep& step : BindStepsFor(entry)) steps.push_back(step);
  }
  return steps;
}

std::vector<int16_t> ListCodes(ParamPage page, int controlId) {
  std::vector<int16_t> codes;
  if (const ParamEntry* entry = FindControlEntry(page, controlId))
    for (const ParamListItem& item : entry->items) codes.push_back(static_cast<int16_t>(item.code));
  return codes;
}

std::vector<int> ListTextIds(ParamPage page, int controlId) {
  std::vector<int> texts;
  if (const ParamEntry* entry = FindControlEntry(page, controlId))
    for (const ParamListItem& item : entry->items) texts.push_back(item.textId);
  return texts;
}

}  // namespace axtune
