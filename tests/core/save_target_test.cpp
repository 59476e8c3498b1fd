// The save's target checks: names the system cannot look up, the words for a failed write, and the
// temporaries an earlier, killed save left beside the file.
#include "core/save_target.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <set>

namespace axtune {
namespace {

namespace fs = std::filesystem;

class SaveTarget : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("axtune_save_target_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path touch(const std::string& name, std::chrono::hours age) {
    const fs::path file = dir_ / name;
    std::ofstream(file) << "x";
    fs::last_write_time(file, fs::file_time_type::clock::now() - age);
    return file;
  }
  std::set<std::string> names() const {
    std::set<std::string> result;
    for (const auto& entry : fs::directory_iterator(dir_)) result.insert(entry.path().filename().string());
    return result;
  }
  fs::path dir_;
};

TEST_F(SaveTarget, OnlyThisFilesTemporariesFromBeforeTheRunAreRemoved) {
  const fs::path target = dir_ / "drive.qmx";
  touch("drive.qmx", std::chrono::hours(48));
  touch("drive.qmx.tmp123-4", std::chrono::hours(24));   // a killed save's: goes
  touch("drive.qmx.tmp99999-0", std::chrono::hours(1));  // likewise
  touch("drive.qmx.tmp5-6", std::chrono::hours(-1));     // newer than the run: another save's, stays
  touch("drive.qmx.tmpnotes", std::chrono::hours(24));   // not the pattern: the user's, stays
  touch("drive.qmx.tmp7-", std::chrono::hours(24));      // not the pattern
  touch("other.qmx.tmp1-2", std::chrono::hours(24));     // another file's
  fs::create_directory(dir_ / "drive.qmx.tmp8-9");       // not a file
  // Windows' C library cannot date a folder back; there it stays for its age as well as its kind.
  std::error_code undated;
  fs::last_write_time(dir_ / "drive.qmx.tmp8-9", fs::file_time_type::clock::now() - std::chrono::hours(24),
                      undated);
  EXPECT_EQ(RemoveStaleSaveTemporaries(target), 2);
  EXPECT_EQ(names(), (std::set<std::string>{"drive.qmx", "drive.qmx.tmp5-6", "drive.qmx.tmpnotes",
                                            "drive.qmx.tmp7-", "other.qmx.tmp1-2", "drive.qmx.tmp8-9"}));
  EXPECT_EQ(RemoveStaleSaveTemporaries(dir_ / "missing" / "x.qmx"), 0) << "a missing folder is no error";
}

struct ReasonCase {
  int error;
  const char* words;
};

class FileErrorReasons : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(FileErrorReasons, AReadOnlyFileSystemIsNamedAsSuch) {
#ifdef _WIN32
  if (GetParam().error != EROFS) GTEST_SKIP() << "the C library's words differ";
#endif
  EXPECT_EQ(FileErrorReason(GetParam().error), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(Errnos, FileErrorReasons,
                         ::testing::Values(ReasonCase{EROFS,
                                                      "the file system is read-only (mounted read-only)"},
                                           ReasonCase{EACCES, "Permission denied"},
                                           ReasonCase{ENOSPC, "No space left on device"}));

TEST_F(SaveTarget, ANameTheSystemCannotLookUpIsNamedWithItsReason) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links and the reasons' words are POSIX here";
#endif
  const fs::path loop = dir_ / "loop.qmx";
  fs::create_symlink(loop, loop);
  EXPECT_NE(SaveTargetLookupProblem(loop, "loop.qmx")
                .find("cannot save to loop.qmx: Too many levels of symbolic links"),
            std::string::npos);
  const fs::path longName = dir_ / (std::string(296, 'n') + ".qmx");
  EXPECT_NE(SaveTargetLookupProblem(longName, "long").find("File name too long"), std::string::npos);
  EXPECT_EQ(SaveTargetLookupProblem(dir_ / "new.qmx", "new.qmx"), "")
      << "a missing file is what a save makes";
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling.qmx");
  EXPECT_EQ(SaveTargetLookupProblem(dir_ / "dangling.qmx", "dangling.qmx"), "");
}

}  // namespace
}  // namespace axtune
