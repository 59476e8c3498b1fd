// One network client's session with the simulated drive, as a device server in RFC 2217 mode
// holds it: the client's data goes down the cable, its com port commands act on the host end of the
// cable (rate, DTR with the processor reset, purge), and the drive's replies and modem-line changes go
// back. No sockets here; the server feeds it bytes and sends what it produces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/rfc2217_protocol.h"
#include "sim/simulated_drive.h"

namespace axtune::sim {

// How the server behaves where device servers differ.
struct Rfc2217ServerStyle {
  // DTR goes up when a client connects and down when it leaves (a falling DTR resets the processor),
  // as pyserial's example server and many commercial device servers do. Off: the lines stay as the
  // clients set them and a client that leaves drops DTR without a reset, as a local port's close does.
  bool dtrFollowsClient = false;
  // Answers SET-MODEMSTATE-MASK, which the RFC leaves to the server (ser2net and pyserial's server
  // never answer it).
  bool answerModemStateMask = true;
};

class Rfc2217DriveSession : private rfc2217::TelnetEvents {
 public:
  // Claims the drive's host end (false from claimed() when another port holds it); released by
  // the destructor.
  explicit Rfc2217DriveSession(SimulatedDrive& drive, Rfc2217ServerStyle style = {});
  ~Rfc2217DriveSession() override;
  Rfc2217DriveSession(const Rfc2217DriveSession&) = delete;
  Rfc2217DriveSession& operator=(const Rfc2217DriveSession&) = delete;

  bool claimed() const { return claimed_; }
  // The client has taken com port control: the RFC 2217 negotiation is complete.
  bool negotiated() const { return options_.remoteOn(rfc2217::kOptionComPort); }
  // Bytes from the client; everything owed to it is appended to `out`.
  void receive(const uint8_t* bytes, size_t n, std::vector<uint8_t>& out);
  // The drive's reply bytes that have arrived by now and any change of the modem lines.
  void poll(std::vector<uint8_t>& out);

 private:
  void onData(const uint8_t* data, size_t n) override;
  void onNegotiation(uint8_t verb, uint8_t option) override;
  void onSubnegotiation(uint8_t option, const uint8_t* data, size_t n) override;
  void onCommand(uint8_t code, const uint8_t* value, size_t size);
  void setControl(uint8_t value);
  uint8_t modemLines();
  void notifyModemState(bool always);

  SimulatedDrive& drive_;
  const Rfc2217ServerStyle style_;
  bool claimed_ = false;
  rfc2217::TelnetDecoder decoder_;
  rfc2217::OptionNegotiator options_;
  std::vector<uint8_t>* out_ = nullptr;
  std::vector<uint8_t> arrived_;
  bool dtr_ = false;
  bool rts_ = false;
  bool breakOn_ = false;
  bool suspended_ = false;     // the client asked us to hold back (FLOWCONTROL-SUSPEND)
  uint8_t modemMask_ = 0xFF;   // lines the client is told about
  uint8_t lineStateMask_ = 0;  // line errors are never reported
  int lastModemLines_ = -1;    // as last notified; -1 before the first notification
};

// The signature qmx-sim gives when a client asks for it.
inline constexpr const char* kSimulatorSignature = "qmx-sim (simulated QMX10 drive)";

}  // namespace axtune::sim
