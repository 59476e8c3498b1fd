// Object requests and drive commands through record 127.
#include "link/object_access.h"

namespace axtune {

RecordWords CommandRequest(ObjectChannelCommand command) {
  RecordWords request{};
  request[0] = command;
  return request;
}

bool ReadObject(uint16_t index, uint8_t subindex, int32_t* destination) {
  if (destination == nullptr) return false;
  RecordWords words = CommandRequest(kCmdObjectRead);
  words[1] = kSdoUploadRequest;
  words[2] = index;
  words[3] = subindex;
  if (!ExchangeRecord(kObjectRecord, words)) return false;

  // The reply words laid out little-endian: byte 0 command, bytes 1-2 index, 3 subindex, 4-7 value.
  const uint8_t command = static_cast<uint8_t>(words[0] & 0xFF);
  const uint16_t replyIndex = static_cast<uint16_t>((words[1] & 0xFF) << 8 | (words[0] >> 8));
  const uint8_t replySubindex = static_cast<uint8_t>(words[1] >> 8);
  if (command == kSdoAbort || replyIndex != index || replySubindex != subindex) return false;

  // All four bytes as they came: a 1-byte 0xFF reads as 255, never as -1.
  *destination =
      static_cast<int32_t>(static_cast<uint32_t>(words[2]) | static_cast<uint32_t>(words[3]) << 16);
  return true;
}

bool WriteObject(uint16_t index, uint8_t subindex, int size, int32_t value) {
  // Any other size has no download command byte; sending one would write a garbage length.
  if (size < 1 || size > 4) return false;
  RecordWords words = CommandRequest(kCmdObjectWrite);
  words[1] = SdoDownloadCommand(size);
  words[2] = index;
  words[3] = subindex;
  words[4] = static_cast<uint16_t>(value & 0xFFFF);
  words[5] = static_cast<uint16_t>(value >> 16);  // arithmetic shift: the sign is carried
  return ExchangeRecord(kObjectRecord, words);
}

bool StoreParameters() {
  RecordWords words = CommandRequest(kCmdStoreParameters);
  return ExchangeRecord(kObjectRecord, words);
}

StoreReply StoreParametersChecked() {
  RecordWords words = CommandRequest(kCmdStoreParameters);
  if (!ExchangeRecord(kObjectRecord, words)) return StoreReply::NoReply;
  // The drive echoes the sub-command and puts its result behind it; anything else is taken as a store,
  // as before this check existed.
  if (words[0] == kCmdStoreParameters && words[1] != 0) return StoreReply::Refused;
  return StoreReply::Stored;
}

}  // namespace axtune
