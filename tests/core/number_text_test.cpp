// One reading of a typed number for the window's fields (in either language) and for the command
// line: the texts a technician types, each with what the German window, the English window and
// `axtune-cli set` make of it. A text gives the same value everywhere or is refused.
#include "core/number_text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/parameter_dictionary.h"

namespace axtune {
namespace {

constexpr auto kNone = NumberTextFault::None;
constexpr auto kNaN = NumberTextFault::NotANumber;
constexpr auto kHex = NumberTextFault::Hexadecimal;
constexpr auto kWhole = NumberTextFault::WholeOnly;
constexpr auto kOther = NumberTextFault::OtherSeparator;

struct TextCase {
  const char* text;
  bool decimals;  // the value takes a fraction
  NumberTextFault german, english;
  double value;  // when taken
};

class NumberTextTable : public ::testing::TestWithParam<TextCase> {};

TEST_P(NumberTextTable, EachLanguageTakesItsOwnSeparatorAndRefusesTheRest) {
  const TextCase& c = GetParam();
  for (Language language : {Language::German, Language::English}) {
    SCOPED_TRACE(language == Language::German ? "German" : "English");
    const NumberTextFault expected = language == Language::German ? c.german : c.english;
    const NumberReading r = ReadNumberText(c.text, DecimalSeparator(language), c.decimals);
    EXPECT_EQ(r.fault, expected);
    EXPECT_EQ(r.value.has_value(), expected == kNone);
    if (r.value) {
      EXPECT_DOUBLE_EQ(*r.value, c.value);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberTextTable,
    ::testing::Values(TextCase{"2200", false, kNone, kNone, 2200},
                      TextCase{" -35 ", false, kNone, kNone, -35}, TextCase{"+7", false, kNone, kNone, 7},
                      TextCase{"0x7D0", false, kHex, kHex, 0}, TextCase{"0X5dc", true, kHex, kHex, 0},
                      TextCase{"2200abc", false, kNaN, kNaN, 0}, TextCase{"1e3", true, kNaN, kNaN, 0},
                      TextCase{"", true, NumberTextFault::Empty, NumberTextFault::Empty, 0},
                      TextCase{"-", true, kNaN, kNaN, 0}, TextCase{",", true, kNaN, kNaN, 0},
                      TextCase{"--5", false, kNaN, kNaN, 0}, TextCase{"1 500", false, kNaN, kNaN, 0},
                      TextCase{"1500,5", false, kWhole, kOther, 0},
                      TextCase{"1500.5", false, kOther, kWhole, 0},
                      TextCase{"37,5", true, kNone, kOther, 37.5},
                      TextCase{"37.5", true, kOther, kNone, 37.5},
                      TextCase{"1.500", true, kOther, kNone, 1.5}, TextCase{"1,2,3", true, kNaN, kOther, 0},
                      TextCase{",5", true, kNone, kOther, 0.5}, TextCase{"5.", true, kOther, kNone, 5}));

TEST(NumberText, HexadecimalOnlyWhereAskedForAndNeverWithASeparator) {
  EXPECT_DOUBLE_EQ(*ReadNumberText("0x1234", '.', false, true).value, 0x1234);
  EXPECT_EQ(ReadNumberText("0x12g", '.', false, true).fault, kNaN);
  EXPECT_EQ(ReadNumberText("0x", '.', false, true).fault, kNaN);
  EXPECT_TRUE(std::isinf(*ReadNumberText(std::string(400, '9'), '.', false).value))
      << "the range check refuses it";
}

TEST(NumberText, TheCommandLineRefusesWhatTheWindowRefuses) {
  // The texts of the field test in the motor current (whole mA) and the idle level (percent):
  // set refuses each one instead of reading a part of it (or hex) as the value.
  const ParamEntry current = *FindParameter("motor-current");
  const ParamEntry level = *FindParameter("idle-current-level");
  for (const char* text : {"0x7D0", "2200abc", "1500,5", "1500.5", "1e3"}) {
    SCOPED_TRACE(text);
    const RawResult r = ParseUserValue(current, text, Language::English);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
  }
  EXPECT_FALSE(ParseUserValue(level, "37,5", Language::English).ok) << "the command line writes the point";
  EXPECT_EQ(ParseUserValue(level, "37.5", Language::English).raw, 6144u);
  EXPECT_EQ(ParseUserValue(*FindParameter("record-5-word-3"), "0x10", Language::English).raw, 16u)
      << "a raw word without unit still takes hex";
}

TEST(NumberText, VelocitiesAndRampsHaveAPracticalRangeWellInsideTheWord) {
  const ParamEntry ramp = *FindParameter("profile-0-acceleration");
  const RawResult huge = ParseUserValue(ramp, "99999999999", Language::English);
  ASSERT_TRUE(huge.ok) << "within the raw word";
  EXPECT_TRUE(BeyondPractical(ramp, huge.raw));
  EXPECT_FALSE(BeyondPractical(ramp, ParseUserValue(ramp, "50000", Language::English).raw));
  const ParamEntry velocity = *FindParameter("homing-velocity");
  EXPECT_TRUE(BeyondPractical(velocity, ParseUserValue(velocity, "5000000", Language::English).raw));
  EXPECT_FALSE(BeyondPractical(*FindParameter("motor-current"), 7000)) << "the limit is practical already";
}

}  // namespace
}  // namespace axtune
