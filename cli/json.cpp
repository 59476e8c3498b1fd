#include "cli/json.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace axtune::cli {

Json& Json::set(const std::string& key, Json value) {
  kind_ = Kind::Object;
  for (auto& member : members_) {
    if (member.first == key) {
      member.second = std::move(value);
      return *this;
    }
  }
  members_.emplace_back(key, std::move(value));
  return *this;
}

Json& Json::push(Json value) {
  kind_ = Kind::Array;
  items_.push_back(std::move(value));
  return *this;
}

namespace {

// Length of the well-formed UTF-8 sequence at text[i] (1..4), or 0 when the bytes there are not one
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF).
size_t Utf8SequenceLength(const std::string& text, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string JsonEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      // Well-formed UTF-8 passes through; any other byte (a file's names in a Windows code page,
      // say) is taken as Latin-1, so the output is valid UTF-8 whatever the file holds.
      if (const size_t length = Utf8SequenceLength(text, i); length > 0) {
        out.append(text, i, length);
        i += length - 1;
      } else {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

void Json::writeIndented(std::ostream& out, int indent, bool compact) const {
  const std::string pad = compact ? std::string() : std::string(static_cast<size_t>(indent + 2), ' ');
  const std::string closePad = compact ? std::string() : std::string(static_cast<size_t>(indent), ' ');
  const char* open = compact ? "" : "\n";
  const char* separator = compact ? "," : ",\n";
  const char* last = compact ? "" : "\n";
  const char* colon = compact ? ":" : ": ";
  switch (kind_) {
    case Kind::Null:
      out << "null";
      break;
    case Kind::Bool:
      out << (bool_ ? "true" : "false");
      break;
    case Kind::Integer:
      out << integer_;
      break;
    case Kind::Number:
      if (std::isfinite(number_)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", number_);
        out << text;
      } else {
        out << "null";
      }
      break;
    case Kind::String:
      out << '"' << JsonEscape(string_) << '"';
      break;
    case Kind::Array:
      if (items_.empty()) {
        out << "[]";
        break;
      }
      out << '[' << open;
      for (size_t i = 0; i < items_.size(); ++i) {
        out << pad;
        items_[i].writeIndented(out, indent + 2, compact);
        out << (i + 1 < items_.size() ? separator : last);
      }
      out << closePad << ']';
      break;
    case Kind::Object:
      if (members_.empty()) {
        out << "{}";
        break;
      }
      out << '{' << open;
      for (size_t i = 0; i < members_.size(); ++i) {
        out << pad << '"' << JsonEscape(members_[i].first) << '"' << colon;
        members_[i].second.writeIndented(out, indent + 2, compact);
        out << (i + 1 < members_.size() ? separator : last);
      }
      out << closePad << '}';
      break;
  }
}

void Json::write(std::ostream& out) const {
  writeIndented(out, 0, false);
  out << '\n';
}

void Json::writeLine(std::ostream& out) const {
  writeIndented(out, 0, true);
  out << '\n';
}

std::string Json::dump() const {
  std::ostringstream out;
  write(out);
  return out.str();
}

}  // namespace axtune::cli
