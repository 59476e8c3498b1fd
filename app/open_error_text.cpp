#include "app/open_error_text.h"

#include <cstdio>

#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextOpenFailed = 40010;
constexpr int kTextPermissionDenied = 40011;
constexpr int kTextBusy = 40012;
constexpr int kTextNotFound = 40013;
constexpr int kTextOsReports = 40014;
constexpr int kTextBadSettings = 40015;

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

  std::string reason;
  switch (error) {
    case PortOpenError::PermissionDenied:
      reason = Text(kTextPermissionDenied);
      break;
    case PortOpenError::Busy:
      reason = Text(kTextBusy);
      break;
    case PortOpenError::NotFound:
      reason = Text(kTextNotFound);
      break;
    case PortOpenError::BadSettings:
      reason = Text(kTextBadSettings);
      break;
    case PortOpenError::Other:
    case PortOpenError::None:
      break;
  }
  text += "\n\n" + where;
  if (!reason.empty()) text += ":\n" + reason;
  if (!osText.empty()) text += "\n" + Format(kTextOsReports, osText);
  return text;
}

}  // namespace axtune
