// Object requests and drive commands through record 127.
#include "link/object_access.h"

#include "link/late_answers.h"

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
  // Only an upload response (0x4n) carries a value; anything else in byte 0 is not an answer to a read.
  if ((command & 0xE0) != kSdoUploadRequest) return false;

  // All four bytes as they came: a 1-byte 0xFF reads as 255, never as -1.
  *destination =
      static_cast<int32_t>(static_cast<uint32_t>(words[2]) | static_cast<uint32_t>(words[3]) << 16);
  return true;
}

bool WriteObject(uint16_t index, uint8_t subindex, int size, int32_t value) {
  return WriteObjectChecked(index, subindex, size, value) == ObjectWriteOutcome::Written;
}

ObjectWriteOutcome WriteObjectChecked(uint16_t index, uint8_t subindex, int size, int32_t value) {
  // Any other size has no download command byte; sending one would write a garbage length.
  if (size < 1 || size > 4) return ObjectWriteOutcome::NotSent;
  RecordWords words = CommandRequest(kCmdObjectWrite);
  words[1] = SdoDownloadCommand(size);
  words[2] = index;
  words[3] = subindex;
  words[4] = static_cast<uint16_t>(value & 0xFFFF);
  words[5] = static_cast<uint16_t>(value >> 16);  // arithmetic shift: the sign is carried
  if (!ExchangeRecord(kObjectRecord, words)) {
    switch (LastTransferFate()) {
      case TransferFate::NotSent:
        return ObjectWriteOutcome::NotSent;
      case TransferFate::Answered:
        // A whole answer that is no record frame is the drive's error reply: it did not take the request.
        return LinkError >= kLinkDriveErrorBase ? ObjectWriteOutcome::Rejected
                                                : ObjectWriteOutcome::NotConfirmed;
      case TransferFate::Unanswered:
        break;
    }
    return ObjectWriteOutcome::NotConfirmed;
  }
  if (ObjectWriteConfirmed(words, index, subindex)) return ObjectWriteOutcome::Written;
  const uint8_t command = static_cast<uint8_t>(words[0] & 0xFF);
  const uint16_t replyIndex = static_cast<uint16_t>((words[1] & 0xFF) << 8 | (words[0] >> 8));
  const uint8_t replySubindex = static_cast<uint8_t>(words[1] >> 8);
  if (command == kSdoAbort && replyIndex == index && replySubindex == subindex)
    return ObjectWriteOutcome::Refused;
  return ObjectWriteOutcome::NotConfirmed;
}

bool ObjectWriteConfirmed(const RecordWords& reply, uint16_t index, uint8_t subindex) {
  const uint8_t command = static_cast<uint8_t>(reply[0] & 0xFF);
  const uint16_t replyIndex = static_cast<uint16_t>((reply[1] & 0xFF) << 8 | (reply[0] >> 8));
  const uint8_t replySubindex = static_cast<uint8_t>(reply[1] >> 8);
  return command == kSdoDownloadResponse && replyIndex == index && replySubindex == subindex;
}

bool StoreParameters() {
  RecordWords words = CommandRequest(kCmdStoreParameters);
  if (!ExchangeRecord(kObjectRecord, words)) return false;
  // The drive answers {5, 0} when its parameter memory took the records, {5, non-zero} when not.
  return words[0] == kCmdStoreParameters && words[1] == 0;
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
