#include "core/parameter_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "link/sleeper.h"
#include "res/strings.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;

// A drive seen through record reads and writes; remembers every write.
class FakeRecords : public ParameterRecordAccess {
 public:
  explicit FakeRecords(int failAt = -1) : failAt_(failAt) {}
  bool readRecord(int record, RecordWords& words) override {
    ++reads;
    if (record == failAt_) return false;
    if (auto it = held.find(record); it != held.end()) {
      words = it->second;
      return true;
    }
    for (int i = 0; i < kRecordWords; ++i) words[i] = static_cast<uint16_t>(record * 100 + i);
    return true;
  }
  bool exchangeRecord(int record, RecordWords& words) override {
    writes.emplace_back(record, words);
    if (record >= silentFrom) {
      error_ = kLinkNoReply;
      return false;
    }
    if (refusals.count(record) != 0 && refusals[record]-- > 0) {
      error_ = kLinkBadChecksum;
      return false;
    }
    RecordWords kept = words;
    if (keep) keep(record, kept);
    held[record] = kept;
    if (answer) answer(record, words);
    return true;
  }
  int lastLinkError() const override { return error_; }

  int reads = 0;
  std::vector<std::pair<int, RecordWords>> writes;
  int silentFrom = 1000;                          // records from this one on get no answer
  std::map<int, int> refusals;                    // record -> replies that come back damaged
  std::function<void(int, RecordWords&)> keep;    // what the drive keeps of the words (default: all)
  std::function<void(int, RecordWords&)> answer;  // its reply's words (default: the words sent)
  std::map<int, RecordWords> held;                // records as written

 private:
  int failAt_;
  int error_ = kLinkNoReply;
};

RecordWords Pattern(int record) {
  RecordWords words{};
  for (int i = 0; i < kRecordWords; ++i) words[i] = static_cast<uint16_t>(0xA000 + record * 16 + i);
  words[13] = 0;  // as in a drive's records, some words are zero: records do not read as text
  return words;
}

std::string RandomBytes(size_t n) {
  std::string bytes(n, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::vector<uint8_t> FileFor(int count);

// The identification, then 4000 random bytes.
std::vector<uint8_t> JunkTailed() {
  std::vector<uint8_t> bytes = FileFor(0);
  bytes.resize(9);
  const std::string junk = RandomBytes(4000);
  bytes.insert(bytes.end(), junk.begin(), junk.end());
  return bytes;
}

std::vector<uint8_t> FileFor(int count) {
  std::vector<RecordWords> records;
  for (int r = 0; r < count; ++r) records.push_back(Pattern(r));
  // A path longer than a record, as real paths are: it must not pass for records.
  return BuildParameterFile(records,
                            {"/home/technician/parameters/line-3/drive.qmx", "07.12.2026", "Anna", "Orvane"});
}

// A valid file with 2 MB appended.
std::vector<uint8_t> Oversized() {
  std::vector<uint8_t> bytes = FileFor(20);
  bytes.resize(bytes.size() + (2u << 20), 0x41);
  return bytes;
}

class ParameterFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("axtune_paramfile_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  std::vector<uint8_t> read(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string reason;
    EXPECT_TRUE(ReadWholeFile(path, bytes, reason)) << reason;
    return bytes;
  }

  fs::path dir_;
  std::vector<int> pauses_;
  ScopedSleeper sleeper_{[this](int ms) { pauses_.push_back(ms); }};
};

TEST(ParameterFileLayout, BytesOfASavedFile) {
  RecordWords r0{};
  r0[0] = 0x1234;
  r0[14] = 0xFFFE;
  const std::vector<uint8_t> file =
      BuildParameterFile({r0, Pattern(1)}, {"C:\\p.qmx", "05.03.2026", "Bo", "Co"});

  const char ident[] = "LWB V2.0";
  ASSERT_EQ(file.size(), 9u + 60u + 9u + 11u + 3u + 3u);
  EXPECT_EQ(std::memcmp(file.data(), ident, 9), 0);  // includes the zero byte
  EXPECT_EQ(file[9], 0x34);                          // words little-endian
  EXPECT_EQ(file[10], 0x12);
  EXPECT_EQ(file[9 + 28], 0xFE);
  EXPECT_EQ(file[9 + 29], 0xFF);
  EXPECT_EQ(file[9 + 30], 0x10);  // record 1 word 0 = 0xA010
  EXPECT_EQ(file[9 + 31], 0xA0);
  const std::string trailer(file.begin() + 69, file.end());
  EXPECT_EQ(trailer, std::string("C:\\p.qmx\0"
                                 "05.03.2026\0"
                                 "Bo\0"
                                 "Co\0",
                                 26));
}

TEST(ParameterFileLayout, DateIsDayMonthYearInUtc) {
  EXPECT_EQ(FormatSaveDate(0), "01.01.1970");
  EXPECT_EQ(FormatSaveDate(1772668800 + 23 * 3600), "05.03.2026");  // 23:00 UTC, whatever the zone
}

TEST(ParameterFileLayout, WithoutDriveOnlyHeaderAndTrailer) {
  const std::vector<uint8_t> file = BuildParameterFile({}, {"/x", "01.02.2026", "", ""});
  EXPECT_EQ(file.size(), 9u + 3u + 11u + 1u + 1u);
  const ParsedParameterFile parsed = ParseParameterFile(file.data(), file.size(), 0);
  EXPECT_EQ(parsed.format, ParameterFileFormat::Ok);
  EXPECT_TRUE(parsed.records.empty());
}

TEST(ParameterFileLayout, ParseTellsTheCountTheFileWasSavedWith) {
  const std::vector<uint8_t> file = FileFor(20);
  const ParsedParameterFile ok = ParseParameterFile(file.data(), file.size(), 20);
  ASSERT_EQ(ok.format, ParameterFileFormat::Ok);
  ASSERT_EQ(ok.records.size(), 20u);
  EXPECT_EQ(ok.records[19], Pattern(19));
  ASSERT_TRUE(ok.trailer);
  EXPECT_EQ(ok.trailer->userName, "Anna");

  const ParsedParameterFile fewer = ParseParameterFile(file.data(), file.size(), 18);
  EXPECT_EQ(fewer.format, ParameterFileFormat::CountMismatch);
  EXPECT_EQ(fewer.savedRecordCount, 20);
  const ParsedParameterFile more = ParseParameterFile(file.data(), file.size(), 65);
  EXPECT_EQ(more.format, ParameterFileFormat::TooShort);
  EXPECT_EQ(more.savedRecordCount, 20);

  // The trailer only informs: a damaged one does not keep the records from loading.
  std::vector<uint8_t> cut(file.begin(), file.end() - 1);  // company without its zero byte
  const ParsedParameterFile damaged = ParseParameterFile(cut.data(), cut.size(), 20);
  EXPECT_EQ(damaged.format, ParameterFileFormat::Ok);
  EXPECT_FALSE(damaged.trailer);
}

TEST(ParameterFileLayout, TrailersOfOtherInstallationsLoadUnlessAnotherCountShows) {
  std::vector<uint8_t> records = FileFor(20);
  records.resize(9 + 20 * 30);  // identification and records only
  auto with = [&records](const std::string& trailer) {
    std::vector<uint8_t> bytes = records;
    bytes.insert(bytes.end(), trailer.begin(), trailer.end());
    return bytes;
  };
  using namespace std::string_literals;
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    ParameterFileFormat expected;
    bool trailer;
    int savedCount = -1;
  } cases[] = {
      {"Windows path and names in a Windows code page",
       with("C:\\Dokumente\\Antrieb \xC4nderung.qmx\0"s + "07.12.2026\0"s + "J\xFCrgen\0"s +
            "M\xFCller GmbH\0"s),
       ParameterFileFormat::Ok, true},
      {"another date form", with("C:\\p.dmd\0"s + "2026-12-07\0"s + "A\0"s + "B\0"s), ParameterFileFormat::Ok,
       false},
      {"bytes after the company", with("/p.qmx\0"s + "07.12.2026\0"s + "A\0"s + "B\0\r\n"s),
       ParameterFileFormat::Ok, false},
      {"a relative path", with("p.qmx\0"s + "07.12.2026\0"s + "A\0"s + "B\0"s), ParameterFileFormat::Ok,
       false},
      {"no trailer at all", with(""), ParameterFileFormat::Ok, false},
      {"the company's zero byte missing", with("/p.qmx\0"s + "07.12.2026\0"s + "A\0"s + "B"s),
       ParameterFileFormat::Ok, false},
      {"saved with 19 records, an ISO date and a relative path",
       [&] {
         std::vector<uint8_t> bytes = FileFor(19);
         bytes.resize(9 + 19 * 30);
         const std::string trailer = "drives/line-3/x.qmx\0"s + "2026-12-07\0"s + "u\0"s + "\0"s;
         bytes.insert(bytes.end(), trailer.begin(), trailer.end());
         return bytes;
       }(),
       ParameterFileFormat::CountMismatch, false, 19},
      {"saved with 19 records, a long path in another form",
       [&] {
         std::vector<uint8_t> bytes = FileFor(19);
         bytes.resize(9 + 19 * 30);
         const std::string trailer =
             "home/u/projects/line-3/cabinet-2/drive-7.qmx\0"s + "2026-12-07T10:11\0"s + "u\0"s + "c\0"s;
         bytes.insert(bytes.end(), trailer.begin(), trailer.end());
         return bytes;
       }(),
       ParameterFileFormat::CountMismatch, false, 19},
      {"random bytes behind the records", with(RandomBytes(4000)), ParameterFileFormat::UnknownTrailer, false,
       -1},
      {"a record's worth of zeros behind the records", with(std::string(30, '\0')),
       ParameterFileFormat::UnknownTrailer, false, -1},
      {"saved with 18 records (a trailer two records early)",
       [&] {
         std::vector<uint8_t> bytes = FileFor(18);
         bytes.resize(9 + 18 * 30);  // with a trailer long enough to fill two more records
         const std::string trailer = "C:\\x.qmx\0"s + "07.12.2026\0"s + std::string(50, 'n') + "\0"s + "c\0"s;
         bytes.insert(bytes.end(), trailer.begin(), trailer.end());
         return bytes;
       }(),
       ParameterFileFormat::CountMismatch, false, 18},
      {"a valid file with 2 MB appended",
       [&] {
         std::vector<uint8_t> bytes = FileFor(20);
         bytes.resize(bytes.size() + (2u << 20), 0x20);
         return bytes;
       }(),
       ParameterFileFormat::TooLarge, false, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ParsedParameterFile parsed = ParseParameterFile(c.bytes.data(), c.bytes.size(), 20);
    EXPECT_EQ(parsed.format, c.expected);
    EXPECT_EQ(parsed.trailer.has_value(), c.trailer);
    if (c.expected == ParameterFileFormat::Ok) {
      ASSERT_EQ(parsed.records.size(), 20u);
      EXPECT_EQ(parsed.records[19], Pattern(19));
    } else if (c.expected != ParameterFileFormat::TooLarge) {
      EXPECT_EQ(parsed.savedRecordCount, c.savedCount);
    }
  }
  // The largest file with a trailer of its longest form still fits.
  const std::string longest =
      std::string(kMaxTrailerPathBytes - 1, 'p') + "\0"s + std::string(kMaxTrailerDateBytes - 1, 'd') +
      "\0"s + std::string(kMaxTrailerNameBytes - 1, 'n') + "\0"s +
      std::string(kMaxTrailerNameBytes - 1, 'c') + "\0"s + std::string(kMaxTrailerTailBytes, '\n');
  const std::vector<uint8_t> largest = with(longest);
  EXPECT_EQ(largest.size(), MaxParameterFileBytes(20));
  EXPECT_EQ(ParseParameterFile(largest.data(), largest.size(), 20).format, ParameterFileFormat::Ok);
}

TEST_F(ParameterFileOnDisk, SaveReadsEveryRecordThenWritesTheFile) {
  FakeRecords drive;
  const std::string path = (dir_ / "a.qmx").string();
  const SaveOutcome outcome = SaveParameterFile(drive, 3, path, "Anna", "Orvane", 0);
  ASSERT_EQ(outcome.result, SaveResult::Saved) << outcome.reason;
  EXPECT_EQ(drive.reads, 3);
  const std::vector<uint8_t> bytes = read(path);
  EXPECT_EQ(bytes.size(), outcome.bytesWritten);
  const ParsedParameterFile parsed = ParseParameterFile(bytes.data(), bytes.size(), 3);
  ASSERT_EQ(parsed.format, ParameterFileFormat::Ok);
  EXPECT_EQ(parsed.records[2][14], 214);
  EXPECT_EQ(parsed.trailer->path, fs::absolute(path).lexically_normal().string());
  EXPECT_EQ(parsed.trailer->date, "01.01.1970");
  EXPECT_EQ(parsed.trailer->company, "Orvane");
}

TEST_F(ParameterFileOnDisk, FailedReadOrWriteKeepsTheExistingFile) {
  const std::string path = write("keep.qmx", {1, 2, 3});

  FakeRecords failing(5);
  const SaveOutcome readFailed = SaveParameterFile(failing, 10, path, "", "", 0);
  EXPECT_EQ(readFailed.result, SaveResult::ReadFailed);
  EXPECT_EQ(readFailed.failedRecord, 5);
  EXPECT_EQ(readFailed.linkError, 2);
  EXPECT_EQ(failing.reads, 6);  // stops at the first failure
  EXPECT_EQ(read(path), (std::vector<uint8_t>{1, 2, 3}));

  FakeRecords drive;
  const SaveOutcome noFolder = SaveParameterFile(drive, 2, (dir_ / "missing" / "x.qmx").string(), "", "", 0);
  EXPECT_EQ(noFolder.result, SaveResult::WriteFailed);
  EXPECT_NE(noFolder.reason.find("No such file or directory"), std::string::npos) << noFolder.reason;

  const SaveOutcome onFolder = SaveParameterFile(drive, 2, dir_.string() + "/", "", "", 0);
  EXPECT_EQ(onFolder.result, SaveResult::WriteFailed);

  // A successful save replaces the file and leaves nothing else beside it.
  ASSERT_EQ(SaveParameterFile(drive, 2, path, "", "", 0).result, SaveResult::Saved);
  EXPECT_GT(read(path).size(), 60u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(ParameterFileOnDisk, ReplacingAFileKeepsWhatOverwritingInPlaceWould) {
  const std::vector<uint8_t> image = FileFor(2);
  std::ptrdiff_t files = 0;
#ifndef _WIN32
  // POSIX permission bits and symbolic links; Windows has neither in this form.
  // The permissions stay those of the file that was replaced.
  const std::string priv = write("private.qmx", {1});
  fs::permissions(priv, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(WriteFileAtomically(priv, image).ok);
  EXPECT_EQ(fs::status(priv).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  // A link keeps pointing at the file, which gets the new contents.
  const std::string real = write("real.qmx", {1});
  const fs::path link = dir_ / "current.qmx";
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteFileAtomically(link.string(), image).ok);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(read(real), image);
  files += 3;
#endif

  // A write-protected file is not replaced.
  const std::string locked = write("locked.qmx", {1, 2});
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const FileWriteResult refused = WriteFileAtomically(locked, image);
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.reason.find("read-only"), std::string::npos) << refused.reason;
  EXPECT_EQ(read(locked), (std::vector<uint8_t>{1, 2}));
  fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);  // so TearDown can remove it
  files += 1;

  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), files);  // no temporaries
}

TEST_F(ParameterFileOnDisk, LoadSendsRecordsTwoToCountThenEndOfLoad) {
  const std::string path = write("twenty.qmx", FileFor(20));
  FakeRecords drive;
  bool refreshed = false;
  LoadHooks hooks;
  hooks.afterRecordsSent = [&] { refreshed = drive.writes.size() == 18; };
  const LoadOutcome outcome = LoadParameterFile(drive, 20, path, hooks);

  EXPECT_EQ(outcome.result, LoadResult::Loaded);
  EXPECT_EQ(outcome.recordsSent, 18);
  EXPECT_TRUE(outcome.markChanged);
  EXPECT_TRUE(refreshed);
  ASSERT_EQ(drive.writes.size(), 19u);
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(drive.writes[i].first, i + 2);
    EXPECT_EQ(drive.writes[i].second, Pattern(i + 2));
  }
  EXPECT_EQ(drive.writes.back().first, 127);
  EXPECT_EQ(drive.writes.back().second, (RecordWords{4}));
  EXPECT_EQ(pauses_, std::vector<int>{2000});
}

// How a drive answers a record write: the words sent, the record as it then holds it, or zeros.
enum class ReplyWords { Sent, Kept, Zeros };
struct RecordAnswer {
  const char* name;
  ReplyWords reply;
};

class LoadAgainstDrives : public ParameterFileOnDisk, public ::testing::WithParamInterface<RecordAnswer> {
 protected:
  // A drive that limits record 2 word 2 to 16383 and keeps record 5 word 0 at 7.
  void setUpDrive(FakeRecords& drive) {
    drive.keep = [](int record, RecordWords& words) {
      if (record == 2) words[2] = std::min<uint16_t>(words[2], 16383);
      if (record == 5) words[0] = 7;
    };
    const ReplyWords reply = GetParam().reply;
    drive.answer = [&drive, reply](int record, RecordWords& words) {
      if (reply == ReplyWords::Kept) words = drive.held[record];
      if (reply == ReplyWords::Zeros) words = RecordWords{};
    };
  }
};

TEST_P(LoadAgainstDrives, AWellFormedReplyTakesTheRecordAndOtherWordsAreListed) {
  std::vector<RecordWords> records;
  for (int r = 0; r < 20; ++r) records.push_back(Pattern(r));
  records[2][2] = 20000;
  const std::string path =
      write("limited.qmx", BuildParameterFile(records, {"/p.qmx", "07.12.2026", "", ""}));
  FakeRecords drive;
  setUpDrive(drive);
  const LoadOutcome outcome = LoadParameterFile(drive, 20, path);

  EXPECT_EQ(outcome.result, LoadResult::Loaded);
  EXPECT_EQ(outcome.recordsTaken, 18);
  EXPECT_EQ(drive.writes.size(), 19u) << "a differing reply is not a reason to send again";
  EXPECT_TRUE(outcome.refusedRecords.empty());
  EXPECT_TRUE(outcome.endOfLoadSent);
  // Whatever the reply's words: the differences are what the drive holds, as read back.
  const std::vector<RecordWordDifference> expected = {{2, 2, 20000, 16383}, {5, 0, Pattern(5)[0], 7}};
  EXPECT_EQ(outcome.differences, expected);
}

TEST_P(LoadAgainstDrives, ADeadLineStopsAtTheFirstSilentRecord) {
  const std::string path = write("full.qmx", FileFor(65));
  for (int dead : {2, 40}) {
    SCOPED_TRACE(dead);
    pauses_.clear();
    FakeRecords drive;
    setUpDrive(drive);
    drive.silentFrom = dead;
    bool refreshed = false;
    LoadHooks hooks;
    hooks.afterRecordsSent = [&] { refreshed = true; };
    const LoadOutcome outcome = LoadParameterFile(drive, 65, path, hooks);
    EXPECT_EQ(outcome.result, LoadResult::Loaded);
    EXPECT_EQ(outcome.silentRecord, dead);
    EXPECT_EQ(outcome.recordsTaken, dead - 2);
    EXPECT_EQ(outcome.recordsToSend, 63);
    // One attempt at the silent record, then no further record, no pause, no page refresh; the
    // end-of-load command still goes out, so a drive that missed one answer leaves its load mode.
    ASSERT_EQ(drive.writes.size(), static_cast<size_t>(dead));
    EXPECT_EQ(drive.writes[drive.writes.size() - 2].first, dead);
    EXPECT_EQ(drive.writes.back().first, 127);
    EXPECT_EQ(drive.writes.back().second, (RecordWords{4}));
    EXPECT_TRUE(outcome.endOfLoadSent);
    EXPECT_FALSE(refreshed);
    EXPECT_TRUE(pauses_.empty());
  }
}

TEST_P(LoadAgainstDrives, DamagedRepliesAreRetriedThenListedAndTheLoadGoesOn) {
  FakeRecords drive;
  setUpDrive(drive);
  drive.refusals = {{3, 1}, {4, kRecordWriteAttempts}};  // record 3 once, record 4 every time
  const LoadOutcome outcome = LoadParameterFile(drive, 20, write("twenty.qmx", FileFor(20)));
  EXPECT_EQ(outcome.recordsTaken, 17);
  EXPECT_EQ(outcome.refusedRecords, std::vector<int>{4});
  EXPECT_EQ(outcome.recordsSent, 18);
  EXPECT_EQ(drive.writes.size(), 18u + 1 + (kRecordWriteAttempts - 1) + 1);
  EXPECT_TRUE(outcome.endOfLoadSent);
}

TEST_P(LoadAgainstDrives, CancelStopsBeforeTheNextRecordAndStillEndsTheLoad) {
  FakeRecords drive;
  setUpDrive(drive);
  LoadHooks hooks;
  hooks.cancelled = [&drive] { return drive.writes.size() >= 5; };
  const LoadOutcome outcome = LoadParameterFile(drive, 20, write("twenty.qmx", FileFor(20)), hooks);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.recordsSent, 5);
  EXPECT_EQ(outcome.recordsTaken, 5);
  ASSERT_EQ(drive.writes.size(), 6u);
  EXPECT_EQ(drive.writes.back().first, 127);
  EXPECT_TRUE(pauses_.empty()) << "the pause is cut short";
}

TEST_P(LoadAgainstDrives, ACancelDuringARecordsWaitIsACancelNotASilentDrive) {
  // The link gives up a wait once the cancel is set and reports it as no reply.
  FakeRecords drive;
  setUpDrive(drive);
  drive.silentFrom = 7;
  LoadHooks hooks;
  hooks.cancelled = [&drive] { return drive.writes.size() >= 6; };
  const LoadOutcome outcome = LoadParameterFile(drive, 20, write("twenty.qmx", FileFor(20)), hooks);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.silentRecord, -1);
  EXPECT_EQ(outcome.recordsTaken, 5);
  EXPECT_EQ(outcome.recordsSent, 6);
  EXPECT_TRUE(outcome.refusedRecords.empty());
  EXPECT_TRUE(outcome.endOfLoadSent);
}

INSTANTIATE_TEST_SUITE_P(Drives, LoadAgainstDrives,
                         ::testing::Values(RecordAnswer{"Echo", ReplyWords::Sent},
                                           RecordAnswer{"Stored", ReplyWords::Kept},
                                           RecordAnswer{"Zeros", ReplyWords::Zeros}),
                         [](const ::testing::TestParamInfo<RecordAnswer>& info) { return info.param.name; });

TEST(LoadDifferences, DescribedWithNamesWhereKnownAndCappedInLength) {
  SetLanguage(Language::English);
  const std::vector<RecordWordDifference> differences = {{2, 2, 20000, 16383}, {3, 1, 5, 6}, {4, 0, 1, 0}};
  const RecordWordLabeller labels = [](int record, int word) {
    return record == 2 && word == 2 ? RecordWordLabel{"Idle current", "%"} : RecordWordLabel{};
  };
  EXPECT_EQ(DescribeDifferences(differences, labels, 2),
            (std::vector<std::string>{"Record 2, word 2 (Idle current, %): file 20000, drive 16383",
                                      "Record 3, word 1: file 5, drive 6", "... and 1 more"}));
  SetLanguage(Language::German);
  EXPECT_EQ(DescribeDifferences(differences, {}).front(), "Datensatz 2, Wort 2: Datei 20000, Antrieb 16383");
  SetLanguage(Language::English);
}

TEST_F(ParameterFileOnDisk, AcceptedFileWithNothingToSendStillMarksChangedAndPauses) {
  for (int count : {0, 1, 2}) {  // 0: no drive identified
    SCOPED_TRACE(count);
    pauses_.clear();
    FakeRecords drive;
    const LoadOutcome outcome = LoadParameterFile(drive, count, write("few.qmx", FileFor(count)));
    EXPECT_EQ(outcome.result, LoadResult::Loaded);
    EXPECT_EQ(outcome.recordsSent, 0);
    EXPECT_TRUE(outcome.markChanged);
    ASSERT_EQ(drive.writes.size(), 1u);  // the end-of-load command only
    EXPECT_EQ(drive.writes[0].first, 127);
    EXPECT_EQ(pauses_, std::vector<int>{2000});
  }
}

TEST_F(ParameterFileOnDisk, RefusedFilesSendOnlyTheEndOfLoad) {
  std::vector<uint8_t> otherVersion = FileFor(20);
  const std::vector<uint8_t> identificationOnly(otherVersion.begin(), otherVersion.begin() + 9);
  otherVersion[7] = '1';  // "LWB V2.1"
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    int count;
    LoadResult expected;
    int savedCount;
    bool markChanged;  // only a file with another identification leaves the store command alone
  } cases[] = {
      {"version.qmx", otherVersion, 20, LoadResult::BadIdentification, -1, false},
      {"short.qmx", FileFor(20), 65, LoadResult::TooShort, 20, true},
      {"long.qmx", FileFor(65), 20, LoadResult::CountMismatch, 65, true},
      {"one_more.qmx", FileFor(20), 21, LoadResult::CountMismatch, 20, true},  // record 20 would be path text
      {"ident_only.qmx", identificationOnly, 20, LoadResult::TooShort, -1, true},
      {"huge_count.qmx", FileFor(2), 128, LoadResult::CountOutOfRange, -1, true},
      {"junk_tail.qmx", JunkTailed(), 20, LoadResult::UnknownTrailer, -1, true},
      {"oversized.qmx", Oversized(), 20, LoadResult::TooLarge, -1, true},
      {"empty.qmx", {}, 20, LoadResult::BadIdentification, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRecords drive;
    const LoadOutcome outcome = LoadParameterFile(drive, c.count, write(c.name, c.bytes));
    EXPECT_EQ(outcome.result, c.expected);
    EXPECT_EQ(outcome.recordsSent, 0);
    EXPECT_EQ(outcome.savedRecordCount, c.savedCount);
    EXPECT_EQ(outcome.markChanged, c.markChanged);
    ASSERT_EQ(drive.writes.size(), 1u);
    EXPECT_EQ(drive.writes[0].first, 127);
    EXPECT_EQ(drive.writes[0].second[0], 4);
  }
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(ParameterFileOnDisk, UnreadableFileSendsNothingAndSaysWhy) {
  FakeRecords drive;
  const LoadOutcome outcome = LoadParameterFile(drive, 20, (dir_ / "absent.qmx").string());
  EXPECT_EQ(outcome.result, LoadResult::OpenFailed);
  EXPECT_NE(outcome.reason.find("No such file"), std::string::npos) << outcome.reason;
  EXPECT_FALSE(outcome.endOfLoadSent);
  EXPECT_FALSE(outcome.markChanged);
  EXPECT_TRUE(drive.writes.empty());
}

}  // namespace
}  // namespace axtune
