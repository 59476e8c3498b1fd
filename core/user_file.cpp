#include "core/user_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/save_target.h"

namespace axtune {
namespace {

// The bytes from `from` up to the next zero byte or the end of the data.
std::string TakeString(const uint8_t* data, size_t size, size_t& from) {
  const uint8_t* begin = data + from;
  const uint8_t* end = data + size;
  const uint8_t* zero = std::find(begin, end, uint8_t{0});
  std::string text(reinterpret_cast<const char*>(begin), static_cast<size_t>(zero - begin));
  from = zero == end ? size : static_cast<size_t>(zero - data) + 1;
  return text;
}

}  // namespace

std::vector<uint8_t> BuildUserFile(const UserEntry& entry) {
  std::vector<uint8_t> image;
  image.reserve(entry.name.size() + entry.company.size() + 2);
  image.insert(image.end(), entry.name.begin(), entry.name.end());
  image.push_back(0);
  image.insert(image.end(), entry.company.begin(), entry.company.end());
  image.push_back(0);
  return image;
}

UserEntry ParseUserFile(const uint8_t* data, size_t size) {
  UserEntry entry;
  if (data == nullptr) return entry;
  size = std::min(size, kUserFileReadLimit);
  size_t at = 0;
  entry.name = TakeString(data, size, at);
  entry.company = TakeString(data, size, at);
  return entry;
}

ExpertModeCheck CheckExpertMode(const std::string& company) {
  ExpertModeCheck check;
  check.shownCompany = company;
  if (company.find(kMakerWord) == std::string::npos) return check;
  const size_t code = company.find(kExpertCode);
  if (code == std::string::npos) return check;
  check.expert = true;
  check.shownCompany = company.substr(0, code);
  return check;
}

std::string UserFilePath(const std::string& directory) {
  if (directory.empty()) return kUserFileName;
  const char last = directory.back();
  if (last == '/' || last == '\\') return directory + kUserFileName;
#ifdef _WIN32
  return directory + "\\" + kUserFileName;
#else
  return directory + "/" + kUserFileName;
#endif
}

bool LoadUserFile(const std::string& path, UserEntry& entry) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  uint8_t buffer[kUserFileReadLimit];
  const size_t n = std::fread(buffer, 1, sizeof buffer, file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return false;
  entry = ParseUserFile(buffer, n);
  return true;
}

bool SaveUserFile(const std::string& path, const UserEntry& entry, std::string* error) {
  const std::vector<uint8_t> image = BuildUserFile(entry);
  const FileWriteResult written = WriteFileAtomically(path, image);
  if (!written.ok && error != nullptr) *error = written.reason;
  return written.ok;
}

}  // namespace axtune
