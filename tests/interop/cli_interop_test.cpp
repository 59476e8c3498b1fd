// axtune-cli against the reference drive in every reply style, on a pty and over RFC 2217: every
// command that talks to a drive, checked against what the drive got (its log) and what the tool said.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "core/parameter_file.h"
#include "link/sleeper.h"
#include "tests/interop/textdrive_peer.h"
#include "tests/support/test_env.h"

namespace axtune::interop {
namespace {

namespace fs = std::filesystem;
using cli::kExitDrive;
using cli::kExitOk;

class CliInterop : public ::testing::TestWithParam<PeerStyle> {
 protected:
  void SetUp() override {
    test::UnsetEnv("AXTUNE_PORT");
    std::string why;
    drive_ = TextDrive::For(GetParam(), &why);
    if (drive_ == nullptr) GTEST_SKIP() << why;
    mark_ = drive_->mark();
    dir_ = fs::temp_directory_path() / ("axtune-interop-cli-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    env_.programPath = AXTUNE_CLI_PATH;
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  struct Result {
    int code = -1;
    std::string out;
    std::string err;
    std::string said() const { return out + err; }
  };
  Result run(std::vector<std::string> args, const std::string& device = {}) {
    args.insert(args.begin(), {"--port", device.empty() ? drive_->device() : device, "--lang", "en"});
    std::ostringstream out;
    std::ostringstream err;
    Result result;
    result.code = cli::RunCli(args, out, err, env_);
    result.out = out.str();
    result.err = err.str();
    drive_->awaitNoClient();  // as a user's next command would come, not within the drive's 20 ms
    return result;
  }
  // What the drive got since the test began.
  std::vector<JsonValue> got(const std::string& kind) const { return drive_->since(mark_, kind); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  // A value this test alone writes, so that an earlier test's write cannot pass for it.
  uint16_t fresh(int base) const { return static_cast<uint16_t>(base + static_cast<int>(mark_ % 97)); }

  TextDrive* drive_ = nullptr;
  size_t mark_ = 0;
  fs::path dir_;
  cli::CliEnvironment env_;
  ScopedSleeper sleeper_{[](int) {}};  // the store's and the load's pauses for the drive
};

TEST_P(CliInterop, IdentifyAndStatusRead) {
  const Result identify = run({"identify", "--json"});
  ASSERT_EQ(identify.code, kExitOk) << identify.said();
  EXPECT_NE(identify.out.find("1025"), std::string::npos) << identify.out;
  EXPECT_NE(identify.out.find("4.1"), std::string::npos) << identify.out;
  const Result status = run({"status"});
  EXPECT_EQ(status.code, kExitOk) << status.said();
  EXPECT_FALSE(Where(got("read"), "rec", 128).empty());
  EXPECT_FALSE(Where(got("read"), "rec", 129).empty());
}

TEST_P(CliInterop, WordAndRecordWritesArriveAndAClampedWordIsToldByTheReadBack) {
  const uint16_t value = fresh(300);
  const Result word = run({"write-word", "3", "1", std::to_string(value)});
  EXPECT_EQ(word.code, kExitOk) << word.said();
  const auto words = Where(got("word"), "rec", 3);
  ASSERT_EQ(words.size(), 1u);
  EXPECT_EQ(words[0]["value"].integer(), value);
  EXPECT_EQ(words[0]["kept"].integer(), value);
  const Result read = run({"read", "3", "--json"});
  ASSERT_EQ(read.code, kExitOk) << read.said();
  EXPECT_NE(read.out.find(std::to_string(value)), std::string::npos) << read.out;

  // The drive keeps record 2 word 5 at most 2000: the write is answered (no failure), and only the
  // read-back of --verify can tell, which it does.
  EXPECT_EQ(run({"write-word", "2", "5", "2500"}).code, kExitOk);
  const Result verified = run({"write-word", "2", "5", "2500", "--verify"});
  EXPECT_EQ(verified.code, kExitDrive) << verified.said();
  EXPECT_NE(verified.said().find("07D0"), std::string::npos) << verified.said();
  for (const JsonValue& w : Where(got("word"), "rec", 2)) EXPECT_EQ(w["kept"].integer(), 2000);

  std::vector<std::string> args = {"write-record", "5"};
  for (int w = 0; w < 15; ++w) args.push_back(std::to_string(value + w));
  const Result record = run(args);
  EXPECT_EQ(record.code, kExitOk) << record.said();
  const auto writes = Where(got("write"), "rec", 5);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0]["kept"][14].integer(), value + 14);
}

TEST_P(CliInterop, ObjectWritesCountUnlessTheDriveRefusesThem) {
  const uint16_t value = fresh(1400);
  const Result write = run({"write-object", "0x6075", "0", "4", std::to_string(value), "--verify"});
  EXPECT_EQ(write.code, kExitOk) << write.said();
  const Result read = run({"read-object", "0x6075", "0", "--json"});
  ASSERT_EQ(read.code, kExitOk) << read.said();
  EXPECT_NE(read.out.find("\"value\": " + std::to_string(value)), std::string::npos) << read.out;

  const Result refused = run({"write-object", "0x6075", "0", "4", "99999"});
  EXPECT_EQ(refused.code, kExitDrive);
  EXPECT_NE(refused.err.find("refused"), std::string::npos) << refused.said();
  EXPECT_NE(refused.err.find("0x06090031"), std::string::npos) << refused.said();
  const auto writes = Where(got("object-write"), "index", 0x6075);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_TRUE(writes[0]["accepted"].boolean);
  EXPECT_EQ(writes[0]["value"].integer(), value);
  EXPECT_FALSE(writes[1]["accepted"].boolean);

  const Result unknown = run({"read-object", "0x1234", "0"});
  EXPECT_EQ(unknown.code, kExitDrive);
  EXPECT_NE(unknown.err.find("refused the read"), std::string::npos) << unknown.said();
  EXPECT_NE(unknown.err.find("0x06020000"), std::string::npos) << unknown.said();
}

TEST_P(CliInterop, SetVerifiesByReadingBackAndNamesARefusal) {
  const uint16_t value = fresh(1500);
  const Result set = run({"set", "motor-current=" + std::to_string(value)});
  EXPECT_EQ(set.code, kExitOk) << set.said();
  const Result get = run({"get", "motor-current", "--json"});
  ASSERT_EQ(get.code, kExitOk) << get.said();
  EXPECT_NE(get.out.find("\"raw\": " + std::to_string(value)), std::string::npos) << get.out;

  const Result refused = run({"set", "step-resolution=100"});  // the drive takes 200..51200
  EXPECT_EQ(refused.code, kExitDrive);
  EXPECT_NE(refused.err.find("the drive refused step-resolution = 100"), std::string::npos) << refused.said();
  EXPECT_NE(refused.err.find("0x06090032"), std::string::npos) << refused.said();
  const auto current = Where(got("object-write"), "index", 0x6075);
  ASSERT_EQ(current.size(), 1u);
  EXPECT_EQ(current[0]["value"].integer(), value);
  const auto resolution = Where(got("object-write"), "index", 0x6510);
  ASSERT_EQ(resolution.size(), 1u);
  EXPECT_FALSE(resolution[0]["accepted"].boolean);
}

TEST_P(CliInterop, StoreIsTakenOnAnyWholeAnswer) {
  const Result store = run({"store"});
  EXPECT_EQ(store.code, kExitOk) << store.said();
  EXPECT_EQ(got("store").size(), 1u);
}

TEST_P(CliInterop, SaveThenLoadSendsTheRecordsAndTellsAClampedWordByItsReadBack) {
  const std::string file = path("drive-" + PeerStyleName(GetParam()) + ".qmx");
  const Result save = run({"save", file});
  ASSERT_EQ(save.code, kExitOk) << save.said();
  for (int r = 0; r < 20; ++r) EXPECT_FALSE(Where(got("read"), "rec", r).empty()) << r;

  // Record 2 word 5 in the file above what the drive keeps.
  std::vector<uint8_t> bytes;
  std::string reason;
  ASSERT_TRUE(ReadWholeFile(file, bytes, reason)) << reason;
  const size_t at = kParameterFileHeaderBytes + 2 * kParameterRecordBytes + 2 * 5;
  bytes[at] = 2500 & 0xFF;
  bytes[at + 1] = 2500 >> 8;
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  const size_t before = drive_->mark();
  const Result load = run({"load", file});
  ASSERT_EQ(load.code, kExitOk) << load.said();
  const std::vector<JsonValue> sent = drive_->since(before, "write");
  ASSERT_EQ(sent.size(), 18u);
  for (int r = 2; r < 20; ++r) EXPECT_EQ(sent[static_cast<size_t>(r - 2)]["rec"].integer(), r);
  EXPECT_EQ(sent[0]["kept"][5].integer(), 2000);
  EXPECT_EQ(drive_->since(before, "end-of-load").size(), 1u);
  // Only the clamped word is reported, whatever the replies' words held.
  EXPECT_NE(load.out.find("one value other than the file's"), std::string::npos) << load.said();
  EXPECT_NE(load.out.find("file 2500, drive 2000"), std::string::npos) << load.said();
}

TEST_P(CliInterop, DiffAndReportReadTheDrive) {
  const std::string file = path("for-diff.qmx");
  ASSERT_EQ(run({"save", file}).code, kExitOk);
  // The drive against its own file: every value read (no row "unreadable"), none different.
  const Result diff = run({"diff", "drive", file});
  EXPECT_EQ(diff.code, kExitOk) << diff.said();
  EXPECT_EQ(diff.said().find("unreadable"), std::string::npos) << diff.said();
  const std::string html = path("report.html");
  const Result report = run({"report", html});
  EXPECT_EQ(report.code, kExitOk) << report.said();
  EXPECT_TRUE(fs::exists(html));
}

TEST_P(CliInterop, BatchOfTwoDrives) {
  std::string why;
  // A second drive of another style on the other transport.
  TextDrive* other = TextDrive::For({"sdo", 3, !GetParam().rfc2217}, &why);
  if (other == nullptr) GTEST_SKIP() << why;
  std::ostringstream out;
  std::ostringstream err;
  const int code = cli::RunCli(
      {"batch", "--port", drive_->device(), "--port", other->device(), "--", "identify"}, out, err, env_);
  drive_->awaitNoClient();
  other->awaitNoClient();
  EXPECT_EQ(code, kExitOk) << out.str() << err.str();
  EXPECT_NE(out.str().find("2 of 2"), std::string::npos) << out.str() << err.str();
  EXPECT_FALSE(Where(got("read"), "rec", 128).empty());
}

INSTANTIATE_TEST_SUITE_P(Styles, CliInterop, ::testing::ValuesIn(AllPeerStyles()),
                         [](const ::testing::TestParamInfo<PeerStyle>& info) {
                           return PeerStyleName(info.param);
                         });

}  // namespace
}  // namespace axtune::interop
