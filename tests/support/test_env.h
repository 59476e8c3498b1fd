// Setting and clearing environment variables in tests on POSIX and Windows alike.
#pragma once

#include <cstdlib>
#include <string>

namespace axtune::test {

inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  ::setenv(name, value.c_str(), 1);
#endif
}

inline void UnsetEnv(const char* name) {
#ifdef _WIN32
  _putenv_s(name, "");  // an empty value removes the variable on Windows
#else
  ::unsetenv(name);
#endif
}

}  // namespace axtune::test
