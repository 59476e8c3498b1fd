// Object access (index, subindex) tunnelled through record 127, and the whole-drive commands
// carried by the same record.
#pragma once

#include <cstdint>

#include "link/drive_link.h"

namespace axtune {

// Record-127 sub-commands (word 0 of the request).
enum ObjectChannelCommand : uint16_t {
  kCmdEndOfLoad = 4,
  kCmdStoreParameters = 5,
  kCmdObjectWrite = 7,
  kCmdObjectRead = 8,
  kCmdEnterBootLoader = 9,
};

inline constexpr uint8_t kSdoUploadRequest = 0x40;
inline constexpr uint8_t kSdoAbort = 0x80;
inline constexpr uint8_t kSdoDownloadResponse = 0x60;
// Expedited download command byte for a value of 1..4 bytes: 0x23 + 4 * (4 - size).
constexpr uint8_t SdoDownloadCommand(int size) {
  return static_cast<uint8_t>(0x23 + 4 * (4 - size));
}

// Every answer is checked before it counts: the exchange must bring record 127's frame with a good
// checksum (see ExchangeRecord), and the answer must be for the object asked.
//
// On success the destination holds bytes 4..7 of the reply, unmasked and not sign-extended. Fails
// (destination untouched) on a failed exchange, an abort, an answer for another object, or a reply
// that is not an upload response.
bool ReadObject(uint16_t index, uint8_t subindex, int32_t* destination);
// True only when the drive confirms the write of this object (download response 0x60 with the same
// index and subindex); an abort, an answer for another object or a failed exchange is false.
bool WriteObject(uint16_t index, uint8_t subindex, int size, int32_t value);
// Whether a record-127 reply confirms the write of (index, subindex).
bool ObjectWriteConfirmed(const RecordWords& reply, uint16_t index, uint8_t subindex);
// True only when the drive answers the store command with {5, 0}.
bool StoreParameters();

// What became of a store request.
enum class StoreReply {
  Stored,   // the drive answered and did not refuse
  NoReply,  // the reply did not arrive in full
  Refused,  // the drive answered {5, non-zero}: it could not write its parameter memory
};
// Sends the store command like StoreParameters and tells a refusal from a store and from silence.
StoreReply StoreParametersChecked();

// Ready-made command requests {command, 0, ..., 0} for record 127.
RecordWords CommandRequest(ObjectChannelCommand command);

}  // namespace axtune
