// A small JSON reader for the tests: parses the tool's --json output back into values, so the
// tests check what a script would see.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace axtune::cli::testing {

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  const JsonValue& operator[](const std::string& key) const {
    auto it = members.find(key);
    if (kind != Kind::Object || it == members.end()) throw std::runtime_error("no member " + key);
    return it->second;
  }
  const JsonValue& operator[](size_t index) const { return items.at(index); }
  bool has(const std::string& key) const { return members.count(key) != 0; }
  long long integer() const { return static_cast<long long>(number); }
  bool isNull() const { return kind == Kind::Null; }
};

class JsonReader {
 public:
  // Throws std::runtime_error on anything that is not exactly one JSON value (plus white space).
  static JsonValue parse(const std::string& text) {
    JsonReader reader(text);
    JsonValue value = reader.value();
    reader.space();
    if (reader.pos_ != text.size())
      throw std::runtime_error("trailing text at " + std::to_string(reader.pos_));
    return value;
  }

 private:
  explicit JsonReader(const std::string& text) : text_(text) {}

  void space() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t')) {
      ++pos_;
    }
  }
  char peek() {
    space();
    if (pos_ >= text_.size()) throw std::runtime_error("unexpected end");
    return text_[pos_];
  }
  void expect(char c) {
    if (peek() != c) throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(pos_));
    ++pos_;
  }
  bool literal(const char* word) {
    const std::string w(word);
    if (text_.compare(pos_, w.size(), w) != 0) return false;
    pos_ += w.size();
    return true;
  }

  JsonValue value() {
    JsonValue v;
    const char c = peek();
    if (c == '{') {
      v.kind = JsonValue::Kind::Object;
      ++pos_;
      if (peek() == '}') {
        ++pos_;
        return v;
      }
      for (;;) {
        std::string key = stringValue();
        expect(':');
        v.members[key] = value();
        if (peek() == ',') {
          ++pos_;
          continue;
        }
        expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.kind = JsonValue::Kind::Array;
      ++pos_;
      if (peek() == ']') {
        ++pos_;
        return v;
      }
      for (;;) {
        v.items.push_back(value());
        if (peek() == ',') {
          ++pos_;
          continue;
        }
        expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.kind = JsonValue::Kind::String;
      v.string = stringValue();
      return v;
    }
    if (literal("true")) {
      v.kind = JsonValue::Kind::Bool;
      v.boolean = true;
      return v;
    }
    if (literal("false")) {
      v.kind = JsonValue::Kind::Bool;
      return v;
    }
    if (literal("null")) return v;
    const char* begin = text_.c_str() + pos_;
    char* end = nullptr;
    v.number = std::strtod(begin, &end);
    if (end == begin) throw std::runtime_error("bad value at " + std::to_string(pos_));
    v.kind = JsonValue::Kind::Number;
    pos_ += static_cast<size_t>(end - begin);
    return v;
  }

  std::string stringValue() {
    expect('"');
    std::string out;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      char c = text_[pos_++];
      if (static_cast<unsigned char>(c) < 0x20) throw std::runtime_error("raw control character in string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) break;
      const char e = text_[pos_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'u': {
          const unsigned code = static_cast<unsigned>(std::stoul(text_.substr(pos_, 4), nullptr, 16));
          pos_ += 4;
          out += static_cast<char>(code);  // the tool escapes only control characters this way
          break;
        }
        default:
          out += e;
          break;
      }
    }
    if (pos_ >= text_.size()) throw std::runtime_error("unterminated string");
    ++pos_;
    return out;
  }

  const std::string& text_;
  size_t pos_ = 0;
};

}  // namespace axtune::cli::testing
