// Reading the JSON that axtune-cli writes, as far as batch needs it: string, number and truth values
// of a key in a child's result (the first occurrence of the key).
#pragma once

#include <string>

namespace axtune::cli {

bool JsonStringField(const std::string& text, const std::string& key, std::string& value);
bool JsonNumberField(const std::string& text, const std::string& key, double& value);
bool JsonBoolField(const std::string& text, const std::string& key, bool& value);

}  // namespace axtune::cli
