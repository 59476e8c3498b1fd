// axtune-cli against a drive that shares no code with the simulator (tests/support/protocol_peer.h):
// it repeats single-word requests and answers record writes with the record as it holds it.
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

TEST_F(CliPeerTest, WordAndRecordWritesTakeTheDrivesOwnReplies) {
  const Result word = run({"write-word", "2", "7", "4660"});
  EXPECT_EQ(word.code, kExitOk) << word.err;
  EXPECT_EQ(peer_.record(2)[7], 4660);

  // Word 0 repeated starts with 0x80, the shape of an error reply with code 0.
  EXPECT_EQ(run({"write-word", "3", "0", "17"}).code, kExitOk);
  EXPECT_EQ(peer_.record(3)[0], 17);

  const Result refused = run({"write-word", "0", "1", "5"});  // the peer keeps record 0 read-only
  EXPECT_EQ(refused.code, kExitDrive);
  EXPECT_NE(refused.err.find("refused"), std::string::npos) << refused.err;

  std::vector<std::string> args = {"write-record", "2", "--json"};
  for (int w = 0; w < 15; ++w) args.push_back(w == 2 ? "30000" : std::to_string(w));
  const Result record = run(args);
  ASSERT_EQ(record.code, kExitOk) << record.err;
  EXPECT_EQ(record.json()["reply"][2].integer(), 16383);
  ASSERT_EQ(record.json()["differingWords"].items.size(), 1u);
  EXPECT_EQ(peer_.record(2)[2], 16383);
}

TEST_F(CliPeerTest, SaveThenLoadWithAClampedWordAndTheEndOfLoad) {
  const std::string file = path("peer.qmx");
  const Result save = run({"save", file, "--user", "U", "--company", "C"});
  ASSERT_EQ(save.code, kExitOk) << save.err;
  std::vector<uint8_t> bytes;
  std::string reason;
  ASSERT_TRUE(ReadWholeFile(file, bytes, reason)) << reason;
  ParsedParameterFile parsed = ParseParameterFile(bytes.data(), bytes.size(), 20);
  ASSERT_EQ(parsed.format, ParameterFileFormat::Ok);
  EXPECT_EQ(parsed.records[19], peer_.record(19));

  parsed.records[2][2] = 40000;
  parsed.records[5][9] = 1;
  bytes = BuildParameterFile(parsed.records, *parsed.trailer);
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const Result load = run({"load", file, "--json"});
  ASSERT_EQ(load.code, kExitOk) << load.err;
  EXPECT_EQ(load.json()["recordsTaken"].integer(), 18);
  ASSERT_EQ(load.json()["differences"].items.size(), 1u);
  EXPECT_EQ(load.json()["differences"][0]["drive"].integer(), 16383);
  EXPECT_EQ(peer_.record(5)[9], 1);
  EXPECT_EQ(peer_.commands(), std::vector<uint16_t>{4});
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
    // One record write's wait (34 bytes + 1000 ms) and nothing more: no further records, no pause,
    // no end-of-load command into the silence.
    EXPECT_LE(line_->clockUs() - start, 1034u * 1000);
  }
  EXPECT_EQ(std::count(pauses_.begin(), pauses_.end(), 2000), 0);
  EXPECT_TRUE(peer_.commands().empty());
}

}  // namespace
}  // namespace axtune::cli::testing
