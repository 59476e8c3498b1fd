#include "tests/firmware/programmer/programmer_fixture.h"

#include <algorithm>

namespace axtune::test {

std::vector<std::string> ProgrammerSession::messages_;
std::mutex ProgrammerSession::recordMutex_;

void ProgrammerSession::Collect(PRG_Handle, int32_t kind, const char* text) {
  if (kind != PRG_MSG_TEXT) return;
  std::lock_guard lock(recordMutex_);
  messages_.emplace_back(text);
}

uint16_t Big16(const Bytes& bytes, size_t at) {
  return static_cast<uint16_t>((bytes.at(at) << 8) | bytes.at(at + 1));
}

std::vector<HostPacket> HostPackets(const Bytes& written) {
  std::vector<HostPacket> packets;
  size_t i = 0;
  while (i + 8 <= written.size()) {
    if (written[i] == 0x01 && written[i + 1] == 0x66 && written[i + 2] == 0x99) {
      HostPacket p;
      p.sequence = written[i + 3];
      p.total = Big16(written, i + 4);
      const size_t end = std::min(written.size(), i + p.total);
      p.data.assign(written.begin() + static_cast<ptrdiff_t>(i + 8),
                    written.begin() + static_cast<ptrdiff_t>(end));
      packets.push_back(p);
      i = end;
    } else {
      ++i;
    }
  }
  return packets;
}

void ProgrammerSession::SetUp() {
  messages_.clear();
  line_ = std::make_shared<testing::FakeLine>();
  port_ = std::make_unique<testing::ScopedFakePort>(kDevice, line_);
  processor_ = std::make_unique<sim::BootProcessor>();
  line_->setResponder([this](const Bytes& in) {
    Bytes out;
    for (uint8_t b : in) processor_->onByte(b, out);
    return tamper_ ? tamper_(out) : out;
  });
  sleeper_ = std::make_unique<ScopedSleeper>([this](int ms) {
    {
      std::lock_guard lock(recordMutex_);
      sleeps_.push_back(ms);
    }
    if (onSleep_) onSleep_(ms);
  });
  ASSERT_EQ(PRG_Init(&handle_), 0);
  PRG_SetMessageCallBack(handle_, &Collect);
  PRG_SetUserInterfaceHooks(nullptr, nullptr, nullptr);
  ASSERT_EQ(PRG_SetOptions(handle_, (std::string("EmuPortName=") + kDevice).c_str()), 0);
}

void ProgrammerSession::TearDown() {
  PRG_Close(handle_);
  PRG_SetUserInterfaceHooks(nullptr, nullptr, nullptr);
  PRG_Init(&handle_);
  sleeper_.reset();
}

void ProgrammerSession::Connect() {
  ASSERT_EQ(PRG_Open(handle_), PRG_DONE) << (messages_.empty() ? "" : messages_.back());
  ASSERT_TRUE(processor_->kernelRunning());
}

bool ProgrammerSession::sawMessage(const std::string& text) const {
  return std::find(messages_.begin(), messages_.end(), text) != messages_.end();
}

}  // namespace axtune::test
