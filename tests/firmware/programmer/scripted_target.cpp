#include "tests/firmware/programmer/scripted_target.h"

#include <algorithm>

namespace axtune::test {

Bytes Acknowledge(const KernelRequest& request, uint8_t verdict) {
  return {verdict, 0x66, 0x99, request.sequence, 0x00, 0x08, request.checksumHigh, request.checksumLow};
}

namespace {
// One byte at a time: mingw-w64 GCC 12 at -O3 takes a vector's insert of a short vector for an
// out-of-bounds copy (a false -Warray-bounds).
void Append(Bytes& to, const Bytes& more) {
  for (uint8_t b : more) to.push_back(b);
}
}  // namespace

Bytes KernelPacket(uint8_t sequence, const Bytes& data, uint16_t checksum) {
  const size_t total = 8 + data.size();
  Bytes packet = {0x01,
                  0x99,
                  0x66,
                  sequence,
                  static_cast<uint8_t>(total >> 8),
                  static_cast<uint8_t>(total & 0xFF),
                  static_cast<uint8_t>(checksum >> 8),
                  static_cast<uint8_t>(checksum & 0xFF)};
  Append(packet, data);
  return packet;
}

Bytes StatusData(uint16_t status, const Bytes& payload) {
  Bytes data = {static_cast<uint8_t>(status >> 8), static_cast<uint8_t>(status & 0xFF)};
  Append(data, payload);
  return data;
}

ScriptedTarget::ScriptedTarget(std::shared_ptr<testing::FakeLine> line) : line_(std::move(line)) {
  onRequest = [this](const KernelRequest& request) {
    Bytes out = Acknowledge(request);
    Bytes payload;
    if (request.command() == 0x0001) {
      for (uint8_t i = 0; i < 10; ++i) payload.push_back(i);
    }
    Append(out, KernelPacket(nextSequence++, StatusData(0, payload)));
    return out;
  };
  line_->setResponder([this](const Bytes& written) { return onBytes(written); });
}

void ScriptedTarget::reset() {
  phase_ = Phase::Reset;
  table_ = ReceivedBootTable{};
  tableBytes_ = 0;
  lowByteSeen_ = false;
  wordsSeen_ = 0;
  expect_ = Expect::Key;
  reservedLeft_ = 8;
  dataLeft_ = 0;
  kernelInput_.clear();
}

Bytes ScriptedTarget::onBytes(const Bytes& written) {
  if (onWrite) onWrite(written, phase_);
  Bytes out;
  for (uint8_t byte : written) {
    switch (phase_) {
      case Phase::Reset:
        // Before the lock the ROM waits for the autobaud character and ignores anything else.
        if (byte == 'A') {
          out.push_back('A');
          phase_ = Phase::Rom;
        }
        break;
      case Phase::Rom:
        romByte(byte, out);
        break;
      case Phase::Kernel:
        kernelInput_.push_back(byte);
        break;
    }
  }
  if (phase_ == Phase::Kernel) kernelBytes(out);
  return out;
}

void ScriptedTarget::romByte(uint8_t byte, Bytes& out) {
  const size_t index = tableBytes_++;
  if (onTableByte) onTableByte(index);
  if (index >= silentFrom_) return;  // the ROM is gone: no echo, nothing taken
  out.push_back(index == corruptAt_ ? static_cast<uint8_t>(byte ^ corruptMask_) : byte);
  if (!lowByteSeen_) {
    lowByte_ = byte;
    lowByteSeen_ = true;
    return;
  }
  lowByteSeen_ = false;
  tableWord(static_cast<uint16_t>(lowByte_ | byte << 8));
}

void ScriptedTarget::tableWord(uint16_t word) {
  ++wordsSeen_;
  switch (expect_) {
    case Expect::Key:
      table_.key = word;
      expect_ = Expect::Reserved;
      break;
    case Expect::Reserved:
      table_.reserved[8 - reservedLeft_] = word;
      if (--reservedLeft_ == 0) expect_ = Expect::EntryHigh;
      break;
    case Expect::EntryHigh:
      pendingHigh_ = word;
      expect_ = Expect::EntryLow;
      break;
    case Expect::EntryLow:
      table_.entryPoint = pendingHigh_ << 16 | word;
      expect_ = Expect::Size;
      break;
    case Expect::Size:
      if (word == 0) {
        table_.ended = true;
        phase_ = Phase::Kernel;  // the ROM jumps to the entry point
        break;
      }
      table_.blocks.push_back({});
      dataLeft_ = word;
      expect_ = Expect::AddressHigh;
      break;
    case Expect::AddressHigh:
      pendingHigh_ = word;
      expect_ = Expect::AddressLow;
      break;
    case Expect::AddressLow:
      table_.blocks.back().address = pendingHigh_ << 16 | word;
      expect_ = Expect::Data;
      break;
    case Expect::Data:
      table_.blocks.back().words.push_back(word);
      if (--dataLeft_ == 0) expect_ = Expect::Size;
      break;
  }
}

void ScriptedTarget::kernelBytes(Bytes& out) {
  while (!kernelInput_.empty()) {
    const uint8_t first = kernelInput_[0];
    if (first == 'A') {  // the kernel's autobaud
      out.push_back('A');
      kernelInput_.erase(kernelInput_.begin());
      continue;
    }
    if (first == 0x06 || first == 0x15) {
      if (kernelInput_.size() < 8) return;
      hostAcks.emplace_back(kernelInput_.begin(), kernelInput_.begin() + 8);
      kernelInput_.erase(kernelInput_.begin(), kernelInput_.begin() + 8);
      continue;
    }
    if (first == 0x01 && kernelInput_.size() >= 3 && kernelInput_[1] == 0x66 && kernelInput_[2] == 0x99) {
      if (kernelInput_.size() < 8) return;
      const uint16_t total = static_cast<uint16_t>(kernelInput_[4] << 8 | kernelInput_[5]);
      if (kernelInput_.size() < total) return;
      KernelRequest request;
      request.sequence = kernelInput_[3];
      request.total = total;
      request.checksumHigh = kernelInput_[6];
      request.checksumLow = kernelInput_[7];
      request.data.assign(kernelInput_.begin() + 8, kernelInput_.begin() + total);
      kernelInput_.erase(kernelInput_.begin(), kernelInput_.begin() + total);
      requests.push_back(request);
      Append(out, onRequest(request));
      continue;
    }
    if (first == 0x01 && kernelInput_.size() < 3) return;
    kernelInput_.erase(kernelInput_.begin());  // the zeros after the autobaud, noise
  }
}

std::vector<std::string> ScriptedSession::messages_;

void ScriptedSession::Collect(PRG_Handle, int32_t kind, const char* text) {
  if (kind == PRG_MSG_TEXT) messages_.emplace_back(text);
}

void ScriptedSession::SetUp() {
  messages_.clear();
  line_ = std::make_shared<testing::FakeLine>();
  port_ = std::make_unique<testing::ScopedFakePort>(kDevice, line_);
  target_ = std::make_unique<ScriptedTarget>(line_);
  sleeper_ = std::make_unique<ScopedSleeper>([this](int ms) {
    {
      std::lock_guard lock(sleepMutex_);
      sleeps_.push_back(ms);
    }
    line_->advanceClockUs(static_cast<uint64_t>(std::max(ms, 0)) * 1000);
    if (onSleep_) onSleep_(ms);
  });
  ASSERT_EQ(PRG_Init(&handle_), 0);
  PRG_SetMessageCallBack(handle_, &Collect);
  PRG_SetUserInterfaceHooks(nullptr, nullptr, nullptr);
  PRG_SetProgressHook(nullptr, nullptr);
  ASSERT_EQ(PRG_SetOptions(handle_, (std::string("EmuPortName=") + kDevice).c_str()), 0);
}

void ScriptedSession::TearDown() {
  PRG_Close(handle_);
  PRG_SetProgressHook(nullptr, nullptr);
  PRG_Init(&handle_);
  line_->setResponder(nullptr);
  sleeper_.reset();
}

void ScriptedSession::ConnectToRunningKernel() {
  target_->startKernel();
  ASSERT_EQ(PRG_SetOptions(handle_, "PrgSkipBootLoad=YES"), 0);
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE) << (messages_.empty() ? "" : messages_.back());
}

bool ScriptedSession::sawMessage(const std::string& text) const {
  return std::find(messages_.begin(), messages_.end(), text) != messages_.end();
}

}  // namespace axtune::test
