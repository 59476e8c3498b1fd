// Parameter sets side by side: named differences, words no page shows, a flag word whose unshown
// bit differs, sets of different size, and the update log and SHA-256 behind the report.
#include "core/parameter_compare.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/sha256.h"
#include "core/update_log.h"

namespace axtune {
namespace {

ParameterSet Set(int count) {
  ParameterSet set;
  set.records.assign(static_cast<size_t>(count), RecordWords{});
  return set;
}

std::vector<std::string> Names(const std::vector<ParamDifference>& diffs) {
  std::vector<std::string> names;
  for (const ParamDifference& d : diffs) names.push_back(d.entry.name);
  return names;
}

struct WordChange {
  int record, word;
  uint16_t value;
  std::vector<std::string> expected;
};

class CompareWords : public ::testing::TestWithParam<WordChange> {};

TEST_P(CompareWords, NameWhatChangedAndOnlyThat) {
  const WordChange& c = GetParam();
  ParameterSet a = Set(65), b = Set(65);
  b.records[static_cast<size_t>(c.record)][static_cast<size_t>(c.word)] = c.value;
  EXPECT_EQ(Names(CompareParameterSets(a, b)), c.expected);
  EXPECT_TRUE(CompareParameterSets(a, a).empty());
}

INSTANTIATE_TEST_SUITE_P(
    EachKindOfWord, CompareWords,
    ::testing::Values(WordChange{2, 5, 800, {"idle-current-delay"}},
                      WordChange{18, 3, 7, {"profile-4-velocity"}},  // high word of a 32-bit value
                      WordChange{3, 3, 13, {"input-de4"}},
                      WordChange{14 + 9, 8, 0x0081, {"profile-9-relative", "profile-9-waiting-active"}},
                      WordChange{14 + 9, 8, 0x4000, {"record-23-word-8"}},  // a bit no control shows
                      WordChange{2, 4, 0x0003, {"invert-enable", "record-2-word-4"}},
                      WordChange{2, 0, 1500, {"motor-current"}},  // an object value, where the drive keeps it
                      WordChange{64, 9, 0xFFFF, {"homing-position"}},
                      WordChange{5, 14, 1, {"record-5-word-14"}}));

TEST(CompareParameterSets, ObjectValuesCompareOnlyWhereBothSidesHoldThem) {
  ParameterSet drive = Set(65), file = Set(65), otherDrive = Set(65);
  drive.objects["motor-current"] = 2000;
  otherDrive.objects["motor-current"] = 1500;
  EXPECT_TRUE(CompareParameterSets(drive, file).empty()) << "a file holds no object values";
  EXPECT_EQ(Names(CompareParameterSets(drive, otherDrive)), std::vector<std::string>{"motor-current"});
  const auto all = CompareParameterSets(drive, otherDrive, true);
  EXPECT_GT(all.size(), 600u) << "with the equal ones";
}

TEST(CompareParameterSets, AnObjectTheDriveDidNotGiveIsListedWithWhyAndTheRestCompared) {
  ParameterSet drive = Set(65), otherDrive = Set(65);
  drive.unreadable["motor-current"] = ReadFailure{0x06020000, 0};
  otherDrive.objects["motor-current"] = 1500;
  drive.objects["step-resolution"] = 200;
  otherDrive.objects["step-resolution"] = 400;
  const auto diffs = CompareParameterSets(drive, otherDrive);
  EXPECT_EQ(Names(diffs), (std::vector<std::string>{"motor-current", "step-resolution"}));
  ASSERT_TRUE(diffs[0].failedA);
  EXPECT_FALSE(diffs[0].failedB);
  EXPECT_FALSE(diffs[0].equal());
  EXPECT_EQ(ReadFailureText(*diffs[0].failedA, Language::English),
            "unreadable: the drive refused it (abort 0x06020000)");
  EXPECT_EQ(ReadFailureText(ReadFailure{0, 2}, Language::German), "nicht lesbar: keine Antwort vom Antrieb");
}

TEST(CompareParameterSets, AnObjectValueIsNamedInAFileUnlessTheDriveKeepsItElsewhere) {
  ParameterSet drive = Set(65), file = Set(65);
  drive.records[2][0] = 2000;  // the drive's object and its record words agree
  drive.objects["motor-current"] = 2000;
  file.records[2][0] = 1500;
  auto diffs = CompareParameterSets(file, drive);
  ASSERT_EQ(Names(diffs), std::vector<std::string>{"motor-current"});
  EXPECT_EQ(diffs[0].rawA, 1500u);
  EXPECT_EQ(diffs[0].rawB, 2000u);
  EXPECT_EQ(diffs[0].wordsA, (std::vector<uint16_t>{1500, 0}));

  // A drive whose object disagrees with those words keeps the value elsewhere: the file's words are
  // then only words, and the object is not compared with them.
  drive.records[2][0] = 7;
  diffs = CompareParameterSets(file, drive);
  EXPECT_EQ(Names(diffs), std::vector<std::string>{"record-2-word-0"});
}

TEST(CompareParameterSets, RecordsOnlyOneSideHasAreListedAsMissing) {
  const auto diffs = CompareParameterSets(Set(65), Set(64));
  ASSERT_FALSE(diffs.empty());
  for (const ParamDifference& d : diffs) {
    EXPECT_TRUE(d.inA);
    EXPECT_FALSE(d.inB) << d.entry.name;
    EXPECT_TRUE(d.entry.record == 64 || d.entry.name.rfind("record-64-", 0) == 0) << d.entry.name;
  }
}

TEST(Sha256, KnownDigests) {
  const std::string abc = "abc";
  EXPECT_EQ(Sha256Hex(nullptr, 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // crosses a block
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(two.data()), two.size()),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256OfFile("/nonexistent-axtune-file"), "");
}

TEST(UpdateLog, LinesGoInAndComeBackAndUnreadableLinesAreSkipped) {
  const auto dir = std::filesystem::temp_directory_path() / "axtune_update_log_test";
  std::filesystem::remove_all(dir);
  const std::string path = (dir / "sub" / "updates.jsonl").string();
  UpdateLogEntry e;
  e.time = "2026-12-07T18:00:00Z";
  e.port = "COM1 (/dev/ttyUSB0)";
  e.file = "C:\\fw\\\"odd\" name.out";
  e.sha256 = "ab";
  e.outcome = "Verify failed";
  e.sections = 3;
  e.bytes = 4096;
  e.seconds = 2.0;
  std::string error;
  ASSERT_TRUE(AppendUpdateLog(e, &error, path)) << error;
  { std::ofstream(path, std::ios::app) << "not json\n{\"time\":\"x\"}\n"; }
  UpdateLogRecorder recorder("axtune-cli", "sim", path, "QMX10-BA 4.1.7, 65 records");
  ASSERT_TRUE(recorder.Finish("Verify ok", 1, 10, "", &error, path)) << error;
  const std::vector<UpdateLogEntry> log = ReadUpdateLog(path);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], e);
  EXPECT_EQ(log[0].bytesPerSecond(), 2048);
  EXPECT_EQ(log[1].outcome, "Verify ok");
  EXPECT_EQ(log[1].sha256.size(), 64u) << "the SHA-256 of the file itself";
  EXPECT_EQ(log[1].driveBefore, "QMX10-BA 4.1.7, 65 records");
  // Stopped, the duration stays what it was however long the front end takes to finish the line.
  UpdateLogRecorder stopped("axtune", "sim", path, "");
  stopped.Stop();
  ASSERT_TRUE(stopped.Finish("Verify ok", 1, 10, "", &error, path)) << error;
  const double seconds = stopped.entry().seconds;
  ASSERT_TRUE(stopped.Finish("Verify ok", 1, 10, "", &error, path)) << error;
  EXPECT_EQ(stopped.entry().seconds, seconds);
  EXPECT_FALSE(AppendUpdateLog(e, &error, "/proc/axtune/updates.jsonl"));
  EXPECT_FALSE(error.empty());
  std::filesystem::remove_all(dir);
}

// The report's last update is the last one of a drive of the report's type: as it ended, or as it
// began when it did not answer afterwards; a drive that never answered is nobody's.
TEST(UpdateLog, LastUpdateOfTypeIsTheLastOfADriveOfThatType) {
  auto entry = [](const char* file, const char* before, const char* after) {
    UpdateLogEntry e;
    e.file = file;
    e.driveBefore = before;
    e.driveAfter = after;
    return e;
  };
  const std::vector<UpdateLogEntry> log = {
      entry("ba-1.out", "QMX10-BA 4.1.6, 65 records", "QMX10-BA 4.1.7, 65 records"),
      entry("et.out", "QMX10-ET 4.1.7, 65 records", "QMX10-ET 4.1.7, 65 records"),
      entry("ba-2.out", "QMX10-BA 4.1.7, 65 records", ""),  // no answer after it
      entry("unknown.out", "", ""),
  };
  struct Case {
    const char* type;
    const char* file;  // "" for none
  };
  for (const Case& c : {Case{"QMX10-BA", "ba-2.out"}, Case{"QMX10-ET", "et.out"}, Case{"QMX10-PB", ""},
                        Case{"QMX10", ""}, Case{"", ""}}) {
    const std::optional<UpdateLogEntry> last = LastUpdateOfType(log, c.type);
    EXPECT_EQ(last ? last->file : std::string(), c.file) << "type " << c.type;
  }
}

}  // namespace
}  // namespace axtune
