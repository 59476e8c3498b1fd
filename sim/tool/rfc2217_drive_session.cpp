#include "sim/tool/rfc2217_drive_session.h"

#include <cstring>

namespace axtune::sim {

using namespace rfc2217;

Rfc2217DriveSession::Rfc2217DriveSession(SimulatedDrive& drive, Rfc2217ServerStyle style)
    : drive_(drive), style_(style) {
  options_.acceptLocal(kOptionBinary);
  options_.acceptLocal(kOptionSuppressGoAhead);
  options_.acceptRemote(kOptionBinary);
  options_.acceptRemote(kOptionSuppressGoAhead);
  options_.acceptRemote(kOptionComPort);
  // The port keeps its rate between clients, as a device server's port does.
  claimed_ = drive_.hostOpen(drive_.hostBaudRate(), false);
  if (claimed_ && style_.dtrFollowsClient) {
    dtr_ = true;
    drive_.hostSetDtr(true);
  }
}

Rfc2217DriveSession::~Rfc2217DriveSession() {
  if (!claimed_) return;
  // A server whose DTR follows its client lowers it now: raised before, the processor resets.
  if (style_.dtrFollowsClient) drive_.hostSetDtr(false);
  // Otherwise a client that goes away drops DTR without a reset, as closing a local port does.
  drive_.hostClose();
}

void Rfc2217DriveSession::receive(const uint8_t* bytes, size_t n, std::vector<uint8_t>& out) {
  out_ = &out;
  decoder_.feed(bytes, n, *this);
  out_ = nullptr;
}

void Rfc2217DriveSession::onData(const uint8_t* data, size_t n) {
  if (claimed_) drive_.hostWrite(data, n);
}

void Rfc2217DriveSession::onNegotiation(uint8_t verb, uint8_t option) {
  const bool comPortBefore = options_.remoteOn(kOptionComPort);
  options_.receive(verb, option, *out_);
  // From the moment the client takes com port control it hears about the modem lines.
  if (!comPortBefore && options_.remoteOn(kOptionComPort)) notifyModemState(true);
}

void Rfc2217DriveSession::onSubnegotiation(uint8_t option, const uint8_t* data, size_t n) {
  if (option != kOptionComPort || n == 0 || data[0] >= kCommandCount) return;
  onCommand(data[0], data + 1, n - 1);
}

void Rfc2217DriveSession::onCommand(uint8_t code, const uint8_t* value, size_t size) {
  std::vector<uint8_t>& out = *out_;
  const uint8_t answer = static_cast<uint8_t>(code + kServerOffset);
  switch (code) {
    case kSignature:
      if (size == 0) {
        AppendComPortCommand(out, answer, reinterpret_cast<const uint8_t*>(kSimulatorSignature),
                             std::strlen(kSimulatorSignature));
      }
      return;
    case kSetBaudRate: {
      if (size < 4) return;
      const uint32_t rate =
          (uint32_t{value[0]} << 24) | (uint32_t{value[1]} << 16) | (uint32_t{value[2]} << 8) | value[3];
      // 0 asks for the current rate; anything a UART could run at is taken.
      if (rate != 0 && rate <= 4000000 && static_cast<int>(rate) != drive_.hostBaudRate()) {
        drive_.hostSetBaudRate(static_cast<int>(rate));
      }
      AppendComPortCommand32(out, answer, static_cast<uint32_t>(drive_.hostBaudRate()));
      return;
    }
    case kSetDataSize:
      if (size < 1) return;
      AppendComPortCommand(out, answer, kDataSize8);  // the drive's UART knows only 8N1
      return;
    case kSetParity:
      if (size < 1) return;
      AppendComPortCommand(out, answer, kParityNone);
      return;
    case kSetStopSize:
      if (size < 1) return;
      AppendComPortCommand(out, answer, kStopSize1);
      return;
    case kSetControl:
      if (size < 1) return;
      setControl(value[0]);
      return;
    case kFlowControlSuspend:
      suspended_ = true;
      return;
    case kFlowControlResume:
      suspended_ = false;
      return;
    case kSetLineStateMask:
      if (size < 1) return;
      lineStateMask_ = value[0];
      AppendComPortCommand(out, answer, lineStateMask_);
      return;
    case kSetModemStateMask:
      if (size < 1) return;
      modemMask_ = value[0];
      if (style_.answerModemStateMask) AppendComPortCommand(out, answer, modemMask_);
      notifyModemState(true);  // the client learns the lines at once, not only at the next change
      return;
    case kPurgeData:
      if (size < 1 || value[0] < kPurgeReceive || value[0] > kPurgeBoth) return;
      // What the drive sent and the client has not got yet is dropped; bytes on their way to the
      // drive are already on the wire.
      if (value[0] != kPurgeTransmit) drive_.hostPurge();
      AppendComPortCommand(out, answer, value[0]);
      return;
    default:
      return;  // notifications are the server's to send
  }
}

void Rfc2217DriveSession::setControl(uint8_t value) {
  uint8_t state = value;
  switch (value) {
    case kControlRequestFlow:
    case kControlNoFlowControl:
    case kControlXonXoff:
    case kControlHardware:
      state = kControlNoFlowControl;  // the cable to the drive has no handshake lines
      break;
    case kControlRequestBreak:
      state = breakOn_ ? kControlBreakOn : kControlBreakOff;
      break;
    case kControlBreakOn:
    case kControlBreakOff:
      breakOn_ = value == kControlBreakOn;
      break;
    case kControlRequestDtr:
      state = dtr_ ? kControlDtrOn : kControlDtrOff;
      break;
    case kControlDtrOn:
    case kControlDtrOff:
      dtr_ = value == kControlDtrOn;
      // A falling DTR after a raise resets the drive's processor, as on the real cable.
      if (claimed_) drive_.hostSetDtr(dtr_);
      break;
    case kControlRequestRts:
      state = rts_ ? kControlRtsOn : kControlRtsOff;
      break;
    case kControlRtsOn:
    case kControlRtsOff:
      rts_ = value == kControlRtsOn;
      break;
    case kControlRequestInboundFlow:
    case kControlNoInboundFlowControl:
    case 15:
    case 16:
      state = kControlNoInboundFlowControl;
      break;
    default:
      state = kControlNoFlowControl;  // DCD, DTR or DSR flow control: not on this cable
      break;
  }
  AppendComPortCommand(*out_, static_cast<uint8_t>(kSetControl + kServerOffset), state);
}

uint8_t Rfc2217DriveSession::modemLines() {
  const ModemStatus status = drive_.modemStatus();
  return static_cast<uint8_t>((status.carrier ? kModemCarrier : 0) | (status.dsr ? kModemDsr : 0) |
                              (status.cts ? kModemCts : 0) | (status.ring ? kModemRing : 0));
}

void Rfc2217DriveSession::notifyModemState(bool always) {
  if (!options_.remoteOn(kOptionComPort)) return;
  const uint8_t lines = modemLines();
  uint8_t deltas = 0;
  if (lastModemLines_ >= 0) {
    const uint8_t changed = static_cast<uint8_t>(lines ^ lastModemLines_);
    if (changed & kModemCarrier) deltas |= kModemDeltaCarrier;
    if (changed & kModemDsr) deltas |= kModemDeltaDsr;
    if (changed & kModemCts) deltas |= kModemDeltaCts;
    if ((changed & kModemRing) && !(lines & kModemRing)) deltas |= kModemRingTrailingEdge;
  }
  const bool masked =
      ((lines ^ (lastModemLines_ < 0 ? 0 : lastModemLines_)) & modemMask_) != 0 || (deltas & modemMask_) != 0;
  lastModemLines_ = lines;
  if (!always && !masked) return;
  AppendComPortCommand(*out_, static_cast<uint8_t>(kNotifyModemState + kServerOffset),
                       static_cast<uint8_t>((lines | deltas) & modemMask_));
}

void Rfc2217DriveSession::poll(std::vector<uint8_t>& out) {
  out_ = &out;
  if (lastModemLines_ < 0 || modemLines() != lastModemLines_) notifyModemState(false);
  if (claimed_ && !suspended_) {
    arrived_.clear();
    drive_.takeArrived(arrived_);
    AppendEscaped(out, arrived_.data(), arrived_.size());
  }
  out_ = nullptr;
}

}  // namespace axtune::sim
