// The drive link: frames, checksums, resynchronisation and the process-wide port.
#include "link/drive_link.h"

#include <algorithm>
#include <bitset>
#include <mutex>

#include "link/frame_bytes.h"
#include "link/late_answers.h"
#include "link/port_slots.h"

namespace axtune {

std::atomic<int> LinkError{kLinkNoError};

namespace {

constexpr size_t kFrameBytes = 34;     // header, 15 words, checksum
constexpr size_t kBodyBytes = 32;      // what follows the header of a whole-record frame
constexpr size_t kWordFrameBytes = 6;  // single-word write: header, value, checksum
constexpr uint8_t kReadRequest = 0x0F;
constexpr uint8_t kRecordWriteRequest = 0x8F;
constexpr uint8_t kWriteBit = 0x80;  // request: write; reply: error
constexpr uint8_t kWholeRecord = 0x0F;
constexpr uint16_t kObjectReadCommand = 8;  // word 0 of a record-127 object read
// A line that keeps delivering frames for other records would keep resynchronisation going for
// ever; after this many skipped frames (about half a second of traffic at 38400 baud) the read
// gives up as if the record never came.
constexpr int kMaxSkippedFrames = 64;
constexpr uint32_t kReadPerByteMs = 1;
constexpr uint32_t kReadConstantMs = 1000;

SerialTimeouts LinkTimeouts() {
  SerialTimeouts timeouts;
  timeouts.readPerByteMs = kReadPerByteMs;
  timeouts.readConstantMs = kReadConstantMs;
  timeouts.writePerByteMs = 1;
  timeouts.writeConstantMs = 1000;
  return timeouts;
}

struct LinkState {
  // Guards the port's lifetime against the carrier watcher, which queries the modem lines from
  // its own thread. Transfers run on the one GUI thread, which alone opens and closes, so they
  // do not take it.
  std::mutex portMutex;
  std::unique_ptr<SerialPort> port;
  // The same port for lock-free questions ("is it open?"), so that a watcher polling the carrier
  // without pause cannot hold them up.
  std::atomic<SerialPort*> current{nullptr};
  std::array<uint8_t, kFrameBytes> transmit{};
  std::array<uint8_t, kFrameBytes> receive{};
  PortOpenError lastOpenError = PortOpenError::None;
  std::string lastOpenErrorText;
  std::function<bool()> cancelled;  // set on the transferring thread, read between wait slices
  // Records with a request whose answer did not arrive in full: that answer may still come, late,
  // and must not be taken for the answer to a later request for the same record (see settle()).
  std::bitset<256> unanswered;
  bool answered = false;     // the transfer under way got its record's frame or error reply
  bool requestSent = false;  // the last transfer's request went out
};

LinkState& link() {
  static LinkState state;
  return state;
}

size_t sendBytes(size_t count) {
  LinkState& s = link();
  s.answered = false;
  s.requestSent = false;
  if (!s.port || count > s.transmit.size()) return 0;
  const size_t sent = s.port->write(s.transmit.data(), count);
  s.requestSent = sent > 0;  // even part of a request may have reached the drive
  return sent;
}

// One transfer's wait: every read of the transfer, resynchronisation included, ends by the same
// deadline, so a line that keeps delivering frames for other records cannot stretch the transfer
// past the timeout of one attempt. Each read also keeps its own total timeout (n ms + 1000 ms), so
// a silent drive costs what it always did.
class TransferDeadline {
 public:
  TransferDeadline(SerialPort& port, size_t replyBytes)
      : port_(port), deadlineUs_(port.clockUs() + (uint64_t{kReadConstantMs} + replyBytes) * 1000) {}

  size_t read(uint8_t* destination, size_t count) {
    const uint64_t now = port_.clockUs();
    const uint64_t leftMs = now < deadlineUs_ ? (deadlineUs_ - now) / 1000 : 0;
    const auto budgetMs =
        static_cast<uint32_t>(std::min<uint64_t>(leftMs, uint64_t{kReadPerByteMs} * count + kReadConstantMs));
    SerialTimeouts timeouts = LinkTimeouts();
    timeouts.readPerByteMs = 0;
    const std::function<bool()>& cancelled = link().cancelled;
    size_t got = 0;
    if (!cancelled) {
      timeouts.readConstantMs = budgetMs;
      port_.setTimeouts(timeouts);
      got = port_.read(destination, count);
    } else {
      // The same budget in slices, with a look at the hook after each one that left bytes missing.
      // The slice count bounds the loop even on a port whose clock stands still.
      const uint64_t endUs = now + uint64_t{budgetMs} * 1000;
      const uint32_t slices = budgetMs / kLinkCancelSliceMs + 1;
      for (uint32_t slice = 0; slice < slices && got < count; ++slice) {
        const uint64_t at = port_.clockUs();
        const uint64_t restMs = at < endUs ? (endUs - at + 999) / 1000 : 0;
        timeouts.readConstantMs = static_cast<uint32_t>(std::min<uint64_t>(restMs, kLinkCancelSliceMs));
        port_.setTimeouts(timeouts);
        got += port_.read(destination + got, count - got);
        if (got == count || restMs <= kLinkCancelSliceMs || cancelled()) break;
      }
    }
    port_.setTimeouts(LinkTimeouts());
    return got;
  }

 private:
  SerialPort& port_;
  uint64_t deadlineUs_;
};

// Reads into the receive buffer at the given offset; never past its end.
size_t receiveBytes(TransferDeadline& deadline, size_t offset, size_t count) {
  LinkState& s = link();
  if (!s.port || offset > s.receive.size() || count > s.receive.size() - offset) return 0;
  return deadline.read(s.receive.data() + offset, count);
}

size_t discardBytes(TransferDeadline& deadline, size_t count) {
  LinkState& s = link();
  std::array<uint8_t, kBodyBytes> scratch{};
  if (!s.port || count > scratch.size()) return 0;
  return deadline.read(scratch.data(), count);
}

// Drops what an earlier reply left on the line (a reply that came after its transfer gave up, a
// stray byte), so that it cannot be taken for the answer to the request about to go out.
void dropStaleInput() {
  LinkState& s = link();
  if (!s.port) return;
  SerialTimeouts returnAtOnce = LinkTimeouts();
  returnAtOnce.readPerByteMs = 0;
  returnAtOnce.readConstantMs = 0;
  bool changed = false;
  std::array<uint8_t, 64> scratch{};
  for (int round = 0; round < 64; ++round) {
    const size_t waiting = s.port->bytesWaiting();
    if (waiting == 0) break;
    if (!changed) changed = s.port->setTimeouts(returnAtOnce);
    if (s.port->read(scratch.data(), std::min(waiting, scratch.size())) == 0) break;
  }
  if (changed) s.port->setTimeouts(LinkTimeouts());
}

void setErrorFromReply(uint8_t controlByte) {
  LinkError = LinkErrorForDriveCode((controlByte >> 4) & 0x07);
}

// A reply for another record is in the receive header. Skips whole frames until one for `record`
// begins; an error header on the way records its code. True when the header now names `record`.
bool resynchronise(TransferDeadline& deadline, uint8_t record) {
  LinkState& s = link();
  for (int skipped = 0; skipped < kMaxSkippedFrames; ++skipped) {
    const uint8_t control = s.receive[0];
    if (control & kWriteBit) {
      setErrorFromReply(control);  // an error reply is only its header
    } else {
      const size_t rest = (control & 0x0F) == kWholeRecord ? kBodyBytes : 4 + 2 * ((control >> 4) & 0x07);
      discardBytes(deadline, rest);
    }
    if (receiveBytes(deadline, 0, 2) < 2) return false;
    if (s.receive[1] == record) return true;
  }
  return false;
}

// Reads the header of the reply for `record`, skipping frames for other records. False (with
// LinkError set) when none came, or when it is an error reply.
bool receiveHeaderFor(TransferDeadline& deadline, uint8_t record) {
  LinkState& s = link();
  const size_t got = receiveBytes(deadline, 0, 2);
  if (got < 2) {
    // One byte and then nothing is the start of a reply cut off; nothing at all is silence.
    LinkError = got == 0 ? kLinkNoReply : kLinkShortReply;
    return false;
  }
  if (s.receive[1] != record && !resynchronise(deadline, record)) {
    // Bytes came, but never a header for this record: a reply whose header was damaged on the way
    // (or frames for other records only). The drive is there; it is no "no answer".
    LinkError = kLinkDamagedReply;
    return false;
  }
  if (s.receive[0] & kWriteBit) {
    setErrorFromReply(s.receive[0]);
    s.answered = true;  // an error reply is a whole answer: nothing more of it can come
    return false;
  }
  return true;
}

// The rest of a whole-record frame whose header is in the receive buffer, checksum checked.
bool receiveRecordBody(TransferDeadline& deadline) {
  LinkState& s = link();
  if (receiveBytes(deadline, 2, kBodyBytes) < kBodyBytes) {
    LinkError = kLinkShortReply;
    return false;
  }
  const std::span<const uint8_t> frame(s.receive);
  if (FrameChecksum(s.receive.data(), kFrameBytes - 2) != LoadLe16(frame, kFrameBytes - 2)) {
    LinkError = kLinkBadChecksum;
    s.answered = true;  // damaged, but the drive's whole answer: nothing more of it will come
    return false;
  }
  return true;
}

void copyWordsFromReceive(uint16_t* destination) {
  const std::span<const uint8_t> frame(link().receive);
  for (int i = 0; i < kRecordWords; ++i) destination[i] = LoadLe16(frame, 2 + 2 * i);
}

// Reads record `r` as ReadRecord does, without settling first: the fence's read and ReadRecord's work.
bool readRecordNow(uint8_t r, uint16_t* destination15) {
  LinkState& s = link();
  dropStaleInput();
  s.transmit[0] = kReadRequest;
  s.transmit[1] = r;
  sendBytes(2);

  TransferDeadline deadline(*s.port, kFrameBytes);
  if (!receiveHeaderFor(deadline, r) || !receiveRecordBody(deadline)) return false;
  if ((s.receive[0] & 0x0F) != kWholeRecord) {
    LinkError = kLinkDamagedReply;  // a good checksum behind a header that is no whole-record reply
    return false;
  }
  s.answered = true;
  copyWordsFromReceive(destination15);
  return true;
}

// What a finished transfer for `r` tells about answers still on their way. A whole answer (the
// record's frame or its error reply) to a request that had none pending means the drive, which
// answers one request after another, has sent everything it owed before it: nothing is pending any
// more. A request that went out without a whole answer leaves one that may still come.
void noteOutcome(uint8_t r) {
  LinkState& s = link();
  if (s.answered) {
    s.unanswered.reset();
  } else if (s.requestSent) {
    s.unanswered.set(r);
  }
}

// Waits until the line has been quiet for one attempt's timeout, dropping what comes (a bounded
// number of rounds, so a line that never stops talking cannot hold it).
void awaitQuietLine() {
  LinkState& s = link();
  std::array<uint8_t, kFrameBytes * 2> scratch{};
  for (int round = 0; round < 8; ++round) {
    TransferDeadline deadline(*s.port, kFrameBytes);
    if (deadline.read(scratch.data(), scratch.size()) == 0) return;
  }
}

// Records a fence may read: they exist on every drive of the family and reading them changes nothing.
constexpr uint8_t kFenceRecords[] = {kIdentificationRecord, kStatusRecordA, kStatusRecordB, 0, 2};

// Makes sure that no late answer to an earlier request for `r` can be taken for the answer to the
// request about to go out. Requests on the record-127 channel carry nothing that ties an answer to
// its request, and two writes of the same object are answered alike, so the answer is tied to its
// request by order instead: when an earlier request for `r` went unanswered, the link first reads a
// record with no answer pending (the fence) and skips everything in front of its answer. Once the
// fence is answered, every earlier answer has gone by. A fence that gets no answer fails the
// transfer before its request is sent. Only when every fence record has an answer pending too (a
// line dead for a while) does the link fall back to waiting for a quiet line. An open starts with
// nothing owed: what is on the line at open is dropped before the first request, and a fence read
// then would only cost every first object request a record read.
//
// Only the record-127 channel needs this: every other reply names what it answers (a record's words
// as stored, a word's index and value), so a late one is harmless or fails the check.
bool settle(uint8_t r) {
  LinkState& s = link();
  if (r != kObjectRecord) return true;
  if (!s.unanswered.test(r)) return true;
  for (const uint8_t fence : kFenceRecords) {
    if (fence == r || s.unanswered.test(fence)) continue;
    RecordWords scratch{};
    readRecordNow(fence, scratch.data());
    const bool answered = s.answered;
    noteOutcome(fence);
    s.requestSent = false;  // what went out was the fence, not the caller's request
    if (!answered) LinkError = kLinkNoReply;
    return answered;
  }
  awaitQuietLine();
  s.unanswered.reset();
  return true;
}

// One transfer's bookkeeping: settles late answers before the request and notes the outcome after.
class TransferScope {
 public:
  explicit TransferScope(uint8_t record) : record_(record) {
    link().requestSent = false;
    settled_ = settle(record);
  }
  ~TransferScope() {
    if (settled_ || link().requestSent) noteOutcome(record_);
  }
  TransferScope(const TransferScope&) = delete;
  TransferScope& operator=(const TransferScope&) = delete;
  bool settled() const { return settled_; }

 private:
  uint8_t record_;
  bool settled_ = false;
};

}  // namespace

int LinkErrorForDriveCode(int driveCode) {
  const int code = driveCode & 0x07;
  return code <= 5 ? kLinkDriveErrorBase + code : kLinkDriveErrorBase + 6;
}

uint16_t FrameChecksum(const uint8_t* bytes, size_t byteCountWithoutChecksum) {
  if (bytes == nullptr) return 0;
  uint32_t sum = 0;
  for (size_t i = 0; i < byteCountWithoutChecksum; ++i) {
    sum += (i % 2 == 0) ? bytes[i] : static_cast<uint32_t>(bytes[i]) << 8;
  }
  return static_cast<uint16_t>(sum & 0xFFFF);
}

bool OpenLink(const std::string& portName) {
  LinkState& s = link();
  // A port still held would stay locked for good; the caller should have closed it, so do it here.
  if (s.port) CloseLink();

  auto fail = [&s](PortOpenError error, std::string text) {
    std::lock_guard<std::mutex> lock(s.portMutex);
    s.lastOpenError = error;
    s.lastOpenErrorText = std::move(text);
    return false;
  };

  const std::string device = ResolvePortDevice(portName);
  if (device.empty()) {
    const int slot = PortSlotNumber(portName);
    return fail(PortOpenError::NotFound,
                (slot ? "COM" + std::to_string(slot) : portName) + ": no serial device behind this port");
  }
  std::unique_ptr<SerialPort> port = createSerialPort(device);
  if (!port) return fail(PortOpenError::Other, device + ": no serial port backend");

  SerialSettings settings;
  settings.baudRate = 38400;
  settings.dtr = false;  // DTR control "disable"
  settings.rts = true;   // RTS control "enable"
  settings.exclusive = true;
  settings.abortOnError = true;
  if (!port->open(settings)) return fail(port->lastOpenError(), port->lastErrorText());

  if (!port->setTimeouts(LinkTimeouts())) {
    port->close();
    return fail(PortOpenError::BadSettings, device + ": the port does not accept timeouts");
  }

  // Three "A" characters, each its own write; the drive expects them after every open.
  const uint8_t a = 0x41;
  for (int i = 0; i < 3; ++i) port->write(&a, 1);

  std::lock_guard<std::mutex> lock(s.portMutex);
  s.port = std::move(port);
  s.current = s.port.get();
  // Nothing is owed on a fresh port: bytes already waiting are dropped before the first request.
  s.unanswered.reset();
  s.lastOpenError = PortOpenError::None;
  s.lastOpenErrorText.clear();
  return true;
}

bool CloseLink() {
  LinkState& s = link();
  std::lock_guard<std::mutex> lock(s.portMutex);
  if (!s.port) return false;  // closing the closed handle fails, as the OS call would
  if (!s.port->close()) return false;
  s.current = nullptr;
  s.port.reset();
  return true;
}

namespace {

bool clearErrorsHoldingLock() {
  LinkState& s = link();
  return s.port && s.port->clearErrors();
}

}  // namespace

bool ClearLinkErrors() {
  std::lock_guard<std::mutex> lock(link().portMutex);
  return clearErrorsHoldingLock();
}

bool IsCarrierDetected() {
  LinkState& s = link();
  std::lock_guard<std::mutex> lock(s.portMutex);
  if (!s.port) return false;
  ModemStatus status;
  if (!s.port->modemStatus(status)) {
    clearErrorsHoldingLock();
    if (!s.port->modemStatus(status)) return false;
  }
  return status.carrier;
}

bool IsLinkDeviceGone() {
  LinkState& s = link();
  std::lock_guard<std::mutex> lock(s.portMutex);
  return s.port && s.port->deviceGone();
}

bool SetDtr(bool on) {
  LinkState& s = link();
  std::lock_guard<std::mutex> lock(s.portMutex);
  return s.port && s.port->setDtr(on);
}

void SetLinkCancel(std::function<bool()> cancelled) {
  link().cancelled = std::move(cancelled);
}

TransferFate LastTransferFate() {
  const LinkState& s = link();
  if (!s.requestSent) return TransferFate::NotSent;
  return s.answered ? TransferFate::Answered : TransferFate::Unanswered;
}

bool IsLinkOpen() {
  return link().current.load() != nullptr;
}

SerialPort* LinkPort() {
  return link().current.load();
}

PortOpenError LastOpenError() {
  LinkState& s = link();
  std::lock_guard<std::mutex> lock(s.portMutex);
  return s.lastOpenError;
}

std::string LastOpenErrorText() {
  LinkState& s = link();
  std::lock_guard<std::mutex> lock(s.portMutex);
  return s.lastOpenErrorText;
}

bool ReadRecord(int record, uint16_t* destination15) {
  if (destination15 == nullptr) return false;
  LinkState& s = link();
  if (!s.port) {
    LinkError = kLinkNoReply;  // a closed link fails like a silent line
    s.requestSent = false;
    return false;
  }
  const auto r = static_cast<uint8_t>(record & 0xFF);
  const TransferScope scope(r);
  return scope.settled() && readRecordNow(r, destination15);
}

bool ExchangeRecord(int record, uint16_t* buffer15) {
  if (buffer15 == nullptr) return false;
  LinkState& s = link();
  if (!s.port) return s.requestSent = false;
  const auto r = static_cast<uint8_t>(record & 0xFF);
  // Settled before the frame is built: a fence read goes through the same transmit buffer.
  const TransferScope scope(r);
  // When the check of the line got no answer, a write or a command still goes out (a stop must reach
  // a drive whose answers are lost), but no answer can be told from an earlier one: it is not waited
  // for and the exchange fails. A read is not sent: nothing would come of it.
  const bool unchecked = !scope.settled();
  if (unchecked && buffer15[0] == kObjectReadCommand) return false;
  const std::span<uint8_t> frame(s.transmit);
  s.transmit[0] = kRecordWriteRequest;
  s.transmit[1] = r;
  for (int i = 0; i < kRecordWords; ++i) StoreLe16(frame, 2 + 2 * i, buffer15[i]);
  StoreLe16(frame, kFrameBytes - 2, FrameChecksum(s.transmit.data(), kFrameBytes - 2));
  dropStaleInput();
  sendBytes(kFrameBytes);
  if (unchecked) {
    LinkError = kLinkNoReply;
    return false;
  }

  // Only the record's own frame with a good checksum confirms the write: an error reply, a reply
  // for another record (skipped) or a damaged frame fails the exchange and says why in LinkError.
  TransferDeadline deadline(*s.port, kFrameBytes);
  if (!receiveHeaderFor(deadline, r) || !receiveRecordBody(deadline)) return false;
  if ((s.receive[0] & 0x0F) != kWholeRecord) {
    LinkError = kLinkDamagedReply;
    return false;
  }
  s.answered = true;
  copyWordsFromReceive(buffer15);
  return true;
}

bool WriteRecord(int record, const uint16_t* words15, uint16_t* reply15) {
  if (words15 == nullptr) return false;
  RecordWords reply{};
  std::copy(words15, words15 + kRecordWords, reply.begin());
  if (!ExchangeRecord(record, reply.data())) return false;
  if (reply15 != nullptr) std::copy(reply.begin(), reply.end(), reply15);
  return true;
}

bool WriteWords(int record, int wordIndex, uint16_t value) {
  if (record < 0 || record >= kIdentificationRecord) return false;
  // Index 15 would read as a whole-record write and leave the drive waiting for 28 more bytes.
  if (wordIndex < 0 || wordIndex >= kRecordWords) return false;
  LinkState& s = link();
  if (!s.port) {
    setErrorFromReply(s.receive[0]);
    s.requestSent = false;
    return false;
  }
  const auto r = static_cast<uint8_t>(record);
  const TransferScope scope(r);  // before the frame: a fence read uses the same buffer
  if (!scope.settled()) return false;
  const std::span<uint8_t> frame(s.transmit);
  s.transmit[0] = static_cast<uint8_t>(kWriteBit | wordIndex);
  s.transmit[1] = r;
  StoreLe16(frame, 2, value);
  StoreLe16(frame, 4, FrameChecksum(s.transmit.data(), 4));
  dropStaleInput();
  sendBytes(kWordFrameBytes);

  // Six bytes are the reply, whatever they hold: a drive may repeat the request (0x80 | index
  // first), confirm it (the index first) or answer in a way of its own, and the line was cleared
  // before the request, so they answer this write. An error reply is only its two header bytes; its
  // shape ends the wait early only where no six-byte reply could start the same way.
  TransferDeadline deadline(*s.port, kWordFrameBytes);
  size_t got = receiveBytes(deadline, 0, 2);
  if (got == 2 && IsUnmistakableErrorHeader(s.receive[0])) {
    setErrorFromReply(s.receive[0]);
    s.answered = true;  // an error reply is the drive's whole answer
    return false;
  }
  if (got == 2) got += receiveBytes(deadline, 2, kWordFrameBytes - 2);
  if (got < kWordFrameBytes) {
    // When nothing came, the buffer still holds the previous reply's first byte.
    setErrorFromReply(s.receive[0]);
    return false;
  }
  s.answered = true;
  return true;
}

}  // namespace axtune
