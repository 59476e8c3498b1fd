#include "controls/write_failure_text.h"

#include <cstdio>

#include "link/drive_link.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextNotWritten = 44400;
constexpr int kTextNoDrive = 44401;
constexpr int kTextNoAnswer = 44402;
constexpr int kTextGarbled = 44403;
constexpr int kTextRefused = 44404;
constexpr int kTextPreviousShown = 44405;
}  // namespace

std::string WriteFailureText(int linkError, bool linkOpen) {
  std::string reason;
  if (!linkOpen) {
    reason = Text(kTextNoDrive);
  } else if (linkError == kLinkBadChecksum) {
    reason = Text(kTextGarbled);
  } else if (linkError > kLinkDriveErrorBase) {
    // Drive code 0 is no refusal the drive sends: a single-word write that got no answer at all
    // takes its code from whatever the last reply began with, which reads as code 0.
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, Text(kTextRefused), linkError - kLinkDriveErrorBase);
    reason = buffer;
  } else {
    reason = Text(kTextNoAnswer);
  }
  return std::string(Text(kTextNotWritten)) + "\n" + reason + "\n" + Text(kTextPreviousShown);
}

}  // namespace axtune
