// The file image: building it, and finding the identification, the records and the trailer in it.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/parameter_file.h"

namespace axtune {
namespace {

constexpr size_t kDateBytes = 11;  // "dd.mm.yyyy" and its zero byte

// Bounds-checked reader over a file image.
class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, size_t size, size_t offset) : data_(data), size_(size), pos_(offset) {}

  // The zero-terminated text at the cursor; nullopt when no zero byte follows. Any other byte may
  // stand in it: a user name or company is whatever the user typed (a tab included).
  std::optional<std::string> zeroTerminatedText() {
    if (pos_ > size_) return std::nullopt;
    const uint8_t* begin = data_ + pos_;
    const uint8_t* end = data_ + size_;
    const uint8_t* zero = std::find(begin, end, uint8_t{0});
    if (zero == end) return std::nullopt;
    std::string text(reinterpret_cast<const char*>(begin), static_cast<size_t>(zero - begin));
    pos_ += text.size() + 1;
    return text;
  }

  bool take(size_t n, const uint8_t*& bytes) {
    if (pos_ > size_ || size_ - pos_ < n) return false;
    bytes = data_ + pos_;
    pos_ += n;
    return true;
  }

  bool atEnd() const { return pos_ == size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_;
};

bool IsDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}

// "%02d.%02d.%4d": two digits, a dot, two digits, a dot, a year right-aligned in four places.
bool IsSaveDate(const uint8_t* d) {
  if (!IsDigit(d[0]) || !IsDigit(d[1]) || d[2] != '.' || !IsDigit(d[3]) || !IsDigit(d[4]) || d[5] != '.') {
    return false;
  }
  bool digitSeen = false;
  for (int i = 6; i < 10; ++i) {
    if (IsDigit(d[i])) {
      digitSeen = true;
    } else if (d[i] != ' ' || digitSeen) {
      return false;
    }
  }
  return digitSeen && d[10] == 0;
}

// The saving tool writes the full path: "/...", "X:\...", "X:/..." or "\\server\...".
bool LooksLikeFullPath(const std::string& path) {
  if (path.empty()) return true;
  if (path[0] == '/') return true;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return true;
  const unsigned char drive = static_cast<unsigned char>(path[0]);
  return path.size() >= 3 && std::isalpha(drive) != 0 && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

void AppendString(std::vector<uint8_t>& out, const std::string& text) {
  // A string cannot carry a zero byte inside it: the reader would end it there.
  for (char c : text) {
    if (c == '\0') break;
    out.push_back(static_cast<uint8_t>(c));
  }
  out.push_back(0);
}

RecordWords RecordFromBytes(const uint8_t* bytes) {
  RecordWords words{};
  for (int i = 0; i < kRecordWords; ++i) {
    words[i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return words;
}

// The smallest record count behind which the rest of the file is a trailer of a known form. A long
// path also parses as a trailer from a point inside it, so only the smallest count is the one the
// file was saved with.
int FindSavedRecordCount(const uint8_t* data, size_t size) {
  for (int n = 0; n <= kMaxParameterRecords; ++n) {
    const size_t offset = kParameterFileHeaderBytes + kParameterRecordBytes * static_cast<size_t>(n);
    if (offset >= size) break;  // no bytes left: no trailer there (a file without one tells nothing)
    if (IsTrailerOfKnownForm(data, size, offset)) return n;
  }
  return -1;
}

// A byte that may stand in a trailer's text: printable in any code page, or a tab.
bool IsTextByte(uint8_t c) {
  return c == '\t' || (c >= 0x20 && c != 0x7F);
}

bool IsLineEndByte(uint8_t c) {
  return c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == 0x1A;
}

}  // namespace

std::string FormatSaveDate(std::time_t time) {
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &time);
#else
  gmtime_r(&time, &utc);
#endif
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%4d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900);
  return text;
}

std::vector<uint8_t> BuildParameterFile(const std::vector<RecordWords>& records,
                                        const ParameterFileTrailer& trailer) {
  std::vector<uint8_t> out;
  out.reserve(kParameterFileHeaderBytes + records.size() * kParameterRecordBytes + trailer.path.size() +
              kDateBytes + trailer.userName.size() + trailer.company.size() + 3);
  for (size_t i = 0; i < kParameterFileHeaderBytes; ++i) {  // the identification and its zero byte
    out.push_back(static_cast<uint8_t>(kParameterFileIdentification[i]));
  }
  for (const RecordWords& record : records) {
    for (uint16_t word : record) {
      out.push_back(static_cast<uint8_t>(word & 0xFF));
      out.push_back(static_cast<uint8_t>(word >> 8));
    }
  }
  AppendString(out, trailer.path);
  AppendString(out, trailer.date);
  AppendString(out, trailer.userName);
  AppendString(out, trailer.company);
  return out;
}

std::optional<ParameterFileTrailer> ParseTrailer(const uint8_t* data, size_t size, size_t offset) {
  ByteCursor cursor(data, size, offset);
  ParameterFileTrailer trailer;
  auto path = cursor.zeroTerminatedText();
  if (!path || !LooksLikeFullPath(*path)) return std::nullopt;
  const uint8_t* date = nullptr;
  if (!cursor.take(kDateBytes, date) || !IsSaveDate(date)) return std::nullopt;
  auto name = cursor.zeroTerminatedText();
  if (!name) return std::nullopt;
  auto company = cursor.zeroTerminatedText();
  if (!company || !cursor.atEnd()) return std::nullopt;
  trailer.path = std::move(*path);
  trailer.date.assign(reinterpret_cast<const char*>(date), kDateBytes - 1);
  trailer.userName = std::move(*name);
  trailer.company = std::move(*company);
  return trailer;
}

bool IsTrailerOfKnownForm(const uint8_t* data, size_t size, size_t offset) {
  if (data == nullptr || offset >= size) return false;
  if (ParseTrailer(data, size, offset)) return true;
  const size_t limits[] = {kMaxTrailerPathBytes, kMaxTrailerDateBytes, kMaxTrailerNameBytes,
                           kMaxTrailerNameBytes};
  size_t pos = offset;
  for (size_t text = 0; text < 4; ++text) {
    const size_t start = pos;
    while (pos < size && data[pos] != 0) {
      if (!IsTextByte(data[pos]) || pos - start + 1 >= limits[text]) return false;  // room for its zero
      ++pos;
    }
    if (text < 2 && pos == start) return false;  // the path and the date are never empty
    if (pos == size) return text == 3;           // only the company may lack its zero byte
    ++pos;                                       // the zero byte
  }
  if (size - pos > kMaxTrailerTailBytes) return false;
  return std::all_of(data + pos, data + size, IsLineEndByte);
}

ParsedParameterFile ParseParameterFile(const uint8_t* data, size_t size, int count) {
  ParsedParameterFile parsed;
  if (data == nullptr || size < kParameterFileHeaderBytes ||
      std::memcmp(data, kParameterFileIdentification, kParameterFileHeaderBytes) != 0) {
    parsed.format = ParameterFileFormat::BadIdentification;
    return parsed;
  }
  count = std::max(count, 0);
  if (size > MaxParameterFileBytes(count)) {
    parsed.format = ParameterFileFormat::TooLarge;
    return parsed;
  }
  const size_t available = (size - kParameterFileHeaderBytes) / kParameterRecordBytes;
  const size_t wanted = static_cast<size_t>(count);
  const size_t whole = std::min(available, wanted);
  parsed.records.reserve(whole);
  for (size_t i = 0; i < whole; ++i) {
    parsed.records.push_back(RecordFromBytes(data + kParameterFileHeaderBytes + i * kParameterRecordBytes));
  }
  if (available < wanted) {
    parsed.savedRecordCount = FindSavedRecordCount(data, size);
    parsed.format = ParameterFileFormat::TooShort;
    return parsed;
  }
  // A trailer right behind the drive's count of records settles it, whatever the smallest count
  // with a trailer behind it would be (a record's bytes may read as the start of a trailer too).
  parsed.trailer = ParseTrailer(data, size, kParameterFileHeaderBytes + wanted * kParameterRecordBytes);
  if (parsed.trailer) {
    parsed.savedRecordCount = count;
    parsed.format = ParameterFileFormat::Ok;
    return parsed;
  }
  // Other installations write other paths, dates and code pages, add line ends or leave the trailer
  // out; where the records end is still told by the structure: the smallest record boundary behind
  // which a trailer of a known form follows. At the drive's count the file loads; at another it was
  // saved from another drive type; at none, with bytes behind the records, nothing tells where the
  // records end, and guessing would write trailer text or junk into the drive.
  parsed.savedRecordCount = FindSavedRecordCount(data, size);
  const size_t recordsEnd = kParameterFileHeaderBytes + wanted * kParameterRecordBytes;
  if (parsed.savedRecordCount == count || (parsed.savedRecordCount < 0 && size == recordsEnd)) {
    parsed.format = ParameterFileFormat::Ok;
  } else if (parsed.savedRecordCount >= 0) {
    parsed.format = ParameterFileFormat::CountMismatch;
  } else {
    parsed.format = ParameterFileFormat::UnknownTrailer;
  }
  return parsed;
}

}  // namespace axtune
