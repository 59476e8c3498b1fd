// The main window's title: which drive the tool talks to and through which port, so that a
// technician with several windows or drives always sees where a change goes. Plain text in the
// current language, so tests read it without a window.
#pragma once

#include <string>

namespace axtune {

struct TitleConnection {
  enum class State { Starting, NoPort, NoDrive, Connected, AdapterUnplugged };
  State state = State::Starting;
  int port = 0;              // the open port's slot (1..12); ignored for Starting and NoPort
  std::string driveType;     // "QMX10-BA", for Connected
  std::string driveVersion;  // "4.1.7", for Connected (trailing blanks are dropped)
};

// "Axtune – QMX10-BA 4.1.7 on COM1 (/dev/ttyUSB0)"; "Axtune – COM1 (/dev/ttyUSB0), no drive";
// "Axtune – COM1 (/dev/ttyUSB0), USB adapter unplugged"; "Axtune – no port open"; "Axtune" while the start-up
// connection has not decided yet. The port is shown as the port menu names it: its device, the address of a
// network port, or the simulated drive.
std::string MainWindowTitle(const TitleConnection& connection);

}  // namespace axtune
