#include "core/record_word_labels.h"

#include "core/parameter_dictionary.h"
#include "res/strings.h"

namespace axtune {

RecordWordLabeller RecordWordLabels() {
  return [](int record, int word) {
    const std::vector<const ParamEntry*> entries = EntriesAtWord(record, word);
    if (entries.empty()) return RecordWordLabel{};
    // Several fields may share a word (bits of one word): the first one named is enough to find it.
    const Language language = CurrentLanguage();
    return RecordWordLabel{ParameterLabel(*entries.front(), language),
                           ParameterUnit(*entries.front(), language)};
  };
}

}  // namespace axtune
