#include "app/window_title.h"

#include <cstdio>

#include "app/connection_state_text.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextTitleDrive = 42600;
constexpr int kTextTitleNoDrive = 42601;
constexpr int kTextTitleNoPort = 42602;
constexpr int kTextTitleUnplugged = 55003;
constexpr const char* kProgram = "Axtune";
// An en dash between the program and what it is connected to.
constexpr const char* kSeparator = " \xE2\x80\x93 ";

std::string Trimmed(const std::string& text) {
  const size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

std::string Format(int id, const std::string& first, const std::string& second = {}) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, Text(id), first.c_str(), second.c_str());
  return buffer;
}
}  // namespace

std::string MainWindowTitle(const TitleConnection& connection) {
  std::string program = kProgram;
  switch (connection.state) {
    case TitleConnection::State::Starting:
      return program;
    case TitleConnection::State::NoPort:
      return program + kSeparator + Text(kTextTitleNoPort);
    case TitleConnection::State::AdapterUnplugged:
      return program + kSeparator + Format(kTextTitleUnplugged, PortLabel(connection.port));
    case TitleConnection::State::NoDrive:
      return program + kSeparator + Format(kTextTitleNoDrive, PortLabel(connection.port));
    case TitleConnection::State::Connected: {
      std::string drive = Trimmed(connection.driveType);
      const std::string version = Trimmed(connection.driveVersion);
      if (!version.empty()) drive += " " + version;
      return program + kSeparator + Format(kTextTitleDrive, drive, PortLabel(connection.port));
    }
  }
  return program;
}

}  // namespace axtune
