#include "link/rfc2217_serial_port.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>

namespace axtune {
namespace {

using Clock = std::chrono::steady_clock;
using namespace rfc2217;

constexpr const char* kScheme = "rfc2217://";
constexpr size_t kSchemeLength = 10;
// The receiving thread stops taking bytes from the network while this much is unread; TCP then
// holds the server back, as a full UART buffer would.
constexpr size_t kMaxQueued = 1 << 20;
constexpr int kReceivePollMs = 100;     // how often the receiving thread looks for a close request
constexpr int kModemStateWaitMs = 200;  // for the lines after the mask was answered

std::atomic<int> g_connectMs{5000};
std::atomic<int> g_answerMs{5000};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string seconds(int ms) {
  return std::to_string((ms + 999) / 1000) + " s";
}

// Names under ".invalid" never resolve, so they are refused without asking a name server.
bool isReservedInvalidName(const std::string& host) {
  const std::string name = lower(host);
  return name == "invalid" || (name.size() > 8 && name.compare(name.size() - 8, 8, ".invalid") == 0);
}

}  // namespace

bool IsRfc2217Name(const std::string& device) {
  return device.size() >= kSchemeLength && lower(device.substr(0, kSchemeLength)) == kScheme;
}

bool ParseRfc2217Name(const std::string& device, std::string& host, uint16_t& port, std::string& error) {
  const std::string usage = "write it as rfc2217://HOST:PORT, for example rfc2217://192.168.1.20:4001";
  if (!IsRfc2217Name(device)) {
    error = "not a network port name; " + usage;
    return false;
  }
  std::string rest = device.substr(kSchemeLength);
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  size_t colon = std::string::npos;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
      error = "an IPv6 address needs brackets and a port; " + usage;
      return false;
    }
    host = rest.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = rest.rfind(':');
    if (colon == std::string::npos) {
      error = "the port number is missing; " + usage;
      return false;
    }
    host = rest.substr(0, colon);
    if (host.find(':') != std::string::npos) {
      error = "an IPv6 address needs brackets; " + usage;
      return false;
    }
  }
  const std::string number = rest.substr(colon + 1);
  if (host.empty()) {
    error = "the host is missing; " + usage;
    return false;
  }
  if (number.empty() || number.size() > 5 ||
      !std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
    error = "'" + number + "' is not a port number; " + usage;
    return false;
  }
  const long value = std::stol(number);
  if (value < 1 || value > 65535) {
    error = "the port number must lie between 1 and 65535; " + usage;
    return false;
  }
  port = static_cast<uint16_t>(value);
  return true;
}

void SetRfc2217Patience(const Rfc2217Patience& patience) {
  g_connectMs = std::max(1, patience.connectMs);
  g_answerMs = std::max(1, patience.answerMs);
}

Rfc2217Patience GetRfc2217Patience() {
  return Rfc2217Patience{g_connectMs.load(), g_answerMs.load()};
}

Rfc2217SerialPort::Rfc2217SerialPort(std::string device) : device_(std::move(device)) {}

Rfc2217SerialPort::~Rfc2217SerialPort() {
  close();
}

bool Rfc2217SerialPort::isOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

bool Rfc2217SerialPort::failOpen(PortOpenError error, const std::string& text) {
  close();
  openError_ = error;
  errorText_ = device_ + ": " + text;
  return false;
}

template <typename Done>
bool Rfc2217SerialPort::waitFor(std::unique_lock<std::mutex>& lock, int timeoutMs, Done done) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  changed_.wait_until(lock, deadline, [&] { return done() || lost_ || stopping_; });
  return done();
}

std::string Rfc2217SerialPort::receivedText() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  for (uint8_t c : received_) {
    if (text.size() >= 120) break;
    text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text.empty() ? std::string() : " The server said: \"" + text + "\"";
}

bool Rfc2217SerialPort::open(const SerialSettings& settings) {
  close();
  openError_ = PortOpenError::None;
  errorText_.clear();
  std::string problem;
  if (!ParseRfc2217Name(device_, host_, tcpPort_, problem)) return failOpen(PortOpenError::NotFound, problem);
  if (settings.baudRate <= 0) return failOpen(PortOpenError::BadSettings, "no baud rate given");
  const Rfc2217Patience patience = GetRfc2217Patience();
  const std::string where = host_ + " port " + std::to_string(tcpPort_);
  if (isReservedInvalidName(host_)) {
    return failOpen(
        PortOpenError::NotFound,
        "the host name " + host_ + " is unknown: check the name or use the device server's IP address");
  }

  ConnectError error = ConnectError::None;
  std::string text;
  if (!stream_.connect(host_, tcpPort_, patience.connectMs, error, text)) {
    switch (error) {
      case ConnectError::UnknownHost:
        return failOpen(PortOpenError::NotFound,
                        "the host name " + host_ + " is unknown (" + text +
                            "): check the name or use the device server's IP address");
      case ConnectError::Refused:
        return failOpen(PortOpenError::Other,
                        "the connection to " + where + " was refused (" + text +
                            "): nothing listens there. Check the port number and that the device server, "
                            "ser2net or qmx-sim --rfc2217 is running");
      case ConnectError::Unreachable:
        return failOpen(PortOpenError::Other, host_ + " cannot be reached (" + text + "): check the network");
      case ConnectError::TimedOut:
        return failOpen(PortOpenError::Other, host_ + " did not answer within " +
                                                  seconds(patience.connectMs) +
                                                  ": check the address and the network");
      default:
        return failOpen(PortOpenError::Other, "cannot connect to " + where + " (" + text + ")");
    }
  }

  std::vector<uint8_t> out;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session_ = ClientSession();
    received_.clear();
    lost_ = false;
    stopping_ = false;
    timeouts_ = SerialTimeouts{};
    session_.start(out);
  }
  receiver_ = std::thread(&Rfc2217SerialPort::receiveLoop, this);
  sendEncoded(out, patience.answerMs);

  // The server must take com port control before anything else is asked of it.
  bool agreed = false;
  bool refused = false;
  bool lost = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    waitFor(lock, patience.answerMs,
            [this] { return session_.comPortAgreed() || session_.comPortRefused(); });
    agreed = session_.comPortAgreed();
    refused = session_.comPortRefused();
    lost = lost_;
  }
  if (!agreed) {
    const std::string said = receivedText();
    if (refused) {
      return failOpen(PortOpenError::BadSettings,
                      "the server at " + where +
                          " refuses serial port control (RFC 2217): set that port of the device server to "
                          "RFC 2217 (com port control) mode." +
                          said);
    }
    if (lost) {
      return failOpen(PortOpenError::Busy, "the server at " + where +
                                               " closed the connection before taking serial port control: "
                                               "another client may hold the port." +
                                               said);
    }
    return failOpen(PortOpenError::BadSettings,
                    "the server at " + where + " did not agree to serial port control (RFC 2217) within " +
                        seconds(patience.answerMs) + ": it is not an RFC 2217 port (a raw TCP port?)." +
                        said);
  }

  out.clear();
  AppendComPortCommand32(out, kSetBaudRate, static_cast<uint32_t>(settings.baudRate));
  AppendComPortCommand(out, kSetDataSize, kDataSize8);
  AppendComPortCommand(out, kSetParity, kParityNone);
  AppendComPortCommand(out, kSetStopSize, kStopSize1);
  AppendComPortCommand(out, kSetControl, kControlNoFlowControl);
  AppendComPortCommand(out, kSetControl, settings.dtr ? kControlDtrOn : kControlDtrOff);
  AppendComPortCommand(out, kSetControl, settings.rts ? kControlRtsOn : kControlRtsOff);
  AppendComPortCommand(out, kSetModemStateMask, 0xFF);
  if (!sendEncoded(out, patience.answerMs)) {
    return failOpen(PortOpenError::Other, "the connection to " + where + " broke while the port was set up");
  }
  bool answered = false;
  uint32_t rateAnswer = 0;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // Only the rate's answer decides the open. The server answers in order, but the RFC lets it
    // keep the modem-state mask to itself and common servers (ser2net, pyserial's example server)
    // never answer it: that answer, like the others behind the rate, is taken when it comes.
    answered = waitFor(lock, patience.answerMs, [this] { return session_.answerCount(kSetBaudRate) > 0; });
    lost = lost_;
    rateAnswer = session_.lastBaudRate();
  }
  if (lost) {
    return failOpen(PortOpenError::Other,
                    "the server at " + where + " closed the connection while the port was set up");
  }
  if (!answered) {
    return failOpen(
        PortOpenError::BadSettings,
        "the server at " + where + " did not confirm the line settings within " + seconds(patience.answerMs));
  }
  if (rateAnswer != static_cast<uint32_t>(settings.baudRate)) {
    return failOpen(PortOpenError::BadSettings, "the device server does not take " +
                                                    std::to_string(settings.baudRate) + " baud (it set " +
                                                    std::to_string(rateAnswer) + ")");
  }
  std::unique_lock<std::mutex> lock(mutex_);
  // A server that answered the mask tells the lines right behind that answer, mostly in the same
  // packet; a short wait then lets the carrier be known when the caller asks at once (the GUI does,
  // to decide on its start-up pause). A server that did not answer it is not waited for.
  if (session_.answerCount(kSetModemStateMask) > 0) {
    waitFor(lock, kModemStateWaitMs, [this] { return session_.modemStateKnown(); });
  }
  received_.clear();  // a freshly opened port starts with empty buffers
  baudRate_ = settings.baudRate;
  dtr_ = settings.dtr;
  purgeUnanswered_ = false;
  open_ = true;
  return true;
}

bool Rfc2217SerialPort::close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    stopping_ = true;
  }
  changed_.notify_all();
  stream_.shutdown();
  if (receiver_.joinable()) receiver_.join();
  stream_.close();
  std::lock_guard<std::mutex> lock(mutex_);
  received_.clear();
  stopping_ = false;
  return true;
}

void Rfc2217SerialPort::receiveLoop() {
  std::vector<uint8_t> buffer(4096);
  std::vector<uint8_t> data;
  std::vector<uint8_t> replies;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || received_.size() < kMaxQueued; });
      if (stopping_) return;
    }
    const long got = stream_.receive(buffer.data(), buffer.size(), kReceivePollMs);
    if (got == 0) continue;
    data.clear();
    replies.clear();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (got < 0) {
        lost_ = true;
      } else {
        session_.receive(buffer.data(), static_cast<size_t>(got), data, replies);
        received_.insert(received_.end(), data.begin(), data.end());
      }
    }
    changed_.notify_all();
    if (got < 0) return;
    if (!replies.empty()) sendEncoded(replies, GetRfc2217Patience().answerMs);
  }
}

bool Rfc2217SerialPort::sendEncoded(const std::vector<uint8_t>& bytes, int timeoutMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lost_) return false;
  }
  size_t sent = 0;
  {
    std::lock_guard<std::mutex> lock(sendMutex_);
    sent = stream_.send(bytes.data(), bytes.size(), timeoutMs);
  }
  if (sent == bytes.size()) return true;
  // A command or an escaped byte cut in half would garble everything after it: the connection is
  // given up, and every transfer on it fails from now on.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lost_ = true;
  }
  stream_.shutdown();
  changed_.notify_all();
  return false;
}

bool Rfc2217SerialPort::setTimeouts(const SerialTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return false;
  timeouts_ = timeouts;
  return true;
}

size_t Rfc2217SerialPort::read(uint8_t* buffer, size_t n) {
  if (buffer == nullptr || n == 0) return 0;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!open_) return 0;
  const uint64_t totalMs = uint64_t{timeouts_.readPerByteMs} * n + timeouts_.readConstantMs;
  // Zero total timeouts mean "take what has arrived", never "wait for ever".
  expireUnansweredPurge();
  if (totalMs > 0) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    for (;;) {
      // While a purge is unanswered, the wait ends when the server's patience does, too.
      auto until = deadline;
      if (session_.purgePending() && !purgeUnanswered_)
        until = std::min(until, purgeSentAt_ + std::chrono::milliseconds(GetRfc2217Patience().answerMs));
      changed_.wait_until(lock, until, [&] { return received_.size() >= n || lost_ || stopping_; });
      if (received_.size() >= n || lost_ || stopping_ || Clock::now() >= deadline) break;
      expireUnansweredPurge();
    }
  }
  const size_t count = std::min(n, received_.size());
  std::copy_n(received_.begin(), count, buffer);
  received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(count));
  lock.unlock();
  changed_.notify_all();  // room in the queue for the receiving thread
  return count;
}

size_t Rfc2217SerialPort::write(const uint8_t* data, size_t n) {
  if (data == nullptr || n == 0) return 0;
  uint64_t totalMs = 0;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!open_ || lost_) return 0;
    totalMs = uint64_t{timeouts_.writePerByteMs} * n + timeouts_.writeConstantMs;
    totalMs = std::min<uint64_t>(totalMs, 0x7FFFFFFF);
    // A server that asked us to hold back gets until the write's deadline to resume.
    if (session_.sendingSuspended() &&
        !waitFor(lock, static_cast<int>(totalMs), [this] { return !session_.sendingSuspended(); })) {
      return 0;
    }
  }
  std::vector<uint8_t> escaped;
  AppendEscaped(escaped, data, n);
  return sendEncoded(escaped, static_cast<int>(totalMs)) ? n : 0;
}

bool Rfc2217SerialPort::purge() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ || lost_) return false;
    received_.clear();
    expireUnansweredPurge();
    // Bytes the server sent before it purged are still on their way; the session drops them up to
    // its answer. Nothing waits for that answer: the programmer purges before every kernel packet,
    // and a round trip through a device server for each would cost more than the packet.
    if (!purgeUnanswered_) {
      if (!session_.purgePending()) purgeSentAt_ = Clock::now();
      session_.expectPurgeAnswer();
    }
  }
  std::vector<uint8_t> out;
  AppendComPortCommand(out, kPurgeData, kPurgeBoth);
  return sendEncoded(out, GetRfc2217Patience().answerMs);
}

void Rfc2217SerialPort::expireUnansweredPurge() {
  // A server that leaves a purge unanswered for the answer patience does not answer purges: its
  // data are taken again, and later purges clear only what has arrived.
  if (purgeUnanswered_ || !session_.purgePending()) return;
  if (Clock::now() - purgeSentAt_ < std::chrono::milliseconds(GetRfc2217Patience().answerMs)) return;
  purgeUnanswered_ = true;
  session_.cancelPurges();
}

bool Rfc2217SerialPort::clearErrors() {
  // Line errors are not reported over the network; there is nothing to clear.
  return isOpen();
}

bool Rfc2217SerialPort::setDtr(bool on) {
  if (!isOpen()) return false;
  std::vector<uint8_t> out;
  AppendComPortCommand(out, kSetControl, on ? kControlDtrOn : kControlDtrOff);
  if (!sendEncoded(out, GetRfc2217Patience().answerMs)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  dtr_ = on;
  return true;
}

bool Rfc2217SerialPort::dtrLevel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dtr_;
}

bool Rfc2217SerialPort::connectionAlive() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_ && !lost_;
}

bool Rfc2217SerialPort::setRts(bool on) {
  if (!isOpen()) return false;
  std::vector<uint8_t> out;
  AppendComPortCommand(out, kSetControl, on ? kControlRtsOn : kControlRtsOff);
  return sendEncoded(out, GetRfc2217Patience().answerMs);
}

bool Rfc2217SerialPort::modemStatus(ModemStatus& status) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || lost_ || !session_.modemStateKnown()) return false;
  const uint8_t bits = session_.modemState();
  status.carrier = (bits & kModemCarrier) != 0;
  status.ring = (bits & kModemRing) != 0;
  status.dsr = (bits & kModemDsr) != 0;
  status.cts = (bits & kModemCts) != 0;
  return true;
}

bool Rfc2217SerialPort::setBaudRate(int rate) {
  if (rate <= 0 || !isOpen()) return false;
  uint32_t before = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    before = session_.answerCount(kSetBaudRate);
  }
  std::vector<uint8_t> out;
  AppendComPortCommand32(out, kSetBaudRate, static_cast<uint32_t>(rate));
  if (!sendEncoded(out, GetRfc2217Patience().answerMs)) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  const bool answered = waitFor(lock, GetRfc2217Patience().answerMs,
                                [&] { return session_.answerCount(kSetBaudRate) > before; });
  if (!answered || session_.lastBaudRate() != static_cast<uint32_t>(rate)) return false;
  baudRate_ = rate;
  return true;
}

int Rfc2217SerialPort::baudRate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return baudRate_;
}

size_t Rfc2217SerialPort::bytesWaiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_.size();
}

}  // namespace axtune
