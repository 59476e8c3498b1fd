#include "res/strings.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace axtune {
namespace {

// Each part of the program keeps its texts in its own fragment, so the table grows without
// edits colliding. Ids must be unique across fragments (a test checks).
const StringEntry kStrings[] = {
#include "res/strings_connection.inc"
#include "res/strings_dictionary.inc"
#include "res/strings_expert.inc"
#include "res/strings_feedback.inc"
#include "res/strings_io_pages.inc"
#include "res/strings_motion.inc"
#include "res/strings_pages.inc"
#include "res/strings_safety.inc"
#include "res/strings_shell.inc"
#include "res/strings_status.inc"
#include "res/strings_tools.inc"
#include "res/strings_transfer.inc"
#include "res/strings_trend.inc"
#include "res/strings_interop.inc"
#include "res/strings_safety2.inc"
#include "res/strings_update_line.inc"
#include "res/strings_reading.inc"
#include "res/strings_ports.inc"
#include "res/strings_assistant.inc"
};

std::atomic<Language> g_language{Language::English};

const StringEntry* Find(int id) {
  for (const auto& e : kStrings) {
    if (e.id == id) return &e;
  }
  return nullptr;
}

bool StartsWithGerman(const char* value) {
  return value != nullptr && std::strncmp(value, "de", 2) == 0;
}

}  // namespace

void SetLanguage(Language language) {
  g_language = language;
}
Language CurrentLanguage() {
  return g_language;
}

Language ChooseLanguage(int argc, const char* const* argv) {
  // "/english" anywhere wins; otherwise the last --lang decides.
  const char* chosen = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    if (std::strcmp(argv[i], "/english") == 0) return Language::English;
    if (std::strcmp(argv[i], "--lang=en") == 0 || std::strcmp(argv[i], "--lang=de") == 0) chosen = argv[i];
  }
  if (chosen != nullptr) return std::strcmp(chosen, "--lang=de") == 0 ? Language::German : Language::English;
  // The first of these that is set decides, as for the C library's message catalogue.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return StartsWithGerman(value) ? Language::German : Language::English;
    }
  }
  return Language::English;
}

const char* Text(int id, Language language) {
  const StringEntry* e = Find(id);
  if (e == nullptr) return "";
  return language == Language::German ? e->german : e->english;
}

const char* Text(int id) {
  return Text(id, g_language);
}
bool HasText(int id) {
  return Find(id) != nullptr;
}

const StringEntry* AllStrings(int* count) {
  if (count != nullptr) *count = static_cast<int>(std::size(kStrings));
  return kStrings;
}

}  // namespace axtune
