// Object requests and drive commands through record 127.
#include "link/object_access.h"

#include "link/late_answers.h"

namespace axtune {

RecordWords CommandRequest(ObjectChannelCommand command) {
  RecordWords request{};
  request[0] = command;
  return request;
}

namespace {

// The first eight reply bytes (the words laid out little-endian): 0 command, 1-2 index, 3 subindex.
uint8_t CommandByte(const RecordWords& words) {
  return static_cast<uint8_t>(words[0] & 0xFF);
}
uint16_t ReplyIndex(const RecordWords& words) {
  return static_cast<uint16_t>((words[1] & 0xFF) << 8 | (words[0] >> 8));
}
uint8_t ReplySubindex(const RecordWords& words) {
  return static_cast<uint8_t>(words[1] >> 8);
}
uint32_t ReplyValue(const RecordWords& words) {
  return static_cast<uint32_t>(words[2]) | static_cast<uint32_t>(words[3]) << 16;
}

// An expedited upload response: command specifier 2 (bits 5..7) and the expedited bit (1); the size
// bits may say how many bytes count or not.
bool IsExpeditedUploadResponse(uint8_t command) {
  return (command & 0xE2) == 0x42;
}

uint32_t lastAbortCode = 0;

}  // namespace

bool IsObjectAbort(const RecordWords& reply, uint16_t index, uint8_t subindex, uint32_t* code) {
  if (CommandByte(reply) != kSdoAbort || ReplyIndex(reply) != index || ReplySubindex(reply) != subindex)
    return false;
  if (code != nullptr) *code = ReplyValue(reply);
  return true;
}

uint32_t LastObjectAbortCode() {
  return lastAbortCode;
}

bool ReadObject(uint16_t index, uint8_t subindex, int32_t* destination) {
  if (destination == nullptr) return false;
  lastAbortCode = 0;
  RecordWords words = CommandRequest(kCmdObjectRead);
  words[1] = kSdoUploadRequest;
  words[2] = index;
  words[3] = subindex;
  if (!ExchangeRecord(kObjectRecord, words)) return false;
  if (IsObjectAbort(words, index, subindex, &lastAbortCode)) return false;
  if (!IsExpeditedUploadResponse(CommandByte(words)) || ReplyIndex(words) != index ||
      ReplySubindex(words) != subindex) {
    return false;
  }
  // All four bytes as they came: a 1-byte 0xFF reads as 255, never as -1.
  *destination = static_cast<int32_t>(ReplyValue(words));
  return true;
}

bool WriteObject(uint16_t index, uint8_t subindex, int size, int32_t value) {
  return WriteObjectChecked(index, subindex, size, value) == ObjectWriteOutcome::Written;
}

ObjectWriteOutcome WriteObjectChecked(uint16_t index, uint8_t subindex, int size, int32_t value) {
  lastAbortCode = 0;
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
  // The answer's words are the drive's own; only an abort of this very object is a refusal.
  if (IsObjectAbort(words, index, subindex, &lastAbortCode)) return ObjectWriteOutcome::Refused;
  return ObjectWriteOutcome::Written;
}

bool StoreParameters() {
  RecordWords words = CommandRequest(kCmdStoreParameters);
  // What the answer holds is the drive's own: zeros, the request repeated, anything.
  return ExchangeRecord(kObjectRecord, words);
}

}  // namespace axtune
