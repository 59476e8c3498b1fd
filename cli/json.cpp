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

std::string JsonEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
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
          out += static_cast<char>(c);  // UTF-8 passes through
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
