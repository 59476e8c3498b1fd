// The user-interface texts: one table of id -> {German, English}, UTF-8, shared by the GUI and the
// command-line tool. The language is chosen once at start ("/english", --lang, else the locale).
#pragma once

#include <string>

namespace axtune {

enum class Language { German, English };

void SetLanguage(Language language);
Language CurrentLanguage();

// Picks the language from the program arguments and the system locale: "/english" or
// "--lang=en" give English, "--lang=de" German; otherwise German when the locale (LANG, LC_ALL,
// LC_MESSAGES) is German, else English.
Language ChooseLanguage(int argc, const char* const* argv);

// The text of string id in the current language; "" for an unknown id.
const char* Text(int id);
const char* Text(int id, Language language);
bool HasText(int id);

// Every id, for tests that look for duplicates and empty texts.
struct StringEntry {
  int id;
  const char* german;
  const char* english;
};
const StringEntry* AllStrings(int* count);

}  // namespace axtune
