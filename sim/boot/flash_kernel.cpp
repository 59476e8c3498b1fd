#include "sim/boot/flash_kernel.h"

namespace axtune::sim {
namespace {

constexpr size_t kHeader = 8;
constexpr size_t kMaxTotal = 256;
constexpr size_t kCommandBlock = 20;
constexpr uint32_t kMaxWriteWords = (kMaxTotal - kHeader - kCommandBlock) / 2;  // 114
constexpr uint32_t kMaxReadWords = (kMaxTotal - kHeader - 2) / 2;               // 123

uint16_t Big16(const uint8_t* at) {
  return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

}  // namespace

void FlashKernel::start() {
  packet_.clear();
  expected_ = 0;
  lastHostSequence_ = -1;
  nextSequence_ = 0;
}

void FlashKernel::onByte(uint8_t byte, std::vector<uint8_t>& out) {
  static constexpr uint8_t kStart[3] = {0x01, 0x66, 0x99};
  if (packet_.size() < 3) {
    if (byte == kStart[packet_.size()]) {
      packet_.push_back(byte);
    } else {
      packet_.clear();
      if (byte == kStart[0]) packet_.push_back(byte);
    }
    return;
  }
  packet_.push_back(byte);
  if (packet_.size() == kHeader) {
    expected_ = Big16(&packet_[4]);
    if (expected_ < kHeader + 2 || expected_ > kMaxTotal) {
      // No room for a command, or more than a packet can hold: refused at once, and the bytes that
      // follow are skipped until the next packet start.
      acknowledge(0x15, out);
      ++rejected_;
      packet_.clear();
      expected_ = 0;
    }
    return;
  }
  if (expected_ != 0 && packet_.size() == expected_) finishPacket(out);
}

void FlashKernel::finishPacket(std::vector<uint8_t>& out) {
  const bool checksumOk = packet_[6] == 0 && packet_[7] == 0;
  if (!checksumOk) {
    acknowledge(0x15, out);
    ++rejected_;
  } else if (packet_[3] == lastHostSequence_ && !isPing()) {
    acknowledge(0x06, out);  // a repeat: acknowledged again, done only once
  } else {
    lastHostSequence_ = packet_[3];
    acknowledge(0x06, out);
    execute(packet_.data() + kHeader, packet_.size() - kHeader, out);
  }
  packet_.clear();
  expected_ = 0;
}

// A host starts every session with a ping and numbers its packets from 0 again, so a ping is always
// answered, even when its number repeats the last packet of the session before.
bool FlashKernel::isPing() const {
  return packet_.size() >= kHeader + 2 && packet_[kHeader] == 0x00 && packet_[kHeader + 1] == 0x01;
}

void FlashKernel::acknowledge(uint8_t verdict, std::vector<uint8_t>& out) const {
  out.insert(out.end(), {verdict, packet_[1], packet_[2], packet_[3], 0x00, 0x08, packet_[6], packet_[7]});
}

void FlashKernel::respond(uint16_t status, const std::vector<uint16_t>& words, std::vector<uint8_t>& out) {
  const size_t total = kHeader + 2 + 2 * words.size();
  out.insert(out.end(), {0x01, 0x99, 0x66, nextSequence_++, static_cast<uint8_t>(total >> 8),
                         static_cast<uint8_t>(total & 0xFF), 0x00, 0x00, static_cast<uint8_t>(status >> 8),
                         static_cast<uint8_t>(status & 0xFF)});
  for (uint16_t w : words) {
    out.push_back(static_cast<uint8_t>(w >> 8));
    out.push_back(static_cast<uint8_t>(w & 0xFF));
  }
}

void FlashKernel::execute(const uint8_t* data, size_t n, std::vector<uint8_t>& out) {
  ++executed_;
  const uint16_t code = Big16(data);
  if (code == 0x0001) {
    // The ping answer carries 0x00..0x09 after its status (bytes, here packed two to a word).
    respond(kKernelOk, {0x0001, 0x0203, 0x0405, 0x0607, 0x0809}, out);
    return;
  }
  if (n < kCommandBlock || data[18] != 0xFF || data[19] != 0xFF) {
    respond(kKernelCommandError, {}, out);
    return;
  }
  const uint32_t address = (uint32_t{Big16(data + 2)} << 16) | Big16(data + 4);
  const uint32_t count = Big16(data + 8);
  const uint16_t params[4] = {Big16(data + 10), Big16(data + 12), Big16(data + 14), Big16(data + 16)};
  const uint8_t* payload = data + kCommandBlock;
  const size_t payloadBytes = n - kCommandBlock;

  switch (code) {
    case 0x0002:    // memory write
    case 0x000B: {  // flash write
      if (count > kMaxWriteWords || payloadBytes != 2 * size_t{count}) {
        respond(kKernelLengthError, {}, out);
        return;
      }
      std::vector<uint16_t> words(count);
      for (uint32_t i = 0; i < count; ++i) words[i] = Big16(payload + 2 * i);
      if (code == 0x0002) {
        if (!memory_.isRam(address, count)) {
          respond(kKernelAddressError, {}, out);
          return;
        }
        for (uint32_t i = 0; i < count; ++i) memory_.setRamWord(address + i, words[i]);
        respond(kKernelOk, {}, out);
        return;
      }
      switch (memory_.program(address, words.data(), count)) {
        case ProcessorMemory::ProgramResult::Ok:
          respond(kKernelOk, {}, out);
          return;
        case ProcessorMemory::ProgramResult::OutOfRange:
          respond(kKernelAddressError, {}, out);
          return;
        case ProcessorMemory::ProgramResult::BitWouldBeSet:
          respond(kKernelProgramError, {}, out);
          return;
      }
      return;
    }
    case 0x0003:    // memory read
    case 0x000D: {  // flash read
      if (count == 0 || count > kMaxReadWords) {
        respond(kKernelLengthError, {}, out);
        return;
      }
      const bool flash = code == 0x000D;
      if (flash ? !memory_.isFlash(address, count) : !memory_.isRam(address, count)) {
        respond(kKernelAddressError, {}, out);
        return;
      }
      std::vector<uint16_t> words(count);
      for (uint32_t i = 0; i < count; ++i) {
        words[i] = flash ? memory_.flashWord(address + i) : memory_.ramWord(address + i);
      }
      respond(kKernelOk, words, out);
      return;
    }
    case 0x000A:  // erase: the sector mask is the first parameter
      respond(memory_.eraseSectors(params[0]) ? kKernelOk : kKernelSectorError, {}, out);
      return;
    case 0x000C: {  // verify: the 16-bit sum is the fourth parameter
      if (!memory_.isFlash(address, count)) {
        respond(kKernelAddressError, {}, out);
        return;
      }
      if (memory_.flashSum(address, count) != params[3]) {
        respond(kKernelVerifyError, {}, out);
        return;
      }
      memory_.markVerified(address, count);
      respond(kKernelOk, {}, out);
      return;
    }
    default:
      respond(kKernelCommandError, {}, out);
      return;
  }
}

}  // namespace axtune::sim
