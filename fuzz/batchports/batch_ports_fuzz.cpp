// Arbitrary bytes as the ports file of batch. A text is refused or gives ports that are trimmed,
// non-empty and free of line ends, comments and control bytes; every port, made file-safe for
// {port}, is a non-empty name of letters, digits, '.', '_' and '-' that is neither "." nor "..".
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/batch_targets.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> ports;
  std::string error;
  const bool ok = axtune::cli::ParsePortsText(text, "fuzz.txt", ports, error);
  check(ok == error.empty());
  if (!ok) check(ports.empty());
  for (const std::string& port : ports) {
    check(!port.empty());
    check(port.front() != ' ' && port.front() != '\t' && port.back() != ' ' && port.back() != '\t');
    for (const char c : port) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && c != '#');
    const std::string safe = axtune::cli::FileSafePort(port);
    check(!safe.empty() && safe != "." && safe != "..");
    for (const char c : safe) {
      check((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
            c == '_' || c == '-');
    }
    const std::string expanded = axtune::cli::ExpandDrivePlaceholders("x-{port}-{type}-{n}", port, port, 7);
    check(expanded.find('/') == std::string::npos);
  }
  return 0;
}
