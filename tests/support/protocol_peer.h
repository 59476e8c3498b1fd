// A drive inside the test process, for the tests that need one there: a line that goes dead at a
// chosen record, on the fake port's scripted clock. It is NOT an independent drive: it was written by
// the same team as the link and shares its guesses about what the protocol leaves open, namely
// - an object write is answered with the SDO download response 0x60 and the object's index;
// - an object read with the expedited upload response 0x43, always four bytes;
// - the store, end-of-load and other sub-commands with {sub-command, 0, ...};
// - a single-word write with the six request bytes repeated (0x80 | index first);
// - a record write with the record as it now holds it (record 2 word 2 kept at or below 16383;
//   record 0 read-only).
// Tests that claim interoperability run against the reference drive (tests/interop/) instead.
//
// Requests are framed from the written bytes as they come (one write call may hold a frame, several
// or part of one); anything that cannot start a frame (the three "A" after opening) is skipped.
// Plug it into a FakeLine with `line->setResponder(peer.responder())`.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace axtune::test {

class ProtocolPeer {
 public:
  using Bytes = std::vector<uint8_t>;
  using Record = std::array<uint16_t, 15>;

  static constexpr uint16_t kIdleLevelLimit = 16383;

  explicit ProtocolPeer(int recordCount = 20) : count_(recordCount) {
    for (int r = 0; r < count_; ++r)
      for (int w = 0; w < 15; ++w) records_[r][w] = static_cast<uint16_t>(r * 100 + w);
    records_[2][2] = 8192;
    objects_[{0x6041, 0}] = 0x0237;  // statusword: operation enabled
  }

  std::function<Bytes(const Bytes&)> responder() {
    return [this](const Bytes& written) { return receive(written); };
  }

  Record record(int number) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = records_.find(number);
    return it == records_.end() ? Record{} : it->second;
  }
  void setRecord(int number, const Record& words) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_[number] = words;
  }
  uint32_t object(uint16_t index, uint8_t subindex) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find({index, subindex});
    return it == objects_.end() ? 0 : it->second;
  }
  // Sub-commands 4, 5 and 9 of record 127 as they arrived.
  std::vector<uint16_t> commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }
  int wordWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return wordWrites_;
  }
  // From now on every request goes unanswered (a pulled cable).
  void setSilent(bool silent) {
    std::lock_guard<std::mutex> lock(mutex_);
    silent_ = silent;
  }
  // The cable comes out as the write of this record arrives: it and everything after go unanswered.
  void goSilentAtRecordWrite(int number) {
    std::lock_guard<std::mutex> lock(mutex_);
    silentAt_ = number;
  }

 private:
  static uint16_t word(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
  static void put(Bytes& b, uint16_t value) {
    b.push_back(static_cast<uint8_t>(value & 0xFF));
    b.push_back(static_cast<uint8_t>(value >> 8));
  }
  static uint16_t sum(const Bytes& b, size_t n) {
    uint32_t total = 0;
    for (size_t i = 0; i + 1 < n; i += 2) total += word(b, i);
    return static_cast<uint16_t>(total);
  }
  static Bytes wholeRecord(uint8_t number, const Record& words) {
    Bytes frame{0x0F, number};
    for (uint16_t w : words) put(frame, w);
    put(frame, sum(frame, frame.size()));
    return frame;
  }
  static Bytes error(uint8_t number, int code) { return {static_cast<uint8_t>(0x80 | code << 4), number}; }

  Bytes receive(const Bytes& written) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.insert(pending_.end(), written.begin(), written.end());
    Bytes out;
    for (;;) {
      while (!pending_.empty() && pending_[0] != 0x0F && (pending_[0] & 0x80) == 0)
        pending_.erase(pending_.begin());
      if (pending_.size() < 2) break;
      const uint8_t control = pending_[0];
      const size_t length = control == 0x0F ? 2 : (control & 0x0F) == 0x0F ? 34 : 6;
      if (pending_.size() < length) break;
      const Bytes frame(pending_.begin(), pending_.begin() + static_cast<long>(length));
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(length));
      if (length == 34 && frame[1] == silentAt_) silent_ = true;
      if (!silent_) answer(frame, out);
    }
    return out;
  }

  void answer(const Bytes& frame, Bytes& out) {
    const uint8_t number = frame[1];
    if (frame.size() == 2) {
      Record words{};
      if (number < count_) {
        words = records_[number];
      } else if (number == 127) {
        words = channel_;
      } else if (number == 128) {
        words[0] = 1025;    // device type
        words[1] = 0x0401;  // firmware 4.1
        words[6] = static_cast<uint16_t>(count_);
      } else if (number == 129) {
        words[2] = 14000;   // about 49 V
        words[8] = 0x0600;  // neither limit switch reached
        words[14] = 4;
      } else if (number != 131) {
        return append(out, error(number, 1));
      }
      return append(out, wholeRecord(number, words));
    }
    if (sum(frame, frame.size() - 2) != word(frame, frame.size() - 2)) return append(out, error(number, 3));
    if (frame.size() == 6) {
      const int index = frame[0] & 0x0F;
      if (number >= count_ || number == 0) return append(out, error(number, number == 0 ? 2 : 1));
      records_[number][index] = limited(number, index, word(frame, 2));
      ++wordWrites_;
      return append(out, frame);  // the request repeated
    }
    Record words{};
    for (int w = 0; w < 15; ++w) words[w] = word(frame, 2 + 2 * w);
    if (number == 127) {
      channel_ = channel(words);
      return append(out, wholeRecord(number, channel_));
    }
    if (number >= count_ || number == 0) return append(out, error(number, number == 0 ? 2 : 1));
    for (int w = 0; w < 15; ++w) records_[number][w] = limited(number, w, words[w]);
    append(out, wholeRecord(number, records_[number]));
  }

  static uint16_t limited(int number, int index, uint16_t value) {
    return number == 2 && index == 2 && value > kIdleLevelLimit ? kIdleLevelLimit : value;
  }

  // The object channel: word 0 sub-command; an SDO request in words 1 to 5, its answer laid out as
  // bytes from word 0 on (command byte, index, subindex, four data bytes).
  Record channel(const Record& request) {
    const uint16_t command = request[0];
    const uint16_t index = request[2];
    const auto subindex = static_cast<uint8_t>(request[3]);
    Record reply{};
    auto sdo = [&](uint8_t code, uint32_t data) {
      reply[0] = static_cast<uint16_t>(code | (index & 0xFF) << 8);
      reply[1] = static_cast<uint16_t>(index >> 8 | subindex << 8);
      reply[2] = static_cast<uint16_t>(data & 0xFFFF);
      reply[3] = static_cast<uint16_t>(data >> 16);
    };
    if (command == 7) {
      objects_[{index, subindex}] = static_cast<uint32_t>(request[4] | request[5] << 16);
      sdo(0x60, 0);
    } else if (command == 8) {
      sdo(0x43, objects_[{index, subindex}]);
    } else {
      commands_.push_back(command);
      reply[0] = command;
    }
    return reply;
  }

  static void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

  mutable std::mutex mutex_;
  int count_;
  std::map<int, Record> records_;
  Record channel_{};
  std::map<std::pair<uint16_t, uint8_t>, uint32_t> objects_;
  std::vector<uint16_t> commands_;
  Bytes pending_;
  int wordWrites_ = 0;
  bool silent_ = false;
  int silentAt_ = -1;
};

}  // namespace axtune::test
