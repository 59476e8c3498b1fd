#include "res/strings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include "tests/support/test_env.h"

namespace axtune {
namespace {

TEST(StringTable, IdsAreUniqueAndEveryTextHasBothLanguages) {
  int count = 0;
  const StringEntry* entries = AllStrings(&count);
  ASSERT_GT(count, 0);
  std::set<int> seen;
  for (int i = 0; i < count; ++i) {
    EXPECT_TRUE(seen.insert(entries[i].id).second) << "duplicate string id " << entries[i].id;
    ASSERT_NE(entries[i].german, nullptr) << entries[i].id;
    ASSERT_NE(entries[i].english, nullptr) << entries[i].id;
  }
}

TEST(StringTable, LooksUpByIdInTheChosenLanguage) {
  EXPECT_STREQ(Text(32787, Language::German), "ungültig");
  EXPECT_STREQ(Text(32787, Language::English), "Invalid");
  EXPECT_STREQ(Text(-1, Language::English), "");
  EXPECT_FALSE(HasText(-1));
  SetLanguage(Language::German);
  EXPECT_STREQ(Text(104), "Datensatz nicht gelesen");
  SetLanguage(Language::English);
  EXPECT_STREQ(Text(104), "Cannot read data");
}

TEST(StringTable, EnglishArgumentWinsOverAGermanLocale) {
  axtune::test::SetEnv("LC_ALL", "de_DE.UTF-8");
  const char* plain[] = {"axtune", "--simulate"};
  EXPECT_EQ(ChooseLanguage(2, plain), Language::German);
  const char* english[] = {"axtune", "--simulate", "/english"};
  EXPECT_EQ(ChooseLanguage(3, english), Language::English);
  const char* other[] = {"axtune", "/English", "english"};
  EXPECT_EQ(ChooseLanguage(3, other), Language::German) << "only the exact \"/english\" counts";
  axtune::test::SetEnv("LC_ALL", "en_US.UTF-8");
  const char* german[] = {"axtune", "--lang=de"};
  EXPECT_EQ(ChooseLanguage(2, german), Language::German);
  const char* both[] = {"axtune", "--lang=de", "/english"};
  EXPECT_EQ(ChooseLanguage(3, both), Language::English) << "\"/english\" anywhere chooses English";
  EXPECT_EQ(ChooseLanguage(1, plain), Language::English);
  axtune::test::UnsetEnv("LC_ALL");
}

}  // namespace
}  // namespace axtune
