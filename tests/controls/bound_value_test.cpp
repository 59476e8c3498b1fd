// The window-free rules of a bound edit field: reading typed text, rounding by the scale, the limit
// that the binding calls leave, the display formats, and a 32-bit value from the record image.
#include "controls/bound_value.h"

#include "controls/write_failure_text.h"
#include "link/drive_link.h"
#include "res/strings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace axtune {
namespace {

TEST(BoundValueConvert, IgnoresTheProcessLocale) {
  // The GUI runs with the user's locale; the separator a field takes is the window language's,
  // never the C library's: a German locale in an English window must not turn "12.5" into 12.
  const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  BoundValue tenths;
  tenths.SetScale(10);
  EXPECT_EQ(tenths.Convert("12.5", '.').raw, 125u);
  EXPECT_EQ(FormatFieldValue(125, false, 10), "12.5");
  if (german != nullptr) std::setlocale(LC_NUMERIC, "C");
}

TEST(FormatFieldValue, FourFormatsByMagnitude) {
  EXPECT_EQ(FormatFieldValue(83886, false, kScaleVelocity), "100") << "99.99990 to four digits";
  EXPECT_EQ(FormatFieldValue(42, false, kScaleVelocity), "0.0501");
  EXPECT_EQ(FormatFieldValue(125, false, 10), "12.5");
  EXPECT_EQ(FormatFieldValue(1, false, 10), "0.1");
  EXPECT_EQ(FormatFieldValue(12345, false, 10), "1235") << "1234.5 rounds half up to an integer";
  EXPECT_EQ(FormatFieldValue(9999, false, 10), "999.9");
  EXPECT_EQ(FormatFieldValue(0, false, kScalePercent), "0");
  EXPECT_EQ(FormatFieldValue(8192, false, kScalePercent), "50");
  EXPECT_EQ(FormatFieldValue(16383, false, kScalePercent), "100");
  EXPECT_EQ(FormatFieldValue(2000, false, kScaleEncoderLines), "500");
  EXPECT_EQ(FormatFieldValue(0xFFFFFFFF, false, 1), "4294967295") << "unsigned through 64 bits";
  EXPECT_EQ(FormatFieldValue(0xFFFFFFFF, true, 1), "-1");
  EXPECT_EQ(FormatFieldValue(static_cast<uint32_t>(-5000), true, 1), "-5000");
  EXPECT_EQ(FormatFieldValue(static_cast<uint32_t>(-125), true, 10), "-12.5");
  EXPECT_EQ(FormatFieldValue(0x80000000, true, kScaleAcceleration), "-51200000000")
      << "a signed value over a small scale does not wrap at 32 bits";
}

TEST(BoundValueBinding, EachCallOverwritesTheLimitAndTheLastWins) {
  BoundValue fresh;
  EXPECT_EQ(fresh.Limit(), 0xFFFFu);
  EXPECT_FALSE(fresh.IsLong());
  EXPECT_FALSE(fresh.IsSigned());
  EXPECT_EQ(fresh.Record(), 128);

  BoundValue word;
  word.SetSigned();
  word.BindRecordWord(2, 5);
  EXPECT_EQ(word.Limit(), 0x7FFFu) << "BindRecordWord leaves the limit";

  BoundValue longSigned;
  longSigned.SetSigned();
  longSigned.BindRecordLong(14, 0);
  EXPECT_EQ(longSigned.Limit(), 0x7FFFFFFFu);
  BoundValue longUnsigned;
  longUnsigned.BindRecordLong(14, 0);
  EXPECT_EQ(longUnsigned.Limit(), 0xFFFFFFFFu);

  BoundValue chain;  // record long, then object of 4 bytes, then signed
  chain.BindRecordLong(17, 2);
  chain.BindObject(0x2022, 2, 4);
  chain.SetSigned();
  EXPECT_TRUE(chain.IsLong());
  EXPECT_TRUE(chain.IsObjectMode());
  EXPECT_EQ(chain.Limit(), 0x7FFFFFFFu);
  EXPECT_EQ(chain.Record(), 17);

  BoundValue shortObject;
  shortObject.BindObject(0x2061, 0, 2);
  EXPECT_FALSE(shortObject.IsLong());
  EXPECT_EQ(shortObject.Limit(), 0xFFFFu);
  shortObject.SetLimit(0x3FFF);
  EXPECT_EQ(shortObject.Limit(), 0x3FFFu);
}

// Text that does not begin with a number is refused by every kind of field, as is a number beyond
// the double range; each field's own range texts commit, one display step above them does not.
struct RangeCase {
  const char* name;
  uint16_t index;
  uint8_t size;
  bool isSigned;
  uint32_t limit;  // 0: the binding's own
  double scale;
  const char* lowest;
  const char* highest;
  const char* justAbove;
};

class BoundValueRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(BoundValueRange, RefusesNonNumbersAndNamesTheRangeItTakes) {
  const RangeCase& c = GetParam();
  BoundValue field;
  field.BindObject(c.index, 0, c.size);
  if (c.isSigned) field.SetSigned();
  if (c.limit != 0) field.SetLimit(c.limit);
  field.SetScale(c.scale);
  for (const char* text : {"", "abc", "-", ".", "+.", " e5", "1e400", "-1e400"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(field.Convert(text).accepted);
  }
  EXPECT_EQ(field.LowestText(), c.lowest);
  EXPECT_EQ(field.HighestText(), c.highest);
  EXPECT_TRUE(field.Convert(field.LowestText()).accepted);
  EXPECT_TRUE(field.Convert(field.HighestText()).accepted);
  EXPECT_FALSE(field.Convert(c.justAbove).accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BoundValueRange,
    ::testing::Values(RangeCase{"current", 0x6075, 4, false, 7000, 1, "0", "7000", "7001"},
                      RangeCase{"percent", 0x2061, 2, false, 0x3FFF, kScalePercent, "0", "100", "100.01"},
                      RangeCase{"velocity", 0x6058, 4, false, 0, kScaleVelocity, "0", "5119999", "5120000"},
                      RangeCase{"ramp", 0x6085, 4, false, 0, kScaleAcceleration, "0", "102399999976",
                                "102399999989"},
                      RangeCase{"position", 0x607A, 4, true, 0, 1, "-2147483647", "2147483647", "2147483648"},
                      RangeCase{"encoder", 0x6510, 2, false, 0, kScaleEncoderLines, "0", "16383", "16384"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoundValueConvert, RoundsHalfUpAndChecksTheLimit) {
  BoundValue current;
  current.BindObject(0x6075, 0, 4);
  current.SetLimit(7000);
  EXPECT_EQ(current.Convert("7000").raw, 7000u);
  EXPECT_TRUE(current.Convert("7000").accepted);
  EXPECT_FALSE(current.Convert("7001").accepted);
  EXPECT_FALSE(current.Convert("-1").accepted) << "negative in an unsigned field";
  EXPECT_EQ(current.Convert("0.4").fault, NumberTextFault::WholeOnly) << "whole milliamperes only";
  EXPECT_FALSE(current.Convert("oops").accepted) << "not a number is refused, never taken as 0";

  BoundValue percent;
  percent.BindObject(0x2061, 0, 2);
  percent.SetLimit(0x3FFF);
  percent.SetScale(kScalePercent);
  EXPECT_EQ(percent.Convert("50").raw, 8192u);
  EXPECT_EQ(percent.Convert("100").raw, 16383u);
  EXPECT_FALSE(percent.Convert("101").accepted);

  BoundValue velocity;
  velocity.BindObject(0x2022, 2, 4);
  velocity.SetScale(kScaleVelocity);
  EXPECT_EQ(velocity.Convert("1000").raw, 838861u);
  EXPECT_EQ(velocity.Convert("100").raw, 83886u);

  BoundValue position;  // signed 32-bit: a negative number is its two's complement
  position.BindObject(0x607A, 0, 4);
  position.SetSigned();
  EXPECT_EQ(position.Convert("-2").raw, 0xFFFFFFFEu);
  EXPECT_FALSE(position.Convert("2147483648").accepted);
  EXPECT_TRUE(position.Convert("-2147483647").accepted);

  BoundValue word;  // 16-bit signed
  word.SetSigned();
  EXPECT_EQ(word.Convert("-32767").raw, static_cast<uint32_t>(-32767));
  EXPECT_FALSE(word.Convert("-32768").accepted);

  BoundValue plain;  // 16-bit unsigned, limit 0xFFFF
  EXPECT_FALSE(plain.Convert("4294967301").accepted) << "must not wrap to 5";
  EXPECT_FALSE(plain.Convert("1e999").accepted);
  EXPECT_FALSE(plain.Convert("65536").accepted);
}

TEST(BoundValueLoadFromRecord, ChecksTheWordsAgainstTheLimit) {
  RecordImage image{};
  image[4] = static_cast<int16_t>(0xCCCD);  // 838861 = 0x000CCCCD, low word first
  image[5] = 0x000C;
  image[6] = -1;
  image[14] = 2000;

  BoundValue velocity;
  velocity.BindRecordLong(14, 4);
  ASSERT_TRUE(velocity.LoadFromRecord(image));
  EXPECT_EQ(velocity.Raw(), 838861u) << "a low word above 0x7FFF is not sign-extended";

  velocity.SetLimit(800000);
  EXPECT_FALSE(velocity.LoadFromRecord(image)) << "above the limit";
  EXPECT_EQ(velocity.Raw(), 838861u) << "the stored value stays";

  BoundValue lastWord;  // a 32-bit value cannot start in the last word
  lastWord.BindRecordLong(2, 14);
  EXPECT_FALSE(lastWord.LoadFromRecord(image));

  BoundValue unsignedWord;
  unsignedWord.BindRecordWord(2, 6);
  ASSERT_TRUE(unsignedWord.LoadFromRecord(image));
  EXPECT_EQ(unsignedWord.Raw(), 0xFFFFu);
  unsignedWord.SetLimit(3000);
  EXPECT_FALSE(unsignedWord.LoadFromRecord(image));

  BoundValue signedWord;
  signedWord.BindRecordWord(2, 6);
  signedWord.SetSigned();
  ASSERT_TRUE(signedWord.LoadFromRecord(image));
  EXPECT_EQ(signedWord.Value(), -1);

  BoundValue encoder;
  encoder.BindRecordWord(2, 14);
  encoder.SetScale(kScaleEncoderLines);
  ASSERT_TRUE(encoder.LoadFromRecord(image));
  EXPECT_EQ(encoder.Format(), "500");
}

TEST(BoundValueCommit, AFieldWithoutDriveAddressStoresWithoutWriting) {
  BoundValue unbound;
  EXPECT_FALSE(unbound.HasDriveAddress());
  EXPECT_EQ(unbound.Commit("12"), BoundValue::CommitOutcome::Changed);
  EXPECT_EQ(unbound.Raw(), 12u);
  EXPECT_EQ(unbound.Commit("12"), BoundValue::CommitOutcome::Unchanged);
  EXPECT_EQ(unbound.Commit("70000"), BoundValue::CommitOutcome::Rejected);
  EXPECT_EQ(unbound.Raw(), 12u);
}

TEST(WriteFailureText, SaysWhyFromTheLinkError) {
  SetLanguage(Language::English);
  auto says = [](int error, bool open, const char* reason) {
    const std::string text = WriteFailureText(error, open);
    EXPECT_NE(text.find("The change was not written to the drive."), std::string::npos) << text;
    EXPECT_NE(text.find(reason), std::string::npos) << error << ": " << text;
    EXPECT_NE(text.find("previous value"), std::string::npos) << text;
  };
  says(kLinkNoReply, false, "No drive is connected.");
  says(kLinkNoReply, true, "did not answer");
  says(kLinkShortReply, true, "did not answer");
  says(kLinkBadChecksum, true, "garbled");
  says(kLinkDriveErrorBase, true, "did not answer");  // code 0: what a silent word write leaves
  says(kLinkDriveErrorBase + 1, true, "refused the change (error 1)");
  SetLanguage(Language::German);
  EXPECT_NE(WriteFailureText(kLinkNoReply, true).find("nicht geantwortet"), std::string::npos);
  SetLanguage(Language::English);
}

}  // namespace
}  // namespace axtune
