// The drive link: one process-wide serial connection to one drive and the frame protocol on it.
// Records are 15 little-endian 16-bit words; every transfer is synchronous and blocking.
//
// Process-wide state: one port, one transmit and one receive buffer, and LinkError. All transfers
// run on one thread (the GUI thread); only IsCarrierDetected() is called from the carrier watcher.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "link/serial_port.h"

namespace axtune {

inline constexpr int kRecordWords = 15;
using RecordWords = std::array<uint16_t, kRecordWords>;

inline constexpr int kObjectRecord = 127;          // object and command channel
inline constexpr int kIdentificationRecord = 128;  // device type, firmware version, record count
inline constexpr int kStatusRecordA = 129;         // live status
inline constexpr int kStatusRecordB = 131;         // live status

// LinkError codes.
enum LinkErrorCode : int {
  kLinkNoError = 0,
  kLinkBadChecksum = 1,     // a damaged reply: a wrong checksum, or a header that names no answer
  kLinkDamagedReply = 1,    //   to the request (damaged on the way); a transport error to retry
  kLinkNoReply = 2,         // nothing came back at all
  kLinkShortReply = 3,      // a reply that stopped before its end (one header byte, or fewer than 32
                            // bytes behind the header)
  kLinkDriveErrorBase = 4,  // drive error code c (0..5) gives 4 + c; codes 6 and 7 give 10
};

// Code of the last failure that set it; 0 at start; never reset by a successful transfer.
extern std::atomic<int> LinkError;

// Opens the port named (a slot name "\\.\COMn" or a device path), sets 38400 8N1 and the link's
// timeouts (1 ms per requested byte + 1000 ms), sends three "A" characters. Nothing stays held when
// it fails; LastOpenError()/LastOpenErrorText() then say why.
bool OpenLink(const std::string& portName);
bool CloseLink();
bool ClearLinkErrors();
bool IsCarrierDetected();
// True when the open port's device went away (a USB adapter pulled out); false when closed. Safe
// from the carrier watcher's thread.
bool IsLinkDeviceGone();
bool SetDtr(bool on);
bool IsLinkOpen();

// Every transfer drops bytes left on the line before it sends, and ends within one attempt's
// timeout (reply bytes x 1 ms + 1000 ms), resynchronisation included; see link/README.md.
//
// ReadRecord: the record's whole frame with a good checksum, else false (LinkError says why).
bool ReadRecord(int record, uint16_t* destination15);
// Sends a record write and replaces the buffer with the reply's 15 words. True only when the reply
// is that record's whole frame with a good checksum; otherwise false with LinkError set (2 nothing
// came, 3 short, 1 damaged: checksum or a header for no answer, 4..10 the drive's error reply) and
// the buffer untouched.
bool ExchangeRecord(int record, uint16_t* buffer15);
// A record write that counts when the drive answers with a well-formed reply for that record (the
// checks of ExchangeRecord). The reply's words go to `reply` when given: a drive may answer with the
// words sent or with the record as it now holds it (a clamped value, a read-only word), so they are
// not a promise either way; the caller compares them if it cares.
bool WriteRecord(int record, const uint16_t* words15, uint16_t* reply15 = nullptr);
// Writes one word. True when six reply bytes arrive, whatever they hold (drives answer this write in
// more than one way). False on fewer; the wait ends early only on an error reply that no six-byte
// reply can start with (bit 7 set and a non-zero error code), and LinkError is then that code.
bool WriteWords(int record, int wordIndex, uint16_t value);

inline bool ReadRecord(int record, RecordWords& destination) {
  return ReadRecord(record, destination.data());
}
inline bool ExchangeRecord(int record, RecordWords& buffer) {
  return ExchangeRecord(record, buffer.data());
}
inline bool WriteRecord(int record, const RecordWords& words, RecordWords* reply = nullptr) {
  return WriteRecord(record, words.data(), reply != nullptr ? reply->data() : nullptr);
}
// True when the first two bytes of a single-word write reply can only be an error reply: bit 7 set
// and a non-zero code in bits 4 to 6. A reply that repeats the request starts 0x80 | index (code 0),
// one that confirms starts with the index alone; neither can look like this.
inline bool IsUnmistakableErrorHeader(uint8_t controlByte) {
  return (controlByte & 0x80) != 0 && (controlByte & 0x70) != 0;
}

// A way out of the waits: while `cancelled` returns true, a transfer waits for its reply at most
// one slice of kLinkCancelSliceMs and then fails as a silent line does (LinkError 2 or 3), so a
// program that is asked to stop is not held by a dead line. Without a hook (the default) every wait
// runs its full timeout. The hook runs on the transferring thread, between slices of the wait; it
// must be cheap and must not call the link. An empty function removes it.
inline constexpr int kLinkCancelSliceMs = 100;
void SetLinkCancel(std::function<bool()> cancelled);

// Why the last OpenLink failed (kept for the user interface; the link itself only returns false).
PortOpenError LastOpenError();
std::string LastOpenErrorText();

// The open port, for the few callers that need it beyond the frame protocol (tests); null when closed.
SerialPort* LinkPort();

// Frame helpers, exposed for the simulator and the tests.
// Sum modulo 65536 of the little-endian 16-bit words in the first byteCount bytes (the header
// counts as byte 0 + 256 * byte 1).
uint16_t FrameChecksum(const uint8_t* bytes, size_t byteCountWithoutChecksum);
// LinkError for a drive error code (bits 4..6 of an error reply's first byte): 0..5 give 4..9, 6 and 7
// give 10.
int LinkErrorForDriveCode(int driveCode);

}  // namespace axtune
