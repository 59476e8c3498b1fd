// The drive's processor on the far end of the programmer's line, written from the public description
// of the C28x SCI boot ROM (8-bit stream) and the kernel packet rules, independently of the simulated
// processor in sim/boot: a misreading that the programmer and that simulator share shows up here.
//
// Boot ROM: ignores everything until it receives "A", which it echoes (the autobaud lock); from then
// on it echoes every byte as it receives it and follows the boot table: key 0x08AA, eight reserved
// words, the entry point, blocks of (size in words, destination address, data) and a block of size 0
// at the end. Words come low byte first, 32-bit values high word first. After the end mark it jumps
// to the entry point: the kernel runs.
// Kernel: answers an "A" with "A" (its own autobaud), drops anything that is not a packet, and hands
// every host packet to a script, whose bytes it sends back.
//
// Every byte the host writes is kept by the FakeLine (written(), writeCalls()); the fake clock moves
// by each short read's total timeout and, through the sleeper installed here, by every fixed pause.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "firmware/programmer/flash_programmer.h"
#include "link/sleeper.h"
#include "link/testing/fake_serial_port.h"

namespace axtune::test {

using testing::Bytes;

// A boot table as the ROM took it in.
struct ReceivedBootTable {
  uint16_t key = 0;
  std::array<uint16_t, 8> reserved{};
  uint32_t entryPoint = 0;
  struct Block {
    uint32_t address = 0;
    std::vector<uint16_t> words;
  };
  std::vector<Block> blocks;
  bool ended = false;
};

// One packet the host sent to the kernel.
struct KernelRequest {
  uint8_t sequence = 0;
  uint16_t total = 0;
  uint8_t checksumHigh = 0;
  uint8_t checksumLow = 0;
  Bytes data;
  uint16_t command() const { return data.size() >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0; }
};

// The kernel's acknowledgement of a host packet: verdict, bytes 1..3 of the packet, 0x00 0x08, its checksum.
Bytes Acknowledge(const KernelRequest& request, uint8_t verdict = 0x06);
// A kernel packet: 0x01 0x99 0x66, sequence, total length (big-endian), checksum field, data.
Bytes KernelPacket(uint8_t sequence, const Bytes& data, uint16_t checksum = 0);
// The data of a response: 16-bit status high byte first, then the payload.
Bytes StatusData(uint16_t status, const Bytes& payload = {});

class ScriptedTarget {
 public:
  enum class Phase { Reset, Rom, Kernel };

  explicit ScriptedTarget(std::shared_ptr<testing::FakeLine> line);

  Phase phase() const { return phase_; }
  // A kernel that already runs (an earlier session loaded it).
  void startKernel() { phase_ = Phase::Kernel; }
  void reset();

  const ReceivedBootTable& table() const { return table_; }
  // Bytes of the boot table received so far (the "A" of the autobaud not counted).
  size_t tableBytes() const { return tableBytes_; }

  // Echo faults, by the index of the table byte (0 = the key's low byte).
  void corruptEchoAt(size_t index, uint8_t mask) { corruptAt_ = index, corruptMask_ = mask; }
  void silentFrom(size_t index) { silentFrom_ = index; }

  // The kernel's answer to a host packet; the default acknowledges it and answers with status 0 (a
  // ping with its ten bytes 0x00..0x09).
  std::function<Bytes(const KernelRequest&)> onRequest;
  std::vector<KernelRequest> requests;  // every host packet the kernel received
  std::vector<Bytes> hostAcks;          // every acknowledgement the host sent
  uint8_t nextSequence = 0;             // the kernel's own packet numbers

  // Called with every table byte before it is echoed (index as above), and with every write before
  // the target takes it (with the phase it is in). Both run on the writer's thread, under the line's
  // lock: they must not wait for another thread that uses the line.
  std::function<void(size_t index)> onTableByte;
  std::function<void(const Bytes& written, Phase phase)> onWrite;

 private:
  Bytes onBytes(const Bytes& written);
  void romByte(uint8_t byte, Bytes& out);
  void tableWord(uint16_t word);
  void kernelBytes(Bytes& out);

  std::shared_ptr<testing::FakeLine> line_;
  Phase phase_ = Phase::Reset;
  ReceivedBootTable table_;
  size_t tableBytes_ = 0;
  bool lowByteSeen_ = false;
  uint8_t lowByte_ = 0;
  size_t wordsSeen_ = 0;      // words of the table so far
  uint32_t pendingHigh_ = 0;  // the high word of a 32-bit value
  enum class Expect {
    Key,
    Reserved,
    EntryHigh,
    EntryLow,
    Size,
    AddressHigh,
    AddressLow,
    Data
  } expect_ = Expect::Key;
  size_t reservedLeft_ = 8;
  size_t dataLeft_ = 0;
  size_t corruptAt_ = SIZE_MAX;
  uint8_t corruptMask_ = 0;
  size_t silentFrom_ = SIZE_MAX;
  Bytes kernelInput_;
};

// A programmer session against a ScriptedTarget on a fake line, with a fake clock: the sleeper
// records every pause and moves the line's clock by it.
class ScriptedSession : public ::testing::Test {
 protected:
  static constexpr const char* kDevice = "test:scripted";

  void SetUp() override;
  void TearDown() override;

  // Opens with a kernel that already runs ("PrgSkipBootLoad=YES": one ping).
  void ConnectToRunningKernel();
  bool sawMessage(const std::string& text) const;
  uint64_t clockMs() const { return line_->clockUs() / 1000; }

  std::shared_ptr<testing::FakeLine> line_;
  std::unique_ptr<testing::ScopedFakePort> port_;
  std::unique_ptr<ScriptedTarget> target_;
  std::vector<int> sleeps_;  // guarded by sleepMutex_ while a second thread may sleep
  std::mutex sleepMutex_;
  std::function<void(int)> onSleep_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  PRG_Handle handle_ = nullptr;

  static std::vector<std::string> messages_;
  static void Collect(PRG_Handle, int32_t kind, const char* text);
};

}  // namespace axtune::test
