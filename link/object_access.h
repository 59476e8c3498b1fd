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

// Only what the object channel's answers fix is checked: the exchange must bring record 127's frame
// with a good checksum (see ExchangeRecord). Beyond that, drives answer in their own ways.
//
// ReadObject wants the SDO answer for the object asked: an expedited upload response (command byte
// 0x42 with or without a size: 0x42, 0x43, 0x46, 0x47, 0x4A, 0x4B, 0x4E, 0x4F), the same index and
// subindex, the value in bytes 4..7. On success the destination holds those bytes, unmasked and not
// sign-extended. Fails (destination untouched) on a failed exchange, an abort (LastObjectAbortCode()
// then has its code), an answer for another object or anything that is not an upload response.
bool ReadObject(uint16_t index, uint8_t subindex, int32_t* destination);
// True when the drive answered the write in full and did not refuse it. The answer's contents are the
// drive's own (the request repeated, zeros, an SDO download response, anything): only an abort
// (command byte 0x80) that names the same index and subindex is a refusal. A true result says that
// the drive took the request, not what it now holds: read the value back where that matters.
bool WriteObject(uint16_t index, uint8_t subindex, int size, int32_t value);
// Whether a record-127 reply is an abort of the request for (index, subindex); its code to `code`.
bool IsObjectAbort(const RecordWords& reply, uint16_t index, uint8_t subindex, uint32_t* code = nullptr);
// The abort code of the last object read or write that the drive refused; 0 when the last one was
// not refused.
uint32_t LastObjectAbortCode();
// The store command: true when the drive's answer arrived in full, whatever it holds.
bool StoreParameters();

// Ready-made command requests {command, 0, ..., 0} for record 127.
RecordWords CommandRequest(ObjectChannelCommand command);

}  // namespace axtune
