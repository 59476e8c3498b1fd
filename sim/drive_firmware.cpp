// Frames, records and the record-127 channel of the drive firmware.
#include "sim/drive_firmware.h"

#include <algorithm>
#include <filesystem>

#include "sim/record_layout.h"

namespace axtune::sim {

DriveFirmware::DriveFirmware(const SimConfig& config)
    : config_(config),
      recordCount_(std::clamp(config.recordCount, 0, kMaxParameterRecords)),
      parser_(config.frameGapUs),
      motion_(config.axis, records_),
      supplyVolts_(config.supplyVolts),
      ambientCelsius_(config.ambientCelsius),
      temperature_(config.ambientCelsius),
      noise_(config.noiseSeed) {
  FillDefaultRecords(stored_);
  if (!config.persistentImagePath.empty()) {
    // A missing image is normal for a new drive: it then starts with its factory defaults. A file
    // that is there but not an image is left alone (the next store replaces it) and reported.
    std::error_code ignored;
    const bool exists = std::filesystem::exists(config.persistentImagePath, ignored);
    if (!LoadParameterImage(config.persistentImagePath, stored_, &imageWarning_)) {
      FillDefaultRecords(stored_);
      if (!exists) imageWarning_.clear();
    }
  }
  restart();
}

void DriveFirmware::restart() {
  records_ = stored_;
  channelReply_.fill(0);
  stateMachine_.restart();
  motion_.powerOn();
  controlword_ = 0;
  mode_ = -1;
  selectedProfile_ = 0;
  errorNumber_ = 0;
  setPointAcknowledged_ = false;
  parser_.reset();
  bootRemainingUs_ = config_.bootTimeUs;
  if (bootRemainingUs_ == 0) stateMachine_.boot();
}

void DriveFirmware::onByte(uint8_t byte, std::vector<uint8_t>& out) {
  if (bootRemainingUs_ > 0) return;  // still starting: the receiver is not yet listening
  if (auto request = parser_.feed(byte, nowUs_)) handleRequest(*request, out);
}

void DriveFirmware::appendReply(uint8_t record, const Words15& words, std::vector<uint8_t>& out) const {
  AppendRecordReply(record, words, out);
}

void DriveFirmware::appendError(uint8_t record, uint8_t code, std::vector<uint8_t>& out) {
  out.push_back(static_cast<uint8_t>(0x80 | ((code & 7) << 4)));
  out.push_back(record);
}

bool DriveFirmware::readRecord(int number, Words15& words) {
  if (number >= 0 && number < recordCount_) {
    words = records_[number];
  } else if (number == 127) {
    words = channelReply_;
  } else if (number == 128) {
    words = identification();
  } else if (number == 129) {
    words = status129();
  } else if (number == 131) {
    words = status131();
  } else {
    return false;
  }
  return true;
}

Words15 DriveFirmware::identification() const {
  Words15 words{};
  words[0] = config_.reportedDeviceType();
  words[1] = static_cast<uint16_t>((config_.firmwareMajor << 8) | config_.firmwareMinor);
  words[2] = config_.firmwareBuild;
  words[3] = config_.testFirmware ? 1 : 0;
  words[6] = static_cast<uint16_t>(recordCount_);
  return words;
}

void DriveFirmware::handleRequest(const Request& request, std::vector<uint8_t>& out) {
  const int r = request.record;
  const bool parameter = r < recordCount_;
  const bool readOnly = r == 128 || r == 129 || r == 131;
  switch (request.kind) {
    case Request::Kind::ReadRecord: {
      Words15 words;
      if (!readRecord(r, words)) {
        appendError(request.record, kErrUnknownRecord, out);
        return;
      }
      appendReply(request.record, words, out);
      return;
    }
    case Request::Kind::WriteRecord: {
      if (!request.checksumOk) return appendError(request.record, kErrBadChecksum, out);
      if (readOnly) return appendError(request.record, kErrReadOnlyRecord, out);
      if (r == 127) {
        channelReply_ = objectChannel(request.words);
        appendReply(request.record, channelReply_, out);
        if (request.words[0] == 9 && onEnterBootLoader) onEnterBootLoader();
        return;
      }
      if (!parameter) return appendError(request.record, kErrUnknownRecord, out);
      for (int w = 0; w < 15; ++w) records_[r][w] = LimitedWord(r, w, request.words[w]);
      appendReply(request.record, config_.recordReply == RecordReplyStyle::Echo ? request.words : records_[r],
                  out);
      return;
    }
    case Request::Kind::WriteWord: {
      if (!request.checksumOk) return appendError(request.record, kErrBadChecksum, out);
      if (readOnly) return appendError(request.record, kErrReadOnlyRecord, out);
      if (r == 127) {
        channelReply_[request.wordIndex] = request.words[0];  // kept; a command needs the whole record
      } else if (parameter) {
        records_[r][request.wordIndex] = LimitedWord(r, request.wordIndex, request.words[0]);
      } else {
        return appendError(request.record, kErrUnknownRecord, out);
      }
      const uint8_t first = config_.wordReply == WordReplyStyle::Echo
                                ? static_cast<uint8_t>(0x80 | request.wordIndex)
                                : request.wordIndex;
      uint8_t frame[6] = {first, request.record, 0, 0, 0, 0};
      StoreWord(&frame[2], request.words[0]);
      StoreWord(&frame[4], static_cast<uint16_t>(frame[0] + 256u * frame[1] + request.words[0]));
      out.insert(out.end(), frame, frame + 6);
      return;
    }
  }
}

namespace {

// The SDO reply laid into the first four words: byte 0 command, 1-2 index, 3 subindex, 4-7 data.
Words15 sdoReply(uint8_t command, uint16_t index, uint8_t subindex, uint32_t data) {
  Words15 words{};
  words[0] = static_cast<uint16_t>(command | ((index & 0xFF) << 8));
  words[1] = static_cast<uint16_t>((index >> 8) | (subindex << 8));
  words[2] = static_cast<uint16_t>(data & 0xFFFF);
  words[3] = static_cast<uint16_t>(data >> 16);
  return words;
}

int downloadSize(uint8_t command) {
  switch (command) {
    case 0x23:
      return 4;
    case 0x27:
      return 3;
    case 0x2B:
      return 2;
    case 0x2F:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

Words15 DriveFirmware::objectChannel(const Words15& request) {
  const uint16_t command = request[0];
  const uint16_t index = request[2];
  const auto subindex = static_cast<uint8_t>(request[3]);
  switch (command) {
    case 4:  // end of parameter load: the loaded records are in place and in effect
      return Words15{4, 0};
    case 5:  // store parameters
      store();
      return Words15{5, static_cast<uint16_t>(storeError_.empty() ? 0 : 1)};
    case 9:  // enter the boot loader; the caller hands the line over after this reply
      return Words15{9, 0};
    case 7: {
      const uint8_t sdo = request[1] & 0xFF;
      if (downloadSize(sdo) == 0) return sdoReply(0x80, index, subindex, kAbortCommand);
      const uint32_t value = request[4] | (uint32_t{request[5]} << 16);
      uint32_t abort = 0;
      if (!writeObject(index, subindex, value, abort)) return sdoReply(0x80, index, subindex, abort);
      return sdoReply(0x60, index, subindex, 0);
    }
    case 8: {
      if ((request[1] & 0xFF) != 0x40) return sdoReply(0x80, index, subindex, kAbortCommand);
      uint32_t value = 0;
      uint32_t abort = 0;
      if (!readObject(index, subindex, value, abort)) return sdoReply(0x80, index, subindex, abort);
      const ObjectEntry* entry = FindObject(index, subindex);
      const uint8_t upload = entry->size == 1 ? 0x4F : entry->size == 2 ? 0x4B : 0x43;
      return sdoReply(upload, index, subindex, value);
    }
    default:
      return sdoReply(0x80, 0, 0, kAbortCommand);
  }
}

void DriveFirmware::store() {
  // Only the parameter records the drive has are stored; the rest of the image keeps its contents.
  for (int r = 0; r < recordCount_; ++r) stored_[r] = records_[r];
  storeError_.clear();
  if (!config_.persistentImagePath.empty())
    SaveParameterImage(config_.persistentImagePath, stored_, &storeError_);
}

}  // namespace axtune::sim
