// Arbitrary bytes from a network client to the simulated drive's RFC 2217 session. The first byte
// says how the stream is cut into reads (1..16 bytes, or all at once) and how long the drive's clock
// runs between them; the rest is what the "client" sends.
// Checked: no crash, no read past a buffer (sanitizers); what the session sends back stays in
// proportion to what it was sent, and is a Telnet stream the client's own decoder takes apart.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "link/rfc2217_protocol.h"
#include "sim/simulated_drive.h"
#include "sim/tool/rfc2217_drive_session.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Counts what the client's decoder finds; the decoder must take any stream.
struct Sink : axtune::rfc2217::TelnetEvents {
  size_t data = 0;
  void onData(const uint8_t*, size_t n) override { data += n; }
  void onNegotiation(uint8_t, uint8_t) override {}
  void onSubnegotiation(uint8_t, const uint8_t*, size_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t cut = (data[0] & 0x0F) == 0 ? size : (data[0] & 0x0F);
  const uint32_t stepMs = data[0] >> 4;
  auto drive = std::make_shared<axtune::sim::SimulatedDrive>(axtune::sim::SimConfig::unitTest());
  std::vector<uint8_t> out;
  {
    axtune::sim::Rfc2217DriveSession session(*drive);
    check(session.claimed());
    for (size_t at = 1; at < size; at += cut) {
      const size_t n = std::min(cut, size - at);
      session.receive(data + at, n, out);
      drive->advanceMs(stepMs);
      session.poll(out);
    }
    drive->advanceMs(100);
    session.poll(out);
  }
  // A signature answer is the longest reply to a short command; the drive's own replies are at most
  // a record frame per request byte; the modem-state notifications come once per change.
  check(out.size() <= 64 * size + 64 * 34);
  Sink sink;
  axtune::rfc2217::TelnetDecoder decoder;
  decoder.feed(out.data(), out.size(), sink);
  return 0;
}
