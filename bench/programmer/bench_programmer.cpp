// Measures a whole flash update through qmx-sim at 115200 baud against the time its bytes need on
// the wire. The protocol is strictly sequential (every byte of the boot table waits for its echo,
// every packet for its acknowledgement and answer), so the wire time is the bytes of both directions
// at 10 bits each. The simulator runs paced at the baud rate with no extra turnaround (the boot ROM
// and the kernel answer within a byte time) and a 1 ns timer slack; the product's fixed pauses are
// kept and reported apart.
//
//   bench_programmer [--words N] [--rate R] [--qmx-sim PATH]
#include <sys/prctl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "firmware/programmer/flash_programmer.h"
#include "tests/firmware/programmer/qmx_sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string g_log;
void Collect(PRG_Handle, int32_t, const char* text) {
  g_log += text;
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Bytes of one command packet exchange: packet out, acknowledgement in, answer in, acknowledgement out.
uint64_t Exchange(uint64_t dataOut, uint64_t answerData) {
  return (8 + dataOut) + 8 + (8 + 2 + answerData) + 8;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t words = 65536;
  int rate = 115200;
  std::string simPath = QMX_SIM_PATH;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--words") == 0)
      words = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 0));
    if (std::strcmp(argv[i], "--rate") == 0) rate = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--qmx-sim") == 0) simPath = argv[i + 1];
  }
  if (words == 0 || words > 65536) {
    std::fprintf(stderr, "bench_programmer: --words must be 1..65536 (the F2808's flash)\n");
    return 2;
  }

  // The simulator paces every byte with short timed waits; the default 50 us timer slack would add
  // up to 100 us to each echoed boot byte, which real hardware does not have. qmx-sim inherits this.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

  axtune::test::QmxSimProcess sim;
  std::string error;
  if (!sim.start(simPath, {"--blank-flash", "--quiet", "--turnaround-us", "0"}, error)) {
    std::fprintf(stderr, "bench_programmer: %s\n", error.c_str());
    return 1;
  }
  std::vector<uint16_t> image(words);
  for (uint32_t i = 0; i < words; ++i) image[i] = static_cast<uint16_t>((i * 2654435761u) >> 16);
  const uint32_t bytes = 2 * words;

  PRG_Handle handle = nullptr;
  PRG_Init(&handle);
  PRG_SetMessageCallBack(handle, &Collect);
  PRG_SetOptions(handle, ("EmuBaudRate=" + std::to_string(rate) + ",EmuPortName=" + sim.device()).c_str());
  const auto t0 = Clock::now();
  const bool opened = PRG_Open(handle) == PRG_DONE;
  const auto t1 = Clock::now();
  const bool erased = opened && PRG_FlashErase(handle) == PRG_DONE;
  const auto t2 = Clock::now();
  const bool written = erased && PRG_FlashWrite(handle, 0x3E8000, 0, bytes, image.data()) == PRG_DONE;
  const auto t3 = Clock::now();
  const bool verified = written && PRG_FlashVerify(handle, 0x3E8000, 0, bytes, image.data()) == PRG_DONE;
  const auto t4 = Clock::now();
  PRG_Close(handle);
  sim.stop();
  if (!verified) {
    std::fprintf(stderr, "bench_programmer: the update failed:\n%s", g_log.c_str());
    return 1;
  }

  // Bytes on the wire, both directions.
  const uint64_t table = 22 + 4 * 6 + 2 * (3489 + 90 + 37 + 4) + 2;  // the stand-in kernel's boot table
  const uint64_t bootBytes = 2 * (1 + table) + 2 + 8;                // echoed table, two autobauds, 8 zeros
  const uint64_t eraseBytes = Exchange(20, 0);
  uint64_t writeBytes = 0;
  for (uint32_t done = 0; done < words; done += 114)
    writeBytes += Exchange(20 + 2 * std::min(114u, words - done), 0);
  const uint64_t verifyBytes = Exchange(20, 0) * ((words + 0xFFFE) / 0xFFFF);
  const double bitTime = 10.0 / rate;
  const double wire = static_cast<double>(bootBytes + eraseBytes + writeBytes + verifyBytes) * bitTime;
  const double pauses = 1.0 + 0.3 + 0.1;  // kernel start, settle after its autobaud, shortest erase wait
  const double total = Seconds(t0, t4);

  std::printf("flash update of %u words at %d baud through qmx-sim on %s\n", words, rate,
              sim.device().c_str());
  std::printf("  %-8s %8.3f s   wire %8.3f s\n", "open", Seconds(t0, t1),
              static_cast<double>(bootBytes) * bitTime);
  std::printf("  %-8s %8.3f s   wire %8.3f s\n", "erase", Seconds(t1, t2),
              static_cast<double>(eraseBytes) * bitTime);
  std::printf("  %-8s %8.3f s   wire %8.3f s\n", "write", Seconds(t2, t3),
              static_cast<double>(writeBytes) * bitTime);
  std::printf("  %-8s %8.3f s   wire %8.3f s\n", "verify", Seconds(t3, t4),
              static_cast<double>(verifyBytes) * bitTime);
  std::printf("  total    %8.3f s   wire %8.3f s   fixed pauses %.1f s\n", total, wire, pauses);
  std::printf("ratio total / wire: %.3f (goal <= 1.15)\n", total / wire);
  std::printf("ratio without the fixed pauses: %.3f\n", (total - pauses) / wire);
  return 0;
}
