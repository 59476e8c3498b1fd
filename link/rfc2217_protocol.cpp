#include "link/rfc2217_protocol.h"

namespace axtune::rfc2217 {

void AppendEscaped(std::vector<uint8_t>& out, const uint8_t* data, size_t n) {
  if (data == nullptr) return;
  out.reserve(out.size() + n);
  for (size_t i = 0; i < n; ++i) {
    out.push_back(data[i]);
    if (data[i] == kIac) out.push_back(kIac);
  }
}

void AppendNegotiation(std::vector<uint8_t>& out, uint8_t verb, uint8_t option) {
  out.insert(out.end(), {kIac, verb, option});
}

void AppendComPortCommand(std::vector<uint8_t>& out, uint8_t code, const uint8_t* value, size_t n) {
  out.insert(out.end(), {kIac, kSb, kOptionComPort, code});
  AppendEscaped(out, value, n);
  out.insert(out.end(), {kIac, kSe});
}

void AppendComPortCommand(std::vector<uint8_t>& out, uint8_t code, uint8_t value) {
  AppendComPortCommand(out, code, &value, 1);
}

void AppendComPortCommand32(std::vector<uint8_t>& out, uint8_t code, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  AppendComPortCommand(out, code, bytes, sizeof bytes);
}

// ---- TelnetDecoder --------------------------------------------------------------------------------

void TelnetDecoder::reset() {
  state_ = State::Data;
  sub_.clear();
  run_.clear();
  subTooLong_ = false;
}

void TelnetDecoder::feed(const uint8_t* bytes, size_t n, TelnetEvents& events) {
  if (bytes == nullptr) return;
  auto flush = [this, &events] {
    if (!run_.empty()) {
      events.onData(run_.data(), run_.size());
      run_.clear();
    }
  };
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    switch (state_) {
      case State::Data:
        if (b == kIac) {
          state_ = State::Command;
        } else {
          run_.push_back(b);
        }
        break;
      case State::Command:
        state_ = State::Data;
        if (b == kIac) {
          run_.push_back(kIac);
        } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
          verb_ = b;
          state_ = State::Option;
        } else if (b == kSb) {
          state_ = State::SubOption;
        }
        // Every other command (NOP, GA, data mark, break, a stray SE, ...) carries nothing for us.
        break;
      case State::Option:
        flush();
        events.onNegotiation(verb_, b);
        state_ = State::Data;
        break;
      case State::SubOption:
        subOption_ = b;
        sub_.clear();
        subTooLong_ = false;
        state_ = State::SubData;
        break;
      case State::SubData:
        if (b == kIac) {
          state_ = State::SubCommand;
        } else if (sub_.size() < kMaxSubnegotiation) {
          sub_.push_back(b);
        } else {
          subTooLong_ = true;
        }
        break;
      case State::SubCommand:
        if (b == kIac) {
          if (sub_.size() < kMaxSubnegotiation) {
            sub_.push_back(kIac);
          } else {
            subTooLong_ = true;
          }
          state_ = State::SubData;
        } else if (b == kSe) {
          flush();
          if (!subTooLong_) events.onSubnegotiation(subOption_, sub_.data(), sub_.size());
          sub_.clear();
          state_ = State::Data;
        } else {
          // IAC and anything but SE or IAC inside option data: the block was never ended. Drop it
          // and read the byte as the command it starts.
          sub_.clear();
          state_ = State::Command;
          --i;
        }
        break;
    }
  }
  flush();
}

// ---- OptionNegotiator -----------------------------------------------------------------------------

void OptionNegotiator::request(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
  State& s = option_[option];
  if (verb == kWill) {
    if (s.localOn || s.localPending) return;
    s.localPending = true;
    s.localRefused = false;
    AppendNegotiation(out, kWill, option);
  } else if (verb == kDo) {
    if (s.remoteOn || s.remotePending) return;
    s.remotePending = true;
    s.remoteRefused = false;
    AppendNegotiation(out, kDo, option);
  }
}

void OptionNegotiator::receive(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
  State& s = option_[option];
  switch (verb) {
    case kDo:
      if (s.localOn) return;  // already on: a request for the current state is not answered
      if (s.acceptLocal) {
        s.localOn = true;
        s.localRefused = false;
        if (s.localPending) {
          s.localPending = false;  // the answer to our WILL
        } else {
          AppendNegotiation(out, kWill, option);
        }
      } else {
        AppendNegotiation(out, kWont, option);
      }
      return;
    case kDont:
      if (s.localPending) {
        s.localPending = false;
        s.localRefused = true;
      } else if (s.localOn) {
        s.localOn = false;
        AppendNegotiation(out, kWont, option);
      }
      return;
    case kWill:
      if (s.remoteOn) return;
      if (s.acceptRemote) {
        s.remoteOn = true;
        s.remoteRefused = false;
        if (s.remotePending) {
          s.remotePending = false;
        } else {
          AppendNegotiation(out, kDo, option);
        }
      } else {
        AppendNegotiation(out, kDont, option);
      }
      return;
    case kWont:
      if (s.remotePending) {
        s.remotePending = false;
        s.remoteRefused = true;
      } else if (s.remoteOn) {
        s.remoteOn = false;
        AppendNegotiation(out, kDont, option);
      }
      return;
    default:
      return;
  }
}

// ---- ClientSession --------------------------------------------------------------------------------

ClientSession::ClientSession() {
  options_.acceptLocal(kOptionBinary);
  options_.acceptLocal(kOptionSuppressGoAhead);
  options_.acceptLocal(kOptionComPort);
  options_.acceptRemote(kOptionBinary);
  options_.acceptRemote(kOptionSuppressGoAhead);
}

void ClientSession::start(std::vector<uint8_t>& out) {
  options_.request(kWill, kOptionBinary, out);
  options_.request(kDo, kOptionBinary, out);
  options_.request(kWill, kOptionSuppressGoAhead, out);
  options_.request(kDo, kOptionSuppressGoAhead, out);
  options_.request(kWill, kOptionComPort, out);
}

void ClientSession::receive(const uint8_t* bytes, size_t n, std::vector<uint8_t>& data,
                            std::vector<uint8_t>& replies) {
  data_ = &data;
  replies_ = &replies;
  decoder_.feed(bytes, n, *this);
  data_ = nullptr;
  replies_ = nullptr;
}

void ClientSession::onData(const uint8_t* data, size_t n) {
  if (purgesPending_ > 0) return;  // sent before the server purged: a local purge drops it too
  data_->insert(data_->end(), data, data + n);
}

void ClientSession::onNegotiation(uint8_t verb, uint8_t option) {
  options_.receive(verb, option, *replies_);
}

void ClientSession::onSubnegotiation(uint8_t option, const uint8_t* data, size_t n) {
  if (option != kOptionComPort || n == 0 || data[0] < kServerOffset) return;
  const uint8_t code = static_cast<uint8_t>(data[0] - kServerOffset);
  if (code >= kCommandCount) return;
  const uint8_t* value = data + 1;
  const size_t size = n - 1;
  switch (code) {
    case kSignature:
      if (size == 0) {
        // A request for ours.
        const std::string text = kClientSignature;
        AppendComPortCommand(*replies_, kSignature, reinterpret_cast<const uint8_t*>(text.data()),
                             text.size());
      } else {
        signature_.assign(reinterpret_cast<const char*>(value), size);
      }
      return;
    case kSetBaudRate:
      if (size < 4) return;
      baudRate_ =
          (uint32_t{value[0]} << 24) | (uint32_t{value[1]} << 16) | (uint32_t{value[2]} << 8) | value[3];
      break;
    case kNotifyModemState:
      if (size < 1) return;
      modemState_ = value[0];
      modemStateKnown_ = true;
      break;
    case kNotifyLineState:
      if (size < 1) return;
      lineState_ = value[0];
      break;
    case kPurgeData:
      if (size < 1) return;
      if (purgesPending_ > 0) --purgesPending_;
      break;
    case kFlowControlSuspend:
      suspended_ = true;
      break;
    case kFlowControlResume:
      suspended_ = false;
      break;
    default:
      if (size < 1) return;
      break;
  }
  if (size >= 1) values_[code] = value[0];
  ++answers_[code];
}

}  // namespace axtune::rfc2217
