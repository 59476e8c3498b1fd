#include "firmware/programmer/kernel_protocol.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>

#include "firmware/programmer/prg_port.h"
#include "firmware/programmer/prg_state.h"
#include "link/sleeper.h"

namespace axtune::prg {
namespace {

constexpr int kReadAttempts = 21;
constexpr auto kEraseAnswerPatience = std::chrono::minutes(2);
constexpr uint8_t kAccept = 0x06;
constexpr uint8_t kReject = 0x15;

// Up to 21 reads until n bytes are in; returns how many arrived.
size_t ReadFully(uint8_t* buffer, size_t n, int attempts = kReadAttempts) {
  size_t got = 0;
  for (int attempt = 0; attempt < attempts && got < n; ++attempt) {
    got += Port().read(buffer + got, n - got);
  }
  State().lastReadSilent = got == 0;
  return got;
}

// The drive did not answer the packet for `address` at all: the connection is gone.
void NoteSilence(uint32_t address) {
  ProgrammerState& s = State();
  if (!s.lastReadSilent || s.noAnswer) return;
  s.noAnswerAddress = address;
  s.noAnswer = true;
  s.connected = false;
  Message("No answer from the drive at %08lx: the connection is lost\n", static_cast<unsigned long>(address));
}

void PutBig16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>((value >> 8) & 0xFF);
  at[1] = static_cast<uint8_t>(value & 0xFF);
}

uint16_t GetBig16(const uint8_t* at) {
  return static_cast<uint16_t>((at[0] << 8) | at[1]);
}

// The 20-byte command block at the start of the transmit buffer.
void BuildCommand(uint16_t code, uint32_t address, uint16_t page, uint32_t words,
                  const uint32_t (&params)[4]) {
  uint8_t* tx = State().transmit;
  PutBig16(tx, code);
  PutBig16(tx + 2, address >> 16);
  PutBig16(tx + 4, address & 0xFFFF);
  PutBig16(tx + 6, page);
  PutBig16(tx + 8, words & 0xFFFF);
  for (int i = 0; i < 4; ++i) PutBig16(tx + 10 + 2 * i, params[i] & 0xFFFF);
  tx[18] = 0xFF;
  tx[19] = 0xFF;
}

// The status of the first response of at least 2 bytes within `attempts` receives; -1 when none,
// when the abort flag is set, or when the kernel stayed silent past the deadline. The deadline runs on
// the port's clock, the one its read timeouts wait on.
long ReceiveStatus(uint64_t attempts, std::chrono::microseconds patience = std::chrono::hours(24)) {
  const uint64_t deadline = Port().clockUs() + static_cast<uint64_t>(patience.count());
  bool anything = false;
  for (uint64_t i = 0; i < attempts; ++i) {
    if (State().abort || Port().clockUs() > deadline) break;
    if (ReceivePacket(State().receive, kMaxPacketData) >= 2) return GetBig16(State().receive);
    anything = anything || !State().lastReadSilent;
  }
  State().lastReadSilent = !anything;
  return -1;
}

}  // namespace

size_t SendPacket(const uint8_t* data, size_t n) {
  if (n > kMaxPacketData) return 0;
  ProgrammerState& s = State();
  s.lastSent = (s.lastSent + 1) & 0xFF;
  const uint8_t sequence = static_cast<uint8_t>(s.lastSent);
  uint8_t frame[kPacketHeader + kMaxPacketData];
  frame[0] = 0x01;
  frame[1] = 0x66;
  frame[2] = 0x99;
  frame[3] = sequence;
  PutBig16(frame + 4, static_cast<uint32_t>(n + kPacketHeader));
  frame[6] = 0;
  frame[7] = 0;
  if (n > 0) std::memcpy(frame + kPacketHeader, data, n);
  // Whatever is still waiting is stale (a response that came after its operation gave up on it): the
  // kernel answers one command at a time, so it must not be read as this packet's acknowledgement.
  Port().purge();
  // Header and data in one write: the same bytes, back to back on the line, even when the far end
  // picks up its input late.
  if (Port().write(frame, kPacketHeader + n) != kPacketHeader + n) return 0;

  uint8_t ack[kPacketHeader] = {};
  const size_t got = ReadFully(ack, sizeof ack, s.ackReadAttempts);
  s.lastAckEchoed = got == sizeof ack && std::memcmp(ack, frame, sizeof ack) == 0;
  if (s.lastAckEchoed) return 0;  // an echo is no acknowledgement (a kernel's starts 0x06 or 0x15)
  if (got < 4 || ack[1] != 0x66 || ack[2] != 0x99 || ack[3] != sequence) return 0;
  // A matching acknowledgement that says "rejected" is a rejection, not a success.
  if (ack[0] == kReject) return 0;
  return n;
}

size_t ReceivePacket(uint8_t* buffer, size_t max) {
  if (max > kMaxPacketData) return 0;
  ProgrammerState& s = State();
  uint8_t frame[256];
  if (ReadFully(frame, kPacketHeader) < kPacketHeader) return 0;
  if (frame[0] != 0x01 || frame[1] != 0x99 || frame[2] != 0x66) return 0;
  const size_t total = GetBig16(frame + 4);
  // A repeated packet is neither acknowledged nor delivered. Its data are read and dropped, so that
  // the packet behind it is read from its first byte (not from the repeated packet's data).
  if (frame[3] == s.lastReceived) {
    if (total > kPacketHeader && total <= sizeof frame) {
      ReadFully(frame + kPacketHeader, total - kPacketHeader);
    }
    return 0;
  }
  s.lastReceived = frame[3];

  uint8_t verdict = kReject;
  size_t length = 0;
  if (total >= kPacketHeader + 1 && total <= sizeof frame) {
    length = ReadFully(frame + kPacketHeader, total - kPacketHeader);
    if (frame[6] == 0 && frame[7] == 0) {
      verdict = kAccept;
      length = std::min(length, max);
      std::memcpy(buffer, frame + kPacketHeader, length);
    } else {
      length = 0;
    }
  }
  const uint8_t ack[kPacketHeader] = {verdict, frame[1], frame[2], frame[3], 0x00, 0x08, frame[6], frame[7]};
  Port().write(ack, sizeof ack);
  return length;
}

int PingKernel() {
  uint8_t ping[kCommandBlock];
  ping[0] = 0x00;
  ping[1] = 0x01;
  for (uint8_t i = 0; i < 18; ++i) ping[2 + i] = i;
  if (SendPacket(ping, sizeof ping) == 0) {
    Message("Send packet rejected\n");
    return PRG_FAILED;
  }
  const uint8_t* rx = State().receive;
  const size_t n = ReceivePacket(State().receive, kMaxPacketData);
  // The answer carries 0x00..0x09 after its status; a shorter one cannot be the kernel's.
  bool valid = n >= 12;
  for (uint8_t i = 0; valid && i < 10; ++i) valid = rx[2 + i] == i;
  if (!valid) {
    Message("Invalid return packet\n");
    return PRG_FAILED;
  }
  return PRG_DONE;
}

int ProbeRunningKernel() {
  ProgrammerState& s = State();
  const PRG_MessageCallBack callback = s.callback;
  s.callback = nullptr;  // a missing kernel is the normal case here, not worth a message
  s.ackReadAttempts = 1;
  const int result = PingKernel();
  s.ackReadAttempts = kReadAttempts;
  s.callback = callback;
  return result;
}

void FlushPartialPacket() {
  // A kernel left in the middle of a packet takes the next bytes as the rest of it: zeros complete
  // the longest packet, and between packets the kernel skips them while it looks for a start. (A
  // packet completed this way may run; the update erases the flash before it writes anything.)
  const uint8_t zeros[kPacketHeader + kMaxPacketData] = {};
  Port().write(zeros, sizeof zeros);
  const int rate = std::max(Port().currentRate(), 1);
  SleepMs(static_cast<int>(sizeof zeros * 10 * 1000 / static_cast<size_t>(rate)) + 100);
  Port().purge();
}

int EraseFlash() {
  ProgrammerState& s = State();
  if (!s.connected) return PRG_FAILED;
  const PRG_Options& o = s.options;
  const int sectors = 1 + std::popcount(o.PrgEraseOption1 & 0xFFFEu);
  BuildCommand(kCommandErase, 0, 0, 0,
               {o.PrgEraseOption1, o.PrgEraseOption2, o.PrgEraseOption3, o.PrgEraseOption4});
  if (SendPacket(s.transmit, kCommandBlock) == 0) {
    NoteSilence(0);
    Message("Send packet rejected\n");
    return PRG_FAILED;
  }
  Progress(PRG_PROGRESS_ERASE, 0, 1);
  // The kernel answers only when the sectors are erased.
  long long wait = static_cast<long long>(o.PrgEraseTimeout) * sectors * 10;
  do {
    if (s.abort) return PRG_FAILED;
    SleepMs(100);
    wait -= 100;
  } while (wait > 0);
  // 1281 attempts of up to 21 reads each could wait hours for a kernel that is gone; an erase that
  // has not answered within two minutes never will.
  const long result = ReceiveStatus(static_cast<uint64_t>(o.PrgEraseOption4) + 1, kEraseAnswerPatience);
  if (result != 0) {
    if (result == -1) NoteSilence(0);
    Message("Erase Failed\n");
    return PRG_FAILED;
  }
  Progress(PRG_PROGRESS_ERASE, 1, 1);
  return PRG_DONE;
}

int WriteWords(uint16_t command, uint32_t address, uint16_t page, uint32_t byteCount, const uint16_t* words) {
  ProgrammerState& s = State();
  if (!s.connected || words == nullptr) return PRG_FAILED;
  byteCount &= ~1u;
  if (byteCount == 0) return PRG_FAILED;
  const PRG_Options& o = s.options;
  const bool flash = command == kCommandFlashWrite;
  uint32_t done = 0;
  Progress(PRG_PROGRESS_WRITE, 0, byteCount);
  while (done < byteCount) {
    const uint32_t chunk = std::min(byteCount - done, kWriteChunkBytes);
    if (flash) {
      BuildCommand(command, address, page, chunk / 2,
                   {o.PrgProgrammingOption1, o.PrgProgrammingOption2, o.PrgProgrammingOption3,
                    o.PrgProgrammingOption4});
    } else {
      BuildCommand(command, address, page, chunk / 2, {0, 0, 0, 0});
    }
    const uint16_t* source = words + done / 2;
    for (uint32_t i = 0; i < chunk / 2; ++i) PutBig16(s.transmit + kCommandBlock + 2 * i, source[i]);
    if (SendPacket(s.transmit, kCommandBlock + chunk) == 0) {
      NoteSilence(address);
      Message("Send packet rejected\n");
      return PRG_FAILED;
    }
    SleepMs(flash ? o.PrgProgrammingTimeout : static_cast<int>(chunk / 100));
    const long result = ReceiveStatus(static_cast<uint64_t>(o.PrgProgrammingOption4) + 1);
    if (result != 0) {
      if (result == -1) NoteSilence(address);
      Message("Write Failed, Address = %08lx, Error = %d\n", static_cast<unsigned long>(address),
              static_cast<int>(result));
      return PRG_FAILED;
    }
    address += chunk / 2;
    done += chunk;
    Progress(PRG_PROGRESS_WRITE, done, byteCount);
    if (s.abort) return PRG_FAILED;
  }
  return PRG_DONE;
}

int ReadWords(uint16_t command, uint32_t address, uint16_t page, uint32_t byteCount, uint16_t* words) {
  ProgrammerState& s = State();
  if (!s.connected || words == nullptr) return PRG_FAILED;
  byteCount &= ~1u;
  if (byteCount == 0) return PRG_FAILED;
  uint32_t done = 0;
  Progress(PRG_PROGRESS_READ, 0, byteCount);
  while (done < byteCount) {
    const uint32_t chunk = std::min(byteCount - done, kReadChunkBytes);
    BuildCommand(command, address, page, chunk / 2, {0, 0, 0, 0});
    if (SendPacket(s.transmit, kCommandBlock) == 0) {
      NoteSilence(address);
      Message("Send packet rejected\n");
      return PRG_FAILED;
    }
    SleepMs(static_cast<int>(chunk / 100));
    const size_t n = ReceivePacket(s.receive, kMaxPacketData);
    if (n == 0) NoteSilence(address);
    if (n >= 2 && GetBig16(s.receive) != 0) {
      // An error answer carries no data; its bytes must never reach the caller as flash contents.
      Message("Read Failed, Address = %08lx, Error = %d\n", static_cast<unsigned long>(address),
              static_cast<int>(GetBig16(s.receive)));
      return PRG_FAILED;
    }
    // Never more words than asked for, whatever the kernel sent.
    const uint32_t available = n >= 2 ? static_cast<uint32_t>(n - 2) / 2 : 0;
    const uint32_t count = std::min(available, (byteCount - done) / 2);
    if (count == 0) {
      Message("Failed data receive\n");
      return PRG_FAILED;
    }
    for (uint32_t i = 0; i < count; ++i) words[done / 2 + i] = GetBig16(s.receive + 2 + 2 * i);
    address += count;
    done += count * 2;
    Progress(PRG_PROGRESS_READ, done, byteCount);
    if (s.abort) return PRG_FAILED;
  }
  return PRG_DONE;
}

int VerifyFlash(uint32_t address, uint16_t page, uint32_t byteCount, const uint16_t* words) {
  ProgrammerState& s = State();
  const PRG_Options& o = s.options;
  uint32_t total = byteCount / 2;
  if (total > 0 && words == nullptr) return PRG_FAILED;
  // One packet verifies up to 65535 words; the word count field has 16 bits.
  uint32_t done = 0;
  do {
    const uint32_t count = std::min<uint32_t>(total - done, 0xFFFF);
    uint16_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) sum = static_cast<uint16_t>(sum + words[done + i]);
    const uint32_t blockAddress = address + done;
    BuildCommand(kCommandVerify, blockAddress, page, count,
                 {o.PrgVerifyOption1, o.PrgVerifyOption2, o.PrgVerifyOption3, sum});
    if (SendPacket(s.transmit, kCommandBlock) == 0) {
      NoteSilence(blockAddress);
      Message("Send packet rejected\n");
      return PRG_FAILED;
    }
    SleepMs(o.PrgVerifyTimeout);
    const size_t n = ReceivePacket(s.receive, kMaxPacketData);
    if (n == 0) NoteSilence(blockAddress);
    const long status = n >= 2 ? GetBig16(s.receive) : -1;
    if (status != 0) {
      Message("Verify Failed, Address = %08lx\n", static_cast<unsigned long>(address));
      return PRG_FAILED;
    }
    done += count;
    Progress(PRG_PROGRESS_VERIFY, done * 2, total * 2);
  } while (done < total);
  return PRG_DONE;
}

}  // namespace axtune::prg
