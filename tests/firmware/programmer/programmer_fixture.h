// A programmer session against the simulated processor behind a scripted port: every byte the
// programmer writes goes to a BootProcessor (boot ROM, then the stand-in kernel), its answers come
// back at once, and fixed pauses are recorded instead of slept. Tests may tamper with the answers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "firmware/programmer/flash_programmer.h"
#include "link/sleeper.h"
#include "link/testing/fake_serial_port.h"
#include "sim/boot/boot_processor.h"

namespace axtune::test {

using testing::Bytes;

// One host packet or acknowledgement found in a byte stream.
struct HostPacket {
  uint8_t sequence = 0;
  uint16_t total = 0;
  Bytes data;
};
// The host packets (0x01 0x66 0x99 ...) in the bytes the programmer wrote, in order.
std::vector<HostPacket> HostPackets(const Bytes& written);
uint16_t Big16(const Bytes& bytes, size_t at);
inline long CountOf(const Bytes& bytes, uint8_t value) {
  return std::count(bytes.begin(), bytes.end(), value);
}

class ProgrammerSession : public ::testing::Test {
 protected:
  static constexpr const char* kDevice = "test:prg";

  void SetUp() override;
  void TearDown() override;

  // Opens a session (boot load through the ROM) and checks it connected.
  void Connect();
  // Everything the programmer wrote since the last clear.
  Bytes written() const { return line_->written(); }
  void clearWritten() { line_->clearWritten(); }
  bool sawMessage(const std::string& text) const;

  std::shared_ptr<testing::FakeLine> line_;
  std::unique_ptr<testing::ScopedFakePort> port_;
  std::unique_ptr<sim::BootProcessor> processor_;
  // Applied to the processor's answer to every write (the default passes it on).
  std::function<Bytes(Bytes)> tamper_;
  // Pauses and messages may come from a writer thread and a closing thread at once.
  static std::mutex recordMutex_;
  std::vector<int> sleeps_;
  std::function<void(int)> onSleep_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  PRG_Handle handle_ = nullptr;

  static std::vector<std::string> messages_;
  static void Collect(PRG_Handle, int32_t kind, const char* text);
};

}  // namespace axtune::test
