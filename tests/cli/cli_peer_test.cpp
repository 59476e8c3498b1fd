// axtune-cli against a drive inside the process whose line goes dead at a chosen record
// (tests/support/protocol_peer.h), on the fake port's clock. The commands against a drive written
// apart from this project are in tests/interop/.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "core/parameter_file.h"
#include "link/sleeper.h"
#include "link/testing/fake_serial_port.h"
#include "tests/cli/json_reader.h"
#include "tests/support/protocol_peer.h"
#include "tests/support/test_env.h"

namespace axtune::cli::testing {
namespace {

class CliPeerTest : public ::testing::Test {
 protected:
  static constexpr const char* kDevice = "peer:cli";

  void SetUp() override {
    axtune::test::UnsetEnv("AXTUNE_PORT");
    line_->setResponder(peer_.responder());
    dir_ =
        std::filesystem::temp_directory_path() /
        ("axtune_cli_peer_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  struct Result {
    int code = -1;
    std::string out;
    std::string err;
    JsonValue json() const { return JsonReader::parse(out); }
  };
  Result run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", kDevice, "--lang", "en"});
    std::ostringstream out;
    std::ostringstream err;
    Result result;
    result.code = RunCli(args, out, err, env_);
    result.out = out.str();
    result.err = err.str();
    return result;
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  axtune::test::ProtocolPeer peer_{20};
  std::shared_ptr<axtune::testing::FakeLine> line_ = std::make_shared<axtune::testing::FakeLine>();
  axtune::testing::ScopedFakePort port_{kDevice, line_};
  std::vector<int> pauses_;
  ScopedSleeper sleeper_{[this](int ms) { pauses_.push_back(ms); }};
  CliEnvironment env_;
  std::filesystem::path dir_;
};

// One flipped bit in the reply to record 5: a damaged reply is retried like any transport error,
// never taken for a silent drive, and the load goes on to the end-of-load command.
TEST_F(CliPeerTest, ADamagedReplyDuringALoadIsRetriedAndTheLoadGoesOn) {
  const std::string file = path("damaged.qmx");
  ASSERT_EQ(run({"save", file}).code, kExitOk);
  for (const size_t flipped : {size_t{1}, size_t{0}, size_t{20}}) {  // record byte, header, a word
    SCOPED_TRACE(flipped);
    bool damaged = false;
    line_->setResponder([this, &damaged, flipped](const axtune::testing::Bytes& written) {
      axtune::testing::Bytes reply = peer_.responder()(written);
      if (!damaged && written.size() == 34 && written[0] == 0x8F && written[1] == 5 && reply.size() == 34) {
        reply[flipped] ^= 0x04;
        damaged = true;
      }
      return reply;
    });
    const Result load = run({"load", file, "--json"});
    ASSERT_EQ(load.code, kExitOk) << load.err;
    EXPECT_TRUE(damaged);
    EXPECT_EQ(load.json()["recordsTaken"].integer(), 18);
    EXPECT_TRUE(load.json()["endOfLoadSent"].boolean);
  }
  EXPECT_EQ(peer_.commands(), (std::vector<uint16_t>{4, 4, 4}));
}

TEST_F(CliPeerTest, ADeadLineEndsTheLoadWithinOneRecordsTimeout) {
  const std::string file = path("dead.qmx");
  ASSERT_EQ(run({"save", file}).code, kExitOk);
  for (int dead : {2, 14}) {
    SCOPED_TRACE(dead);
    peer_.setSilent(false);
    peer_.goSilentAtRecordWrite(dead);
    const uint64_t start = line_->clockUs();
    const Result load = run({"load", file});
    EXPECT_EQ(load.code, kExitDrive);
    EXPECT_NE(load.err.find("took " + std::to_string(dead - 2) + " of 18 records; record " +
                            std::to_string(dead) + " got no answer"),
              std::string::npos)
        << load.err;
    // One record write's wait (34 bytes + 1000 ms), then the end-of-load command's, and nothing
    // more: no further records, no pause.
    EXPECT_LE(line_->clockUs() - start, 2 * 1034u * 1000);
    EXPECT_NE(load.err.find("the end-of-load command was sent"), std::string::npos) << load.err;
  }
  EXPECT_EQ(std::count(pauses_.begin(), pauses_.end(), 2000), 0);
}

}  // namespace
}  // namespace axtune::cli::testing
