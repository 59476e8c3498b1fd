// Telnet with the com port control option (RFC 2217) as bytes: the constants, the encoders, the
// receiving state machine, option negotiation, and the client's side of a session. No sockets here,
// so that the same code serves the network port, the simulator's server, the tests and the fuzzer.
//
// Telnet (RFC 854): IAC (255) starts a command; a data byte 255 travels as IAC IAC. Options are
// negotiated with IAC WILL/WONT/DO/DONT <option>; option data travels as IAC SB <option> ... IAC SE.
// The com port option (44) carries one command byte and its value: the client sends codes 0..12, the
// server answers and notifies with the same code + 100.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace axtune::rfc2217 {

// Telnet command bytes.
inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

// Telnet options.
inline constexpr uint8_t kOptionBinary = 0;           // RFC 856
inline constexpr uint8_t kOptionEcho = 1;             // RFC 857
inline constexpr uint8_t kOptionSuppressGoAhead = 3;  // RFC 858
inline constexpr uint8_t kOptionComPort = 44;         // RFC 2217

// Com port commands as the client sends them; the server's answer is the code + kServerOffset.
enum ComPortCommand : uint8_t {
  kSignature = 0,
  kSetBaudRate = 1,
  kSetDataSize = 2,
  kSetParity = 3,
  kSetStopSize = 4,
  kSetControl = 5,
  kNotifyLineState = 6,
  kNotifyModemState = 7,
  kFlowControlSuspend = 8,
  kFlowControlResume = 9,
  kSetLineStateMask = 10,
  kSetModemStateMask = 11,
  kPurgeData = 12,
};
inline constexpr uint8_t kServerOffset = 100;
inline constexpr int kCommandCount = 13;

// Values of SET-DATASIZE, SET-PARITY and SET-STOPSIZE; 0 asks for the current value.
inline constexpr uint8_t kDataSize8 = 8;
inline constexpr uint8_t kParityNone = 1;
inline constexpr uint8_t kStopSize1 = 1;

// Values of SET-CONTROL.
inline constexpr uint8_t kControlRequestFlow = 0;
inline constexpr uint8_t kControlNoFlowControl = 1;
inline constexpr uint8_t kControlXonXoff = 2;
inline constexpr uint8_t kControlHardware = 3;
inline constexpr uint8_t kControlRequestBreak = 4;
inline constexpr uint8_t kControlBreakOn = 5;
inline constexpr uint8_t kControlBreakOff = 6;
inline constexpr uint8_t kControlRequestDtr = 7;
inline constexpr uint8_t kControlDtrOn = 8;
inline constexpr uint8_t kControlDtrOff = 9;
inline constexpr uint8_t kControlRequestRts = 10;
inline constexpr uint8_t kControlRtsOn = 11;
inline constexpr uint8_t kControlRtsOff = 12;
inline constexpr uint8_t kControlRequestInboundFlow = 13;
inline constexpr uint8_t kControlNoInboundFlowControl = 14;

// Bits of NOTIFY-MODEMSTATE and SET-MODEMSTATE-MASK.
inline constexpr uint8_t kModemCarrier = 0x80;  // receive line signal detect (DCD)
inline constexpr uint8_t kModemRing = 0x40;
inline constexpr uint8_t kModemDsr = 0x20;
inline constexpr uint8_t kModemCts = 0x10;
inline constexpr uint8_t kModemDeltaCarrier = 0x08;
inline constexpr uint8_t kModemRingTrailingEdge = 0x04;
inline constexpr uint8_t kModemDeltaDsr = 0x02;
inline constexpr uint8_t kModemDeltaCts = 0x01;

// Values of PURGE-DATA (buffers of the server's serial port).
inline constexpr uint8_t kPurgeReceive = 1;   // what the device sent and the client has not got yet
inline constexpr uint8_t kPurgeTransmit = 2;  // what the client sent and the device has not got yet
inline constexpr uint8_t kPurgeBoth = 3;

// Option data longer than this is dropped unread (no command of ours needs more).
inline constexpr size_t kMaxSubnegotiation = 256;

// ---- Encoding -----------------------------------------------------------------------------------

// Appends data with every 255 doubled.
void AppendEscaped(std::vector<uint8_t>& out, const uint8_t* data, size_t n);
// IAC <verb> <option>.
void AppendNegotiation(std::vector<uint8_t>& out, uint8_t verb, uint8_t option);
// IAC SB 44 <code> <value, escaped> IAC SE.
void AppendComPortCommand(std::vector<uint8_t>& out, uint8_t code, const uint8_t* value, size_t n);
void AppendComPortCommand(std::vector<uint8_t>& out, uint8_t code, uint8_t value);
// A four-byte value in network byte order (SET-BAUDRATE).
void AppendComPortCommand32(std::vector<uint8_t>& out, uint8_t code, uint32_t value);

// ---- Decoding -----------------------------------------------------------------------------------

// What the decoder found in the stream, in stream order.
class TelnetEvents {
 public:
  virtual ~TelnetEvents() = default;
  virtual void onData(const uint8_t* data, size_t n) = 0;
  virtual void onNegotiation(uint8_t verb, uint8_t option) = 0;
  // The bytes between IAC SB <option> and IAC SE, unescaped; never more than kMaxSubnegotiation.
  virtual void onSubnegotiation(uint8_t option, const uint8_t* data, size_t n) = 0;
};

// Splits a received Telnet stream into data, negotiations and option data. Any byte sequence is
// accepted: commands it does not know (NOP, GA, BRK, ...) are skipped, an over-long option block is
// dropped, and a stream may be cut anywhere between two calls.
class TelnetDecoder {
 public:
  void feed(const uint8_t* bytes, size_t n, TelnetEvents& events);
  void reset();

 private:
  enum class State { Data, Command, Option, SubOption, SubData, SubCommand };
  State state_ = State::Data;
  uint8_t verb_ = 0;
  uint8_t subOption_ = 0;
  bool subTooLong_ = false;
  std::vector<uint8_t> sub_;
  std::vector<uint8_t> run_;  // data gathered for one onData call
};

// One end's view of the options: which it agrees to, which are on, and what to answer. Answers go
// out only on a change of state, so two ends can never loop (RFC 854's rule).
class OptionNegotiator {
 public:
  // Options this end will enable on its side (answering DO with WILL) and asks the peer to enable
  // (answering WILL with DO). Every other option is refused.
  void acceptLocal(uint8_t option) { option_[option].acceptLocal = true; }
  void acceptRemote(uint8_t option) { option_[option].acceptRemote = true; }
  // Asks for an option: WILL (enable on our side) or DO (enable on the peer's side).
  void request(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);
  // The peer's WILL, WONT, DO or DONT; any answer is appended to `out`.
  void receive(uint8_t verb, uint8_t option, std::vector<uint8_t>& out);

  bool localOn(uint8_t option) const { return option_[option].localOn; }
  bool remoteOn(uint8_t option) const { return option_[option].remoteOn; }
  // The peer answered our WILL with DONT (or withdrew with WONT after our DO).
  bool localRefused(uint8_t option) const { return option_[option].localRefused; }
  bool remoteRefused(uint8_t option) const { return option_[option].remoteRefused; }

 private:
  struct State {
    bool acceptLocal = false, acceptRemote = false;
    bool localOn = false, remoteOn = false;
    bool localPending = false, remotePending = false;
    bool localRefused = false, remoteRefused = false;
  };
  std::array<State, 256> option_{};
};

// The client's side of a session: negotiation, the server's answers and notifications, and the
// data stream (with the bytes that a purge made stale taken out).
class ClientSession : private TelnetEvents {
 public:
  ClientSession();

  // The opening requests: binary both ways, suppress go-ahead both ways, com port control.
  void start(std::vector<uint8_t>& out);
  // Received bytes. Data goes to `data`, answers the protocol owes the server go to `replies`.
  void receive(const uint8_t* bytes, size_t n, std::vector<uint8_t>& data, std::vector<uint8_t>& replies);

  bool comPortAgreed() const { return options_.localOn(kOptionComPort); }
  bool comPortRefused() const { return options_.localRefused(kOptionComPort); }
  bool binaryBothWays() const { return options_.localOn(kOptionBinary) && options_.remoteOn(kOptionBinary); }

  // The server's answers: how many of each command code arrived, and the last value.
  uint32_t answerCount(uint8_t code) const { return code < kCommandCount ? answers_[code] : 0; }
  uint32_t lastBaudRate() const { return baudRate_; }
  uint8_t lastValue(uint8_t code) const { return code < kCommandCount ? values_[code] : 0; }

  // The modem lines the server last notified; unknown until the first notification.
  bool modemStateKnown() const { return modemStateKnown_; }
  uint8_t modemState() const { return modemState_; }
  uint8_t lineState() const { return lineState_; }
  const std::string& serverSignature() const { return signature_; }
  // The server asked us to stop sending (FLOWCONTROL-SUSPEND) and has not resumed yet.
  bool sendingSuspended() const { return suspended_; }

  // A PURGE-DATA was sent: data up to its answer was already in flight before the server purged,
  // so it is dropped. cancelPurges() stops waiting for answers that do not come.
  void expectPurgeAnswer() { ++purgesPending_; }
  void cancelPurges() { purgesPending_ = 0; }
  bool purgePending() const { return purgesPending_ > 0; }

 private:
  void onData(const uint8_t* data, size_t n) override;
  void onNegotiation(uint8_t verb, uint8_t option) override;
  void onSubnegotiation(uint8_t option, const uint8_t* data, size_t n) override;

  TelnetDecoder decoder_;
  OptionNegotiator options_;
  std::vector<uint8_t>* data_ = nullptr;
  std::vector<uint8_t>* replies_ = nullptr;
  std::array<uint32_t, kCommandCount> answers_{};
  std::array<uint8_t, kCommandCount> values_{};
  uint32_t baudRate_ = 0;
  bool modemStateKnown_ = false;
  uint8_t modemState_ = 0;
  uint8_t lineState_ = 0;
  std::string signature_;
  uint32_t purgesPending_ = 0;
  bool suspended_ = false;
};

// The signature this client gives when a server asks for it.
inline constexpr const char* kClientSignature = "Axtune";

}  // namespace axtune::rfc2217
