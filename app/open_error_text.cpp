#include "app/open_error_text.h"

#include <cstdio>

#include "core/port_open_reason.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextOpenFailed = 40010;
constexpr int kTextOsReports = 40014;

std::string Format(int id, const std::string& value) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, Text(id), value.c_str());
  return buffer;
}
}  // namespace

std::string OpenPortFailureText(int port, const std::string& device, PortOpenError error,
                                const std::string& osText) {
  std::string text = Text(kTextOpenFailed);
  std::string where = "COM" + std::to_string(port);
  if (!device.empty()) where += " (" + device + ")";
  const std::string reason = PortOpenReason(error, device);
  text += "\n\n" + where;
  if (!reason.empty()) text += ":\n" + reason;
  if (!osText.empty()) text += "\n" + Format(kTextOsReports, osText);
  return text;
}

}  // namespace axtune
