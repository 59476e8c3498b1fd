// The machine-readable side of a command that batch runs as a child: progress as event lines on the
// error stream, and the few fields batch reads back from a child's JSON result.
#include "cli/progress_events.h"

#include <cstdlib>
#include <ostream>

#include "cli/cli_internal.h"

namespace axtune::cli {

namespace {

// Where the value of "key" starts in JSON text written by Json (`"key": value` or `"key":value`);
// npos when the key is not there. The first occurrence is taken: the results put their own fields
// before any nested object.
size_t ValueStart(const std::string& text, const std::string& key) {
  const std::string quoted = "\"" + key + "\":";
  size_t at = text.find(quoted);
  if (at == std::string::npos) return at;
  at += quoted.size();
  while (at < text.size() && text[at] == ' ') ++at;
  return at < text.size() ? at : std::string::npos;
}

}  // namespace

void WriteProgressEvent(std::ostream& err, const std::string& label, uint64_t done, uint64_t total) {
  Json event = Json::object();
  event.set("label", label)
      .set("done", static_cast<unsigned long long>(done))
      .set("total", static_cast<unsigned long long>(total));
  err << kProgressEventPrefix;
  event.writeLine(err);
  err.flush();
}

bool ReadProgressEvent(const std::string& line, std::string& label, uint64_t& done, uint64_t& total) {
  if (line.rfind(kProgressEventPrefix, 0) != 0) return false;
  const std::string json = line.substr(std::string(kProgressEventPrefix).size());
  double d = 0, t = 0;
  if (!JsonStringField(json, "label", label) || !JsonNumberField(json, "done", d) ||
      !JsonNumberField(json, "total", t) || d < 0 || t < 0) {
    return false;
  }
  done = static_cast<uint64_t>(d);
  total = static_cast<uint64_t>(t);
  return true;
}

bool JsonStringField(const std::string& text, const std::string& key, std::string& value) {
  size_t at = ValueStart(text, key);
  if (at == std::string::npos || text[at] != '"') return false;
  value.clear();
  for (++at; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '"') return true;
    if (c != '\\') {
      value += c;
      continue;
    }
    if (++at >= text.size()) return false;
    switch (text[at]) {
      case 'n':
        value += '\n';
        break;
      case 't':
        value += '\t';
        break;
      case 'r':
        value += '\r';
        break;
      case 'u':
        // Control characters only (the writer escapes nothing else this way).
        if (at + 4 >= text.size()) return false;
        value += static_cast<char>(std::strtol(text.substr(at + 1, 4).c_str(), nullptr, 16));
        at += 4;
        break;
      default:
        value += text[at];
    }
  }
  return false;
}

bool JsonNumberField(const std::string& text, const std::string& key, double& value) {
  const size_t at = ValueStart(text, key);
  if (at == std::string::npos) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str() + at, &end);
  return end != text.c_str() + at;
}

bool JsonBoolField(const std::string& text, const std::string& key, bool& value) {
  const size_t at = ValueStart(text, key);
  if (at == std::string::npos) return false;
  if (text.compare(at, 4, "true") == 0) {
    value = true;
    return true;
  }
  if (text.compare(at, 5, "false") == 0) {
    value = false;
    return true;
  }
  return false;
}

}  // namespace axtune::cli
