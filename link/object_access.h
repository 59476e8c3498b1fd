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
// Expedited download command byte for a value of 1..4 bytes: 0x23 + 4 * (4 - size).
constexpr uint8_t SdoDownloadCommand(int size) {
  return static_cast<uint8_t>(0x23 + 4 * (4 - size));
}

// On success the destination holds bytes 4..7 of the reply, unmasked and not sign-extended.
bool ReadObject(uint16_t index, uint8_t subindex, int32_t* destination);
// True when the exchange's reply arrived in full; an abort from the drive is not examined.
bool WriteObject(uint16_t index, uint8_t subindex, int size, int32_t value);
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
