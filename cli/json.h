// A small JSON value for the tool's --json output: objects keep their keys in insertion order, so
// the output is stable from run to run.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace axtune::cli {

class Json {
 public:
  enum class Kind { Null, Bool, Integer, Number, String, Array, Object };

  Json() = default;
  Json(std::nullptr_t) {}
  Json(bool value) : kind_(Kind::Bool), bool_(value) {}
  Json(int value) : kind_(Kind::Integer), integer_(value) {}
  Json(long value) : kind_(Kind::Integer), integer_(value) {}
  Json(long long value) : kind_(Kind::Integer), integer_(value) {}
  Json(unsigned value) : kind_(Kind::Integer), integer_(value) {}
  Json(unsigned long value) : kind_(Kind::Integer), integer_(static_cast<int64_t>(value)) {}
  Json(unsigned long long value) : kind_(Kind::Integer), integer_(static_cast<int64_t>(value)) {}
  Json(double value) : kind_(Kind::Number), number_(value) {}
  Json(const char* value) : kind_(Kind::String), string_(value != nullptr ? value : "") {}
  Json(std::string value) : kind_(Kind::String), string_(std::move(value)) {}

  static Json array() {
    Json j;
    j.kind_ = Kind::Array;
    return j;
  }
  static Json object() {
    Json j;
    j.kind_ = Kind::Object;
    return j;
  }

  // Object member (replaces an existing key); returns *this for chaining.
  Json& set(const std::string& key, Json value);
  // Array element.
  Json& push(Json value);

  Kind kind() const { return kind_; }
  // Pretty-printed with two-space indentation and a final newline.
  void write(std::ostream& out) const;
  std::string dump() const;
  // On one line (JSON Lines), with a final newline.
  void writeLine(std::ostream& out) const;

 private:
  void writeIndented(std::ostream& out, int indent, bool compact) const;

  Kind kind_ = Kind::Null;
  bool bool_ = false;
  int64_t integer_ = 0;
  double number_ = 0;
  std::string string_;
  std::vector<Json> items_;
  std::vector<std::pair<std::string, Json>> members_;
};

// The text with JSON string escapes (no quotes around it).
std::string JsonEscape(const std::string& text);

}  // namespace axtune::cli
