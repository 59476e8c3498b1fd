// Names and units of record words, for reports that list words by record and index (the differences
// after a parameter-file load). The parameter dictionary is the one source of these names; until a
// front end can reach it, the labeller is empty and the reports name record and word only.
#pragma once

#include "core/parameter_file.h"

namespace axtune {

// The labeller the front ends use: the name and unit a page shows for a record word, in the current
// language. Empty while no dictionary is built in.
RecordWordLabeller RecordWordLabels();

}  // namespace axtune
