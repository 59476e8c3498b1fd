// The parameter dictionary on its own: names, raw words, conversions in user units and back for
// every scale in use, limits named in the refusal, flags and lists in a record's words.
#include "core/parameter_dictionary.h"

#include <gtest/gtest.h>

#include <set>

namespace axtune {
namespace {

TEST(ParameterDictionary, NamesAreUniqueAsciiAndEveryEntryHasItsTexts) {
  std::set<std::string> names;
  for (const ParamEntry& e : ParameterDictionary()) {
    SCOPED_TRACE(e.name);
    EXPECT_TRUE(names.insert(e.name).second) << "duplicate";
    EXPECT_EQ(AsciiName(e.name), e.name);
    for (Language l : {Language::German, Language::English}) EXPECT_FALSE(ParameterLabel(e, l).empty());
    EXPECT_TRUE(e.HasRecord() || e.HasObject());
    EXPECT_TRUE(FindParameter(e.name).has_value());
  }
  EXPECT_EQ(ParameterLabel(*FindParameter("profile-3-velocity"), Language::German),
            "Fahrauftrag 3: Geschwindigkeit");
  EXPECT_EQ(ParameterLabel(*FindParameter("output-da2-current"), Language::English), "DA2 max. current");
  EXPECT_EQ(FindParameter("Motor_Current")->name, "motor-current");
}

TEST(ParameterDictionary, UnshownWordsAreReachableAsRecordAndWord) {
  const std::optional<ParamEntry> raw = FindParameter("record-5-word-14");
  ASSERT_TRUE(raw.has_value());
  EXPECT_EQ(ParameterLabel(*raw, Language::German), "Datensatz 5 Wort 14");
  EXPECT_EQ(raw->limit, 0xFFFFu);
  for (const char* bad :
       {"record-127-word-0", "record-2-word-15", "record-2-word-1x", "record--1-word-0", "nothing"})
    EXPECT_FALSE(FindParameter(bad).has_value()) << bad;
  EXPECT_EQ(EntriesAtWord(14 + 7, 8).size(), 6u) << "the flag word of a profile: one entry per flag control";
  ASSERT_EQ(EntriesAtWord(2, 1).size(), 1u)
      << "the motor current's high word, where the drive keeps the object";
  EXPECT_EQ(EntriesAtWord(2, 1)[0]->name, "motor-current");
}

struct RoundTrip {
  const char* name;
  const char* text;  // in user units
  uint32_t raw;
  const char* shown;  // what get prints
};

class UserUnits : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(UserUnits, ConvertToRawAndBackToTheSameRaw) {
  const RoundTrip& c = GetParam();
  const ParamEntry e = *FindParameter(c.name);
  const RawResult r = ParseUserValue(e, c.text, Language::English);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.raw, c.raw);
  const std::string shown = FormatUserValue(e, r.raw, Language::English);
  EXPECT_EQ(shown, c.shown);
  EXPECT_EQ(ParseUserValue(e, shown, Language::English).raw, c.raw) << "what get prints, set takes back";
}

INSTANTIATE_TEST_SUITE_P(
    EachScale, UserUnits,
    ::testing::Values(RoundTrip{"motor-current", "1500", 1500, "1500"},
                      RoundTrip{"idle-current-level", "50", 8192, "50"},
                      RoundTrip{"idle-current-level", "100", 16383, "100"},
                      RoundTrip{"start-stop-velocity", "1000", 838861, "1000"},
                      RoundTrip{"profile-3-velocity", "123.456", 103562, "123.456"},
                      RoundTrip{"emergency-deceleration", "10000", 419, "9990"},
                      RoundTrip{"encoder-lines", "500", 2000, "500"},
                      RoundTrip{"profile-0-position", "-1000", 0xFFFFFC18, "-1000"},
                      RoundTrip{"homing-position", "-2147483647", 0x80000001, "-2147483647"},
                      RoundTrip{"input-de4", "Profile 2 jogging", 13, "Profile 2 jogging"},
                      RoundTrip{"input-de4", "fahrsatz-2-tippen", 13, "Profile 2 jogging"},
                      RoundTrip{"homing-method", "251", 251, "Mechanical limit high"},
                      RoundTrip{"profile-1-relative", "relative", 1, "Relative"},
                      RoundTrip{"invert-rotation", "on", 1, "on"},
                      RoundTrip{"record-5-word-3", "65535", 65535, "65535"}));

TEST(ParameterDictionary, TheReportShowsANumberAsItsPageDoes) {
  const ParamEntry e = *FindParameter("homing-current");
  EXPECT_EQ(FormatUserValue(e, 12288, Language::English), "75.005") << "exact, for set";
#ifdef AXTUNE_HAVE_CONTROLS_CORE  // a build without the controls shows the exact value
  EXPECT_EQ(DisplayUserValue(e, 12288, Language::English), "75");
#endif
  EXPECT_EQ(DisplayUserValue(*FindParameter("homing-method"), 251, Language::English),
            "Mechanical limit high");
}

TEST(ParameterDictionary, OutOfLimitValuesAreRefusedNamingTheLimit) {
  const struct {
    const char* name;
    const char* text;
    const char* error;
  } cases[] = {
      {"motor-current", "7001", "lies above the limit 7000 mA rms"},
      {"idle-current-level", "101", "lies above the limit 100 %"},
      {"homing-max-distance", "-1", "lies below the limit 0 steps"},
      {"profile-2-position", "-2147483648", "lies below the limit -2147483647 steps"},
      {"idle-current-delay", "abc", "is not a number"},
      {"input-de1", "15", "is not one of the list's codes"},
      {"smoothing", "2", "expects 0 or 1 (off or on)"},
  };
  for (const auto& c : cases) {
    const RawResult r = ParseUserValue(*FindParameter(c.name), c.text, Language::English);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
  }
}

TEST(ParameterDictionary, FlagsAndLongValuesSitInTheirWords) {
  uint16_t words[15] = {};
  words[8] = 0x2000;  // SI units set, carried along
  ASSERT_TRUE(PutRawInRecord(*FindParameter("profile-0-next-velocity"), 1, words));
  ASSERT_TRUE(PutRawInRecord(*FindParameter("profile-0-relative"), 1, words));
  EXPECT_EQ(words[8], 0x2101);
  ASSERT_TRUE(PutRawInRecord(*FindParameter("profile-0-velocity"), 0x12345678, words));
  EXPECT_EQ(words[2], 0x5678);
  EXPECT_EQ(words[3], 0x1234);
  uint32_t raw = 0;
  ASSERT_TRUE(RawFromRecord(*FindParameter("profile-0-next-velocity"), words, &raw));
  EXPECT_EQ(raw, 1u);
  ASSERT_TRUE(RawFromRecord(*FindParameter("profile-0-waiting-active"), words, &raw));
  EXPECT_EQ(raw, 0u);
  EXPECT_FALSE(RawFromRecord(*FindParameter("motor-current"), words, &raw));
}

}  // namespace
}  // namespace axtune
