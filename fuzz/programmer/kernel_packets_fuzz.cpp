// Input byte 0 chooses the end under test:
//   even: the bytes go to the simulated flash kernel as host traffic; everything it sends back must
//         be 8-byte acknowledgements and well-formed response packets.
//   odd:  the bytes are a kernel's answers to a connected programmer that reads 6 words and then
//         receives packets; nothing may be written past the caller's buffer or the packet buffer.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "firmware/programmer/kernel_protocol.h"
#include "firmware/programmer/prg_port.h"
#include "firmware/programmer/prg_state.h"
#include "link/sleeper.h"
#include "link/testing/fake_serial_port.h"
#include "sim/boot/flash_kernel.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckKernelOutput(const std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < out.size()) {
    Require(out.size() - i >= 8);
    if (out[i] == 0x06 || out[i] == 0x15) {
      Require(out[i + 1] == 0x66 && out[i + 2] == 0x99 && out[i + 4] == 0x00 && out[i + 5] == 0x08);
      i += 8;
      continue;
    }
    Require(out[i] == 0x01 && out[i + 1] == 0x99 && out[i + 2] == 0x66 && out[i + 6] == 0 && out[i + 7] == 0);
    const size_t total = static_cast<size_t>((out[i + 4] << 8) | out[i + 5]);
    Require(total >= 10 && total <= 256 && out.size() - i >= total);
    i += total;
  }
}

void FuzzKernel(const uint8_t* data, size_t size) {
  axtune::sim::ProcessorMemory memory(axtune::sim::FlashGeometry::F2808());
  axtune::sim::FlashKernel kernel(memory);
  kernel.start();
  std::vector<uint8_t> out;
  for (size_t i = 0; i < size; ++i) kernel.onByte(data[i], out);
  CheckKernelOutput(out);
}

void FuzzHost(const uint8_t* data, size_t size) {
  static axtune::ScopedSleeper noPauses([](int) {});
  auto line = std::make_shared<axtune::testing::FakeLine>();
  axtune::testing::ScopedFakePort port("fuzz:kernel", line);
  auto& port_ = axtune::prg::Port();
  if (port_.open("fuzz:kernel", 115200) != 0) std::abort();
  axtune::prg::ResetSequence();
  axtune::prg::State().connected = true;
  axtune::prg::State().abort = false;
  line->feed(std::vector<uint8_t>(data, data + size));

  // Guard words around the caller's buffer show any write past it.
  uint16_t buffer[8] = {0xDEAD, 0, 0, 0, 0, 0, 0, 0xBEEF};
  axtune::prg::ReadWords(axtune::prg::kCommandFlashRead, 0x3E8000, 0, 12, buffer + 1);
  Require(buffer[0] == 0xDEAD && buffer[7] == 0xBEEF);
  uint8_t packet[axtune::prg::kMaxPacketData];
  for (int i = 0; i < 64 && line->pendingBytes() > 0; ++i) {
    Require(axtune::prg::ReceivePacket(packet, sizeof packet) <= sizeof packet);
  }
  axtune::prg::PingKernel();
  port_.close();
  axtune::prg::State().connected = false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if ((data[0] & 1) == 0) {
    FuzzKernel(data + 1, size - 1);
  } else {
    FuzzHost(data + 1, size - 1);
  }
  return 0;
}
