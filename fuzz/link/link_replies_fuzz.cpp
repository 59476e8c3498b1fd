// Feeds arbitrary bytes to the drive link as the drive's replies. The first byte says how many
// operation bytes follow; each operation byte picks ReadRecord, ExchangeRecord, WriteWords or
// ReadObject and its record; everything after them is what the "drive" sends.
// Checked: no crash, no read past a buffer (sanitizers), failed reads leave their destination
// alone, LinkError stays within its table, nothing is read that was not sent.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/testing/fake_serial_port.h"

namespace {

using axtune::RecordWords;
using axtune::testing::FakeLine;

constexpr const char* kDevice = "fuzz-drive";

FakeLine& line() {
  static std::shared_ptr<FakeLine> instance = [] {
    auto fake = std::make_shared<FakeLine>();
    static axtune::testing::ScopedFakePort registration(kDevice, fake);
    if (!axtune::OpenLink(kDevice)) std::abort();
    return fake;
  }();
  return *instance;
}

void check(bool condition) {
  if (!condition) std::abort();
}

void runOperation(uint8_t op) {
  const int record = op >> 2;
  switch (op & 3) {
    case 0: {
      RecordWords words;
      words.fill(0xA5A5);
      // Records above 63 are reached through the high ones the status displays read.
      if (!axtune::ReadRecord(record < 32 ? record : 96 + record, words)) {
        RecordWords untouched;
        untouched.fill(0xA5A5);
        check(words == untouched);
      }
      break;
    }
    case 1: {
      RecordWords words{static_cast<uint16_t>(record)};
      axtune::ExchangeRecord(axtune::kObjectRecord, words);
      break;
    }
    case 2:
      axtune::WriteWords(record * 3, record % 16, static_cast<uint16_t>(record * 257));
      break;
    default: {
      int32_t value = 0x5A5A5A5A;
      if (!axtune::ReadObject(static_cast<uint16_t>(0x6040 + record), static_cast<uint8_t>(record & 1),
                              &value)) {
        check(value == 0x5A5A5A5A);
      }
      break;
    }
  }
  const int error = axtune::LinkError;
  check(error >= 0 && error <= 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FakeLine& fake = line();
  fake.reset();
  if (size == 0) {
    runOperation(0);
    return 0;
  }
  const size_t operations = std::min<size_t>(data[0] % 8 + 1, size - 1);
  const uint8_t* ops = data + 1;
  const size_t replyOffset = 1 + operations;
  fake.feed(axtune::testing::Bytes(data + replyOffset, data + size));
  for (size_t i = 0; i < operations; ++i) runOperation(ops[i]);
  check(fake.bytesRead() <= size - replyOffset);
  return 0;
}
