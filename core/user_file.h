// "name.dat": who works with the tool (user name and company), and the expert-mode switch.
//
// The file holds the name's bytes, one zero byte, the company's bytes, one zero byte, nothing else
// (no header, no length fields). Characters are single bytes of the Western Windows code page
// (Latin-1 for the characters an edit can hold), so a 30-character entry is 30 bytes and the file is
// exchangeable with installations on Windows. No Qt: the file format is tested and fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace axtune {

// Each entry holds at most this many characters (the user dialog refuses more).
inline constexpr size_t kUserEntryMaxChars = 30;
// A file written by the dialog is at most 30 + 1 + 30 + 1 bytes; the reader takes that many, so
// two full-length entries come back whole.
inline constexpr size_t kUserFileReadLimit = 2 * (kUserEntryMaxChars + 1);
inline constexpr const char* kUserFileName = "name.dat";
// The maker word and the expert code that, both in the company, switch the expert mode on.
inline constexpr const char* kMakerWord = "Orvane";
inline constexpr const char* kExpertCode = "{Wartung}";

struct UserEntry {
  std::string name;     // bytes, without the zero byte
  std::string company;  // bytes, without the zero byte
  friend bool operator==(const UserEntry&, const UserEntry&) = default;
};

// The file image: name, zero byte, company, zero byte.
std::vector<uint8_t> BuildUserFile(const UserEntry& entry);

// Reads an image: the name is the bytes up to the first zero byte, the company the bytes after it
// up to the next zero byte. A string without its zero byte ends with the data; bytes behind the
// company's zero byte are ignored. Only the first kUserFileReadLimit bytes count.
UserEntry ParseUserFile(const uint8_t* data, size_t size);

// The expert-mode rule: on when the company contains the maker word and the expert code (each
// anywhere, case-sensitive). `shownCompany` is then the company cut at the first expert code (the
// code and all behind it dropped); otherwise it is the company unchanged.
struct ExpertModeCheck {
  bool expert = false;
  std::string shownCompany;
};
ExpertModeCheck CheckExpertMode(const std::string& company);

// `directory` joined with "name.dat".
std::string UserFilePath(const std::string& directory);

// Reads the file; false when it cannot be opened or read (`entry` is then left as it was).
bool LoadUserFile(const std::string& path, UserEntry& entry);

// Creates or truncates the file and writes the entry. False when that fails; `error` then says why
// in the operating system's words.
bool SaveUserFile(const std::string& path, const UserEntry& entry, std::string* error);

}  // namespace axtune
