// Handing an open network port from one owner to the next without closing it.
//
// A device server may lower DTR when its client disconnects (pyserial's example server does, and
// many commercial ones), and a falling DTR resets the drive's processor. During a firmware update the
// drive link hands its port to the flash programmer and takes it back afterwards; a TCP session closed
// and opened in between would reset the processor out of its boot loader. While a PortHandOver is
// alive for a network device ("rfc2217://..."), closing a port on that device keeps its connection
// open ("parked"), and the next open of the same name takes it over, applying the rate, DTR and RTS
// the new owner asks for. A local port keeps its close and open (its DTR does not change on close).
#pragma once

#include <memory>
#include <string>

#include "link/serial_port.h"

namespace axtune {

class PortHandOver {
 public:
  // Does nothing for a device that is not a network port.
  explicit PortHandOver(std::string device);
  // Closes a connection that is still parked (nobody took it back).
  ~PortHandOver();
  PortHandOver(const PortHandOver&) = delete;
  PortHandOver& operator=(const PortHandOver&) = delete;

 private:
  std::string device_;
};

// True while a connection to `device` waits, open, for its next owner.
bool HasParkedConnection(const std::string& device);

// A network port whose close parks its connection while a hand-over runs for its device
// (createSerialPort makes these for "rfc2217://" names).
std::unique_ptr<SerialPort> CreateHandOverNetworkPort(const std::string& device);

}  // namespace axtune
