#include "core/parameter_file.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/input_file.h"
#include "link/object_access.h"
#include "link/sleeper.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace axtune {
namespace {

constexpr int kLoadPauseMs = 2000;
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

// The smallest record count behind which the rest of the file is a trailer. A long path also parses
// as a trailer from a point inside it, so only the smallest count is the one the file was saved with.
int FindSavedRecordCount(const uint8_t* data, size_t size) {
  for (int n = 0; n <= kMaxParameterRecords; ++n) {
    const size_t offset = kParameterFileHeaderBytes + kParameterRecordBytes * static_cast<size_t>(n);
    if (offset > size) break;
    if (ParseTrailer(data, size, offset)) return n;
  }
  return -1;
}

// Opens a regular file for reading; a FIFO or device that took the place of the checked file in the
// meantime is refused on the open descriptor without blocking.
std::FILE* OpenRegularFileForReading(const std::string& path) {
#ifdef _WIN32
  return std::fopen(path.c_str(), "rb");
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
#endif
}

std::string SystemReason(const std::error_code& error) {
  return error.message();
}

std::string ErrnoReason(int error) {
  return std::error_code(error, std::generic_category()).message();
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

ParsedParameterFile ParseParameterFile(const uint8_t* data, size_t size, int count) {
  ParsedParameterFile parsed;
  if (data == nullptr || size < kParameterFileHeaderBytes ||
      std::memcmp(data, kParameterFileIdentification, kParameterFileHeaderBytes) != 0) {
    parsed.format = ParameterFileFormat::BadIdentification;
    return parsed;
  }
  count = std::max(count, 0);
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
  if (!parsed.trailer) {
    parsed.savedRecordCount = FindSavedRecordCount(data, size);
    parsed.format = ParameterFileFormat::CountMismatch;
    return parsed;
  }
  parsed.savedRecordCount = count;
  parsed.format = ParameterFileFormat::Ok;
  return parsed;
}

bool LinkParameterRecordAccess::readRecord(int record, RecordWords& words) {
  return ReadRecord(record, words);
}
bool LinkParameterRecordAccess::exchangeRecord(int record, RecordWords& words) {
  return ExchangeRecord(record, words);
}
bool LinkParameterRecordAccess::writeRecord(int record, const RecordWords& words) {
  return WriteRecord(record, words);
}
bool ParameterRecordAccess::writeRecord(int record, const RecordWords& words) {
  RecordWords reply = words;
  return exchangeRecord(record, reply) && reply == words;
}
int LinkParameterRecordAccess::lastLinkError() const {
  return LinkError.load();
}

RecordReadResult ReadParameterRecords(ParameterRecordAccess& access, int count,
                                      const ParameterProgress& progress, const CancelCheck& cancelled) {
  RecordReadResult result;
  if (count < 0 || count > kMaxParameterRecords) {
    result.countOutOfRange = true;
    return result;
  }
  result.records.reserve(static_cast<size_t>(count));
  for (int record = 0; record < count; ++record) {
    RecordWords words{};
    if (cancelled && cancelled()) {
      result.cancelled = true;
      result.failedRecord = record;
      result.records.clear();
      return result;
    }
    if (!access.readRecord(record, words)) {
      result.failedRecord = record;
      result.linkError = access.lastLinkError();
      result.records.clear();
      return result;
    }
    result.records.push_back(words);
    if (progress) progress(record + 1, count);
  }
  result.ok = true;
  return result;
}

std::string AbsoluteFilePath(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(std::filesystem::path(path), error);
  if (error) return path;
  return absolute.lexically_normal().string();
}

FileWriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                                    const CancelCheck& cancelled) {
  namespace fs = std::filesystem;
  FileWriteResult result;
  fs::path target(path);
  if (target.filename().empty()) {
    result.reason = "no file name given";
    return result;
  }
  std::error_code error;
  if (fs::is_directory(target, error)) {
    result.reason = path + " is a folder";
    return result;
  }
  // Replacing an existing file must do what overwriting it in place would: write through a symbolic
  // link, refuse a file that may not be written, and keep the file's permissions.
  if (fs::is_symlink(fs::symlink_status(target, error))) {
    fs::path resolved = fs::canonical(target, error);
    if (!error) target = std::move(resolved);  // a dangling link is replaced like a missing file
  }
  const fs::file_status existing = fs::status(target, error);
  const bool replacing = !error && fs::is_regular_file(existing);
  // Renaming over a device or a FIFO would replace it with a regular file (/dev/null, say).
  if (!error && fs::exists(existing) && !replacing) {
    result.reason = "cannot save to " + path + ": it is not a regular file (a device, FIFO or socket)";
    return result;
  }
  if (replacing) {
    constexpr fs::perms kWriteBits =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    bool writable = (existing.permissions() & kWriteBits) != fs::perms::none;
#ifndef _WIN32
    writable = writable && ::access(target.c_str(), W_OK) == 0;
#endif
    if (!writable) {
      result.reason = "cannot write " + path + ": " + ErrnoReason(EACCES) + " (the file is read-only)";
      return result;
    }
  }
  // A unique name beside the target, so the rename stays on one file system.
  static std::atomic<unsigned> counter{0};
  fs::path temporary = target;
  temporary += ".tmp" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
               std::to_string(counter++);

  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (file == nullptr) {
    // The temporary name means nothing to the user: say what is wrong with the file's folder.
    const int openErrno = errno;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::exists(folder, error)) {
      result.reason = "cannot save " + path + ": the folder " + folder.string() + " does not exist (" +
                      ErrnoReason(openErrno) + ")";
    } else if (!fs::is_directory(folder, error)) {
      result.reason = "cannot save " + path + ": " + folder.string() + " is not a folder (" +
                      ErrnoReason(openErrno) + ")";
    } else {
      result.reason =
          "cannot save " + path + " in the folder " + folder.string() + ": " + ErrnoReason(openErrno);
    }
    return result;
  }
  const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
  int writeErrno = written == bytes.size() ? 0 : (errno != 0 ? errno : EIO);
  if (writeErrno == 0 && std::fflush(file) != 0) writeErrno = errno != 0 ? errno : EIO;
#ifndef _WIN32
  if (writeErrno == 0 && ::fsync(::fileno(file)) != 0) writeErrno = errno;
#endif
  if (std::fclose(file) != 0 && writeErrno == 0) writeErrno = errno != 0 ? errno : EIO;
  if (writeErrno != 0) {
    fs::remove(temporary, error);
    result.reason = "cannot write " + path + ": " + ErrnoReason(writeErrno);
    return result;
  }
  if (cancelled && cancelled()) {
    // The last moment at which the request can still leave everything as it was.
    fs::remove(temporary, error);
    result.cancelled = true;
    result.reason = "cancelled; " + path + " was not written";
    return result;
  }
  if (replacing) {
    std::error_code ignored;
    fs::permissions(temporary, existing.permissions(), ignored);
  }
  fs::rename(temporary, target, error);
  if (error) {
    result.reason = "cannot replace " + path + ": " + SystemReason(error);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return result;
  }
  result.ok = true;
  result.bytesWritten = bytes.size();
  return result;
}

SaveOutcome SaveParameterFile(ParameterRecordAccess& access, int count, const std::string& path,
                              const std::string& userName, const std::string& company, std::time_t now,
                              const ParameterProgress& progress) {
  SaveOutcome outcome;
  RecordReadResult read = ReadParameterRecords(access, count, progress);
  if (read.countOutOfRange) {
    outcome.result = SaveResult::CountOutOfRange;
    return outcome;
  }
  if (!read.ok) {
    outcome.result = SaveResult::ReadFailed;
    outcome.failedRecord = read.failedRecord;
    outcome.linkError = read.linkError;
    return outcome;
  }
  ParameterFileTrailer trailer{AbsoluteFilePath(path), FormatSaveDate(now), userName, company};
  FileWriteResult written = WriteFileAtomically(path, BuildParameterFile(read.records, trailer));
  if (!written.ok) {
    outcome.result = SaveResult::WriteFailed;
    outcome.reason = written.reason;
    return outcome;
  }
  outcome.result = SaveResult::Saved;
  outcome.bytesWritten = written.bytesWritten;
  return outcome;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason,
                   size_t maxBytes) {
  bytes.clear();
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    reason = path + " is a folder";
    return false;
  }
  if (std::string problem = NonRegularInputProblem(path); !problem.empty()) {
    reason = std::move(problem);
    return false;
  }
  std::FILE* file = OpenRegularFileForReading(path);
  if (file == nullptr) {
    reason = "cannot open " + path + ": " + ErrnoReason(errno);
    return false;
  }
  uint8_t chunk[4096];
  size_t n = 0;
  while (bytes.size() < maxBytes &&
         (n = std::fread(chunk, 1, std::min(sizeof chunk, maxBytes - bytes.size()), file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  const bool failed = std::ferror(file) != 0;
  const int readErrno = errno;
  std::fclose(file);
  if (failed) {
    reason = "cannot read " + path + ": " + ErrnoReason(readErrno != 0 ? readErrno : EIO);
    bytes.clear();
    return false;
  }
  return true;
}

LoadOutcome LoadParameterFile(ParameterRecordAccess& access, int count, const std::string& path,
                              const LoadHooks& hooks) {
  LoadOutcome outcome;
  std::vector<uint8_t> bytes;
  // One byte more than any parameter file, so an oversized file fails the trailer check.
  if (!ReadWholeFile(path, bytes, outcome.reason, kMaxParameterFileBytes + 1)) {
    outcome.result = LoadResult::OpenFailed;  // nothing at all goes to the drive
    return outcome;
  }
  // A file that carries the identification marks the parameters as changed, even when no record
  // was sent; a file with another identification only gets the end-of-load command.
  outcome.markChanged =
      bytes.size() >= kParameterFileHeaderBytes &&
      std::memcmp(bytes.data(), kParameterFileIdentification, kParameterFileHeaderBytes) == 0;

  if (count < 0 || count > kMaxParameterRecords) {
    outcome.result = LoadResult::CountOutOfRange;
  } else {
    const ParsedParameterFile parsed = ParseParameterFile(bytes.data(), bytes.size(), count);
    if (bytes.size() >= kParameterFileHeaderBytes) {
      const size_t whole = (bytes.size() - kParameterFileHeaderBytes) / kParameterRecordBytes;
      outcome.recordsInFile = static_cast<int>(std::min<size_t>(whole, INT_MAX));
    }
    outcome.savedRecordCount = parsed.savedRecordCount;
    switch (parsed.format) {
      case ParameterFileFormat::BadIdentification:
        outcome.result = LoadResult::BadIdentification;
        outcome.recordsInFile = 0;
        break;
      case ParameterFileFormat::TooShort:
        outcome.result = LoadResult::TooShort;
        break;
      case ParameterFileFormat::CountMismatch:
        outcome.result = LoadResult::CountMismatch;
        break;
      case ParameterFileFormat::Ok: {
        outcome.result = LoadResult::Loaded;
        const int toSend = std::max(count - kFirstLoadedRecord, 0);
        auto stop = [&hooks, &outcome] {
          if (!outcome.cancelled && hooks.cancelled) outcome.cancelled = hooks.cancelled();
          return outcome.cancelled;
        };
        for (int record = kFirstLoadedRecord; record < count && !stop(); ++record) {
          const RecordWords& words = parsed.records[static_cast<size_t>(record)];
          bool confirmed = false;
          for (int attempt = 0; attempt < kRecordWriteAttempts && !confirmed; ++attempt) {
            // A record whose first attempt went out counts as sent even when a cancel stops the rest.
            if (attempt > 0 && stop()) break;
            confirmed = access.writeRecord(record, words);
          }
          if (confirmed) {
            ++outcome.recordsConfirmed;
          } else {
            outcome.unconfirmedRecords.push_back(record);
            ++outcome.failedWrites;
          }
          ++outcome.recordsSent;
          if (hooks.progress) hooks.progress(outcome.recordsSent, toSend);
        }
        if (hooks.afterRecordsSent) hooks.afterRecordsSent();
        if (!hooks.cancelled) {
          SleepMs(kLoadPauseMs);
        } else {
          constexpr int kPauseSliceMs = 100;
          for (int paused = 0; paused < kLoadPauseMs && !stop(); paused += kPauseSliceMs)
            SleepMs(std::min(kPauseSliceMs, kLoadPauseMs - paused));
        }
        break;
      }
    }
  }
  // The load ends with the end-of-load command whether or not the file was accepted.
  RecordWords endOfLoad = CommandRequest(kCmdEndOfLoad);
  access.exchangeRecord(kObjectRecord, endOfLoad);
  outcome.endOfLoadSent = true;
  return outcome;
}

}  // namespace axtune
