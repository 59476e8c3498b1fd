// The save's target checks: names the system cannot look up, the words for a failed write, and the
// temporaries an earlier, killed save left beside the file.
#include "core/save_target.h"

#include <functional>
#include <vector>

#include "core/update_log.h"
#include "core/user_file.h"
#include "tests/support/full_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');  // a parameterised test's name
    dir_ = fs::temp_directory_path() / ("axtune_save_target_" + name);
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
  EXPECT_EQ(SaveTargetLookupProblem(loop, "loop.qmx"),
            "cannot save to loop.qmx: the symbolic link loops (Too many levels of symbolic links)");
  const fs::path longName = dir_ / (std::string(296, 'n') + ".qmx");
  EXPECT_NE(SaveTargetLookupProblem(longName, "long").find("File name too long"), std::string::npos);
  EXPECT_EQ(SaveTargetLookupProblem(dir_ / "new.qmx", "new.qmx"), "")
      << "a missing file is what a save makes";
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling.qmx");
  EXPECT_NE(SaveTargetLookupProblem(dir_ / "dangling.qmx", "dangling.qmx").find("which does not exist"),
            std::string::npos)
      << "a save through a link that points nowhere is refused before the drive is read";
}

// ---- The one writer: a full disk and symbolic links, for every file kind the core writes ----------

struct CoreFileKind {
  const char* name;
  // Writes the kind's new content to `path`; false with the reason.
  std::function<bool(const std::string& path, std::string& reason)> write;
};

void PrintTo(const CoreFileKind& kind, std::ostream* os) {
  *os << kind.name;
}

const CoreFileKind kCoreFileKinds[] = {
    {"ParameterFile",
     [](const std::string& path, std::string& reason) {
       const FileWriteResult r = WriteFileAtomically(path, std::vector<uint8_t>(2012, 0x5A));
       reason = r.reason;
       return r.ok;
     }},
    {"NameDat",
     [](const std::string& path, std::string& reason) {
       return SaveUserFile(path, {"Hans Technik", "Orvane GmbH"}, &reason);
     }},
    {"UpdateLog",
     [](const std::string& path, std::string& reason) {
       UpdateLogEntry entry;
       entry.time = "2026-12-08T06:00:00Z";
       entry.program = "axtune-cli";
       entry.outcome = "Verify ok";
       return AppendUpdateLog(entry, &reason, path);
     }},
    {"StreamProducer",
     [](const std::string& path, std::string& reason) {
       const FileWriteResult r = WriteFileAtomicallyFrom(path, [](std::ostream& out, std::string&) {
         out << std::string(3000, 'x');
         return true;
       });
       reason = r.reason;
       return r.ok;
     }},
};

class CoreFileWrites : public SaveTarget, public ::testing::WithParamInterface<CoreFileKind> {};

TEST_P(CoreFileWrites, AFullDiskKeepsTheOldFileAndSaysWhy) {
  axtune::test::FullDiskFolder disk(dir_ / "disk");
  const fs::path file = disk.path() / "target";
  std::ofstream(file, std::ios::binary) << "old content\n";
  disk.fill();
  std::string reason;
  EXPECT_FALSE(GetParam().write(file.string(), reason)) << (disk.mounted() ? "tmpfs" : "injected");
  EXPECT_NE(reason.find("No space left on device"), std::string::npos) << reason;
  EXPECT_EQ(axtune::test::FileText(file), "old content\n");
  for (const auto& entry : fs::directory_iterator(disk.path()))
    EXPECT_EQ(entry.path().filename().string().find("target.tmp"), std::string::npos)
        << "temporary left behind";
}

TEST_P(CoreFileWrites, ALinkIsWrittenThroughWhenItResolvesAndRefusedWhenItLoopsOrDangles) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links are POSIX here";
#endif
  std::string reason;
  // A chain of two links to an existing file: the file gets the content, both links stay.
  std::ofstream(dir_ / "real") << "old";
  fs::create_symlink("real", dir_ / "middle");
  fs::create_symlink("middle", dir_ / "link");
  ASSERT_TRUE(GetParam().write((dir_ / "link").string(), reason)) << reason;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "middle"));
  EXPECT_NE(axtune::test::FileText(dir_ / "real"), "old");

  fs::create_symlink("loop", dir_ / "loop");
  EXPECT_FALSE(GetParam().write((dir_ / "loop").string(), reason));
  EXPECT_NE(reason.find("loops"), std::string::npos) << reason;
  EXPECT_TRUE(fs::is_symlink(dir_ / "loop"));

  fs::create_symlink("missing/file", dir_ / "dangling");
  EXPECT_FALSE(GetParam().write((dir_ / "dangling").string(), reason));
  EXPECT_NE(reason.find("does not exist"), std::string::npos) << reason;
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling"));
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CoreFileWrites, ::testing::ValuesIn(kCoreFileKinds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace axtune
