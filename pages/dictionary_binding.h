// The pages bind their controls from the parameter dictionary: the binding calls of an edit field
// follow from its entry (where the value lives, then sign, limit and scale), and a list takes its
// texts and codes from it. So a page, `axtune-cli get/set`, the compare and the report cannot
// disagree about a parameter.
#pragma once

#include <cstdint>
#include <vector>

#include "controls/edit_binding.h"
#include "core/parameter_dictionary.h"

namespace axtune {

// The binding calls for one edit field's entry; the last limit call wins, so it comes last but the
// scale.
std::vector<EditBindStep> BindStepsFor(const ParamEntry& entry);

// The binding calls of every edit field of a page (of one profile for the profiles page), in the
// dictionary's order.
std::vector<EditBindStep> PageBindSteps(ParamPage page, int profile = -1);

// A list control's codes and text ids from its entry (the entry must exist).
std::vector<int16_t> ListCodes(ParamPage page, int controlId);
std::vector<int> ListTextIds(ParamPage page, int controlId);

}  // namespace axtune
