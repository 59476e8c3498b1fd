// Names and units of record words, for reports that list words by record and index (the differences
// after a parameter-file load). The parameter dictionary is the one source of these names.
#pragma once

#include "core/parameter_file.h"

namespace axtune {

// The labeller the front ends use: the name and unit a page shows for a record word, in the current
// language. A word no page shows gets an empty label, and the report names record and word only.
RecordWordLabeller RecordWordLabels();

}  // namespace axtune
