#include "core/update_log.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "core/save_target.h"
#include "core/sha256.h"

namespace axtune {
namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Reads the flat object the log writes: string and number values only. Values keep their text
// (strings unescaped); false for anything else.
bool ParseFlatObject(const std::string& line, std::map<std::string, std::string>& fields) {
  size_t i = 0;
  auto skip = [&] {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
  };
  auto string = [&](std::string& out) {
    if (i >= line.size() || line[i] != '"') return false;
    ++i;
    while (i < line.size() && line[i] != '"') {
      char c = line[i++];
      if (c == '\\') {
        if (i >= line.size()) return false;
        c = line[i++];
        if (c == 'u') {
          if (i + 4 > line.size()) return false;
          const std::string digits = line.substr(i, 4);
          char* end = nullptr;
          const unsigned long code = std::strtoul(digits.c_str(), &end, 16);
          if (end != digits.c_str() + 4) return false;
          i += 4;
          if (code < 0x80) {
            out += static_cast<char>(code);
          } else {
            out += '?';  // the log writes only control characters this way
          }
          continue;
        }
        if (c == 'n') c = '\n';
        if (c == 't') c = '\t';
      }
      out += c;
    }
    if (i >= line.size()) return false;
    ++i;
    return true;
  };
  skip();
  if (i >= line.size() || line[i++] != '{') return false;
  for (;;) {
    skip();
    if (i < line.size() && line[i] == '}') return true;
    std::string key, value;
    if (!string(key)) return false;
    skip();
    if (i >= line.size() || line[i++] != ':') return false;
    skip();
    if (i < line.size() && line[i] == '"') {
      if (!string(value)) return false;
    } else {
      while (i < line.size() && line[i] != ',' && line[i] != '}' && line[i] != ' ') value += line[i++];
      if (value.empty()) return false;
    }
    fields[key] = value;
    skip();
    if (i < line.size() && line[i] == ',') {
      ++i;
      continue;
    }
    if (i < line.size() && line[i] == '}') return true;
    return false;
  }
}

}  // namespace

std::string UpdateLogPath() {
  const std::string dir = AxtuneDataDirectory();
  if (dir.empty()) return "updates.jsonl";
  return (std::filesystem::path(dir) / "updates.jsonl").string();
}

std::string UtcTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string UpdateLogLine(const UpdateLogEntry& e) {
  char numbers[160];
  std::snprintf(
      numbers, sizeof numbers,
      "\"file_size\":%llu,\"sections\":%d,\"bytes\":%llu,\"seconds\":%.3f,\"bytes_per_second\":%.0f",
      static_cast<unsigned long long>(e.fileSize), e.sections, static_cast<unsigned long long>(e.bytes),
      e.seconds, e.bytesPerSecond());
  return "{\"time\":" + Quoted(e.time) + ",\"program\":" + Quoted(e.program) + ",\"port\":" + Quoted(e.port) +
         ",\"drive_before\":" + Quoted(e.driveBefore) + ",\"drive_after\":" + Quoted(e.driveAfter) +
         ",\"file\":" + Quoted(e.file) + ",\"sha256\":" + Quoted(e.sha256) +
         ",\"outcome\":" + Quoted(e.outcome) +
         (e.processor.empty() ? std::string() : ",\"processor\":" + Quoted(e.processor)) + "," + numbers +
         "}";
}

std::optional<UpdateLogEntry> ParseUpdateLogLine(const std::string& line) {
  std::map<std::string, std::string> f;
  if (!ParseFlatObject(line, f) || f.count("time") == 0 || f.count("outcome") == 0) return std::nullopt;
  UpdateLogEntry e;
  e.time = f["time"];
  e.program = f["program"];
  e.port = f["port"];
  e.driveBefore = f["drive_before"];
  e.driveAfter = f["drive_after"];
  e.file = f["file"];
  e.sha256 = f["sha256"];
  e.outcome = f["outcome"];
  e.processor = f["processor"];
  e.fileSize = std::strtoull(f["file_size"].c_str(), nullptr, 10);
  e.sections = std::atoi(f["sections"].c_str());
  e.bytes = std::strtoull(f["bytes"].c_str(), nullptr, 10);
  e.seconds = std::strtod(f["seconds"].c_str(), nullptr);
  return e;
}

bool AppendUpdateLog(const UpdateLogEntry& entry, std::string* error, const std::string& path) {
  std::error_code ec;
  const std::filesystem::path file(path);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  // The log is rewritten whole through the atomic writer: a full disk keeps the old log intact
  // instead of leaving half a line at its end.
  std::string text;
  {
    std::ifstream in(file, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += UpdateLogLine(entry) + '\n';
  const FileWriteResult written = WriteBytesAtomically(path, text.data(), text.size());
  if (!written.ok && error != nullptr) *error = written.reason;
  return written.ok;
}

std::vector<UpdateLogEntry> ReadUpdateLog(const std::string& path) {
  std::vector<UpdateLogEntry> entries;
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (std::optional<UpdateLogEntry> e = ParseUpdateLogLine(line)) entries.push_back(*e);
  }
  return entries;
}

std::optional<UpdateLogEntry> LastUpdateOfType(const std::vector<UpdateLogEntry>& log,
                                               const std::string& type) {
  if (type.empty()) return std::nullopt;
  const std::string prefix = type + " ";
  for (auto it = log.rbegin(); it != log.rend(); ++it) {
    const std::string& drive = it->driveAfter.empty() ? it->driveBefore : it->driveAfter;
    if (drive.compare(0, prefix.size(), prefix) == 0) return *it;
  }
  return std::nullopt;
}

std::string DriveIdentificationText(const std::string& type, const std::string& version, int recordCount) {
  if (type.empty()) return {};
  std::string version_ = version;
  while (!version_.empty() && version_.back() == ' ') version_.pop_back();
  return type + " " + version_ + ", " + std::to_string(recordCount) + " records";
}

namespace {
double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}  // namespace

UpdateLogRecorder::UpdateLogRecorder(const std::string& program, const std::string& port,
                                     const std::string& file, const std::string& driveBefore) {
  entry_.time = UtcTimestamp();
  entry_.program = program;
  entry_.port = port;
  entry_.driveBefore = driveBefore;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  entry_.file = ec ? file : absolute.string();
  started_ = SteadySeconds();
}

void UpdateLogRecorder::Restart() {
  started_ = SteadySeconds();
}

double UpdateLogRecorder::Seconds() const {
  return (stopped_ >= 0 ? stopped_ : SteadySeconds()) - started_;
}

void UpdateLogRecorder::Stop() {
  if (stopped_ < 0) stopped_ = SteadySeconds();
}

bool UpdateLogRecorder::Finish(const std::string& outcome, int sections, uint64_t bytes,
                               const std::string& driveAfter, std::string* error, const std::string& path) {
  entry_.outcome = outcome;
  entry_.sections = sections;
  entry_.bytes = bytes;
  entry_.driveAfter = driveAfter;
  entry_.seconds = Seconds();
  // Hashed once the update has checked the file (and taken no FIFO or device for one).
  entry_.sha256 = Sha256OfFile(entry_.file, &entry_.fileSize);
  return AppendUpdateLog(entry_, error, path);
}

}  // namespace axtune
