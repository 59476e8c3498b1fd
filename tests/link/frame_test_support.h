// Frame builders and a fixture that puts the drive link on a scripted fake line.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "link/drive_link.h"
#include "link/testing/fake_serial_port.h"

namespace axtune::test {

using testing::Bytes;

// A whole-record frame (34 bytes) with a correct checksum.
Bytes RecordFrame(uint8_t control, uint8_t record, const RecordWords& words);
// A record read reply for `record` carrying `words`.
Bytes ReadReply(uint8_t record, const RecordWords& words);
// An error reply (two header bytes) with the drive's error code in bits 4 to 6.
Bytes ErrorReply(uint8_t record, int driveCode);
// The 15 words of a 34-byte frame.
RecordWords WordsOf(const Bytes& frame);

class FakeLinkTest : public ::testing::Test {
 protected:
  static constexpr const char* kDevice = "fake-drive";
  void SetUp() override;
  void TearDown() override;
  // Has one object request answered (with whatever check of the line the link makes before it), so
  // that nothing is owed and the next object request goes straight out.
  void settleLink();

  std::shared_ptr<testing::FakeLine> line_ = std::make_shared<testing::FakeLine>();
  std::unique_ptr<testing::ScopedFakePort> registration_;
};

}  // namespace axtune::test
