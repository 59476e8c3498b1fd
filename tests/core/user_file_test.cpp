#include "core/user_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace axtune {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

UserEntry Parse(const std::string& bytes) {
  return ParseUserFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

class UserFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("axtune-user-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    path_ = UserFilePath(dir_.string());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }
  std::string FileBytes() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  std::string path_;
};

TEST(UserFileFormat, NameZeroCompanyZeroAndNothingElse) {
  EXPECT_EQ(BuildUserFile({"Hans", "Orvane"}), Bytes(std::string("Hans\0Orvane\0", 12)));
  EXPECT_EQ(BuildUserFile({"", ""}), Bytes(std::string("\0\0", 2)));
  const std::string thirty(30, 'n');
  EXPECT_EQ(BuildUserFile({thirty, std::string(30, 'c')}).size(), 62u);
}

TEST(UserFileFormat, ReadsBackWhatWasWrittenIncludingTwoFullEntries) {
  const UserEntry cases[] = {
      {"Hans M\xFC"
       "ller",
       "Orvane GmbH"},
      {"", "Firma ohne Namen"},
      {"Name ohne Firma", ""},
      // 30 + 1 + 30 + 1 = 62 bytes: the company keeps its last character.
      {std::string(30, 'N'), std::string(29, 'C') + "Z"},
  };
  for (const UserEntry& entry : cases) {
    const std::vector<uint8_t> image = BuildUserFile(entry);
    EXPECT_EQ(ParseUserFile(image.data(), image.size()), entry) << entry.name << "/" << entry.company;
  }
}

TEST(UserFileFormat, UnterminatedStringsEndWithTheDataAndExtraBytesAreIgnored) {
  EXPECT_EQ(Parse("Nur ein Name"), (UserEntry{"Nur ein Name", ""}));
  EXPECT_EQ(Parse(std::string("Name\0Firma ohne Ende", 20)), (UserEntry{"Name", "Firma ohne Ende"}));
  EXPECT_EQ(Parse(std::string("a\0b\0c\0d", 7)), (UserEntry{"a", "b"}));
  EXPECT_EQ(Parse(""), (UserEntry{"", ""}));
  EXPECT_EQ(ParseUserFile(nullptr, 5), (UserEntry{"", ""}));
  // Only as many bytes as a written file can hold count.
  const UserEntry longName = Parse(std::string(100, 'x'));
  EXPECT_EQ(longName.name, std::string(kUserFileReadLimit, 'x'));
  EXPECT_EQ(longName.company, "");
}

TEST(ExpertMode, MakerWordAndCodeAnywhereCutAtTheCode) {
  struct Case {
    const char* company;
    bool expert;
    const char* shown;
  };
  const Case cases[] = {
      {"Orvane{Wartung}", true, "Orvane"},
      {"{Wartung}Orvane", true, ""},
      {"Orvane GmbH {Wartung} Service", true, "Orvane GmbH "},
      {"x{Wartung}y{Wartung}Orvane", true, "x"},
      {"orvane{Wartung}", false, "orvane{Wartung}"},  // the maker word is case-sensitive
      {"Orvane{wartung}", false, "Orvane{wartung}"},
      {"Orvane", false, "Orvane"},
      {"{Wartung}", false, "{Wartung}"},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    const ExpertModeCheck check = CheckExpertMode(c.company);
    EXPECT_EQ(check.expert, c.expert) << c.company;
    EXPECT_EQ(check.shownCompany, c.shown) << c.company;
  }
}

TEST_F(UserFileOnDisk, SaveThenLoadRoundTripsAndKeepsTheCodeInTheFile) {
  std::string error;
  ASSERT_TRUE(SaveUserFile(path_, {"Hans", "Orvane{Wartung}"}, &error)) << error;
  EXPECT_EQ(FileBytes(), std::string("Hans\0Orvane{Wartung}\0", 21));
  UserEntry entry;
  ASSERT_TRUE(LoadUserFile(path_, entry));
  EXPECT_EQ(entry, (UserEntry{"Hans", "Orvane{Wartung}"}));
  // Saving again truncates: a shorter entry leaves nothing of the longer one behind.
  ASSERT_TRUE(SaveUserFile(path_, {"A", "B"}, &error));
  EXPECT_EQ(FileBytes(), std::string("A\0B\0", 4));
}

TEST_F(UserFileOnDisk, MissingFileLeavesTheEntryAndUnwritableFileSaysWhy) {
  UserEntry entry{"bleibt", "auch"};
  EXPECT_FALSE(LoadUserFile(path_, entry));
  EXPECT_EQ(entry, (UserEntry{"bleibt", "auch"}));

  std::string error;
  EXPECT_FALSE(SaveUserFile((dir_ / "no-such-dir" / "name.dat").string(), {"a", "b"}, &error));
  EXPECT_FALSE(error.empty());
  // A directory in the way of the file.
  fs::create_directories(path_);
  error.clear();
  EXPECT_FALSE(SaveUserFile(path_, {"a", "b"}, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(LoadUserFile(path_, entry)) << "a directory is no readable file";
}

TEST(UserFilePathJoin, JoinsWithOneSeparator) {
#ifdef _WIN32
  EXPECT_EQ(UserFilePath("C:\\Axtune"), "C:\\Axtune\\name.dat");
#else
  EXPECT_EQ(UserFilePath("/home/technik"), "/home/technik/name.dat");
#endif
  EXPECT_EQ(UserFilePath("/home/technik/"), "/home/technik/name.dat");
  EXPECT_EQ(UserFilePath(""), "name.dat");
}

}  // namespace
}  // namespace axtune
