// Feeds arbitrary bytes to the RFC 2217 client's receive path as a device server's stream. The first
// byte picks how the stream is cut into reads (1..16 bytes, or all at once) and whether a purge is
// awaited; the rest is what the "server" sends.
// Checked: no crash, no read past a buffer (sanitizers); never more data out than bytes in; answers
// only as many as the stream asked for; the same stream gives the same data however it is cut.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/rfc2217_protocol.h"

namespace {

using axtune::rfc2217::ClientSession;

void check(bool condition) {
  if (!condition) std::abort();
}

struct Outcome {
  std::vector<uint8_t> data;
  std::vector<uint8_t> replies;
  bool agreed = false;
  bool modemKnown = false;
  uint8_t modem = 0;
};

Outcome run(const uint8_t* bytes, size_t size, size_t chunk, bool purge) {
  Outcome outcome;
  ClientSession session;
  std::vector<uint8_t> start;
  session.start(start);
  if (purge) session.expectPurgeAnswer();
  for (size_t at = 0; at < size; at += chunk) {
    const size_t n = size - at < chunk ? size - at : chunk;
    const size_t dataBefore = outcome.data.size();
    session.receive(bytes + at, n, outcome.data, outcome.replies);
    check(outcome.data.size() - dataBefore <= n);
  }
  outcome.agreed = session.comPortAgreed();
  outcome.modemKnown = session.modemStateKnown();
  outcome.modem = session.modemState();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    run(nullptr, 0, 1, false);
    return 0;
  }
  const uint8_t mode = data[0];
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;
  const size_t chunk = (mode & 0x0F) == 0 ? (length == 0 ? 1 : length) : (mode & 0x0F);
  const bool purge = (mode & 0x10) != 0;

  const Outcome cut = run(stream, length, chunk, purge);
  const Outcome whole = run(stream, length, length == 0 ? 1 : length, purge);
  check(cut.data == whole.data);
  check(cut.replies == whole.replies);
  check(cut.agreed == whole.agreed && cut.modemKnown == whole.modemKnown && cut.modem == whole.modem);
  check(cut.data.size() <= length);
  // Every answer is at most a signature or a three-byte negotiation, each asked for by at least
  // three bytes of the stream.
  check(cut.replies.size() <= length * 6 + 64);
  return 0;
}
