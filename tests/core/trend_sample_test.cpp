#include "core/trend_sample.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/drive_status.h"

namespace axtune {
namespace {

struct Records {
  RecordWords r129{};
  RecordWords r131{};
  Records() { r129[kWordSwitches] = kBitLowerLimitNotReached | kBitUpperLimitNotReached; }
  Records& position(int32_t motor, int32_t encoder) {
    r129[kWordPositionLow] = static_cast<uint16_t>(motor);
    r129[kWordPositionHigh] = static_cast<uint16_t>(static_cast<uint32_t>(motor) >> 16);
    r131[kWordEncoderLow] = static_cast<uint16_t>(encoder);
    r131[kWordEncoderHigh] = static_cast<uint16_t>(static_cast<uint32_t>(encoder) >> 16);
    return *this;
  }
};

// The encoder's counts become steps with the step resolution of the same poll and the counts per
// revolution of the settings; without either there is no encoder trace and no following error.
TEST(TrendSampleDecode, EncoderCountsBecomeStepsAndTheFollowingError) {
  struct Case {
    int32_t motor, encoder;
    uint16_t stepsPerRev;
    int countsPerRev;
    double encoderSteps, followingError;  // NaN: no value
  };
  const Case cases[] = {
      {3200, 2000, 3200, 2000, 3200, 0},        // one revolution, followed exactly
      {3200, 1990, 3200, 2000, 3184, 1},        // ten counts behind: 16 microsteps, one full step lost
      {3200, 1995, 3200, 2000, 3192, 0},        // half a full step behind: no step lost
      {-3200, -1981, 3200, 2000, -3169.6, -1},  // 30.4 microsteps ahead: one whole full step
      {-6400, -4000, 3200, 2000, -6400, 0},     // negative positions keep their sign
      {200, 2000, 200, 4000, 100, 100},         // full steps, 1000 lines
      {100, 7, 3200, 0, kNoValue, kNoValue},    // no encoder configured
      {100, 7, 0, 2000, kNoValue, kNoValue},    // no step resolution read
      {INT32_MAX, 2000, 3200, 2000, 3200, 134217527},
  };
  for (const Case& c : cases) {
    Records r;
    r.position(c.motor, c.encoder).r131[kWordStepResolution] = c.stepsPerRev;
    const TrendSample s = DecodeTrendSample(r.r129, r.r131, c.countsPerRev, 1.0, 0, nullptr);
    SCOPED_TRACE(testing::Message() << c.motor << " / " << c.encoder);
    EXPECT_EQ(s.motorPosition, c.motor);
    EXPECT_EQ(s.encoderCounts, c.encoder);
    if (std::isnan(c.encoderSteps)) {
      EXPECT_TRUE(std::isnan(s.encoderPosition));
      EXPECT_TRUE(std::isnan(s.followingError));
    } else {
      EXPECT_DOUBLE_EQ(s.encoderPosition, c.encoderSteps);
      EXPECT_DOUBLE_EQ(s.followingError, c.followingError);
    }
  }
}

// Velocity comes from the change of the motor position between two answered polls.
TEST(TrendSampleDecode, VelocityFromThePositionAcrossTheWrapAndNotAcrossAGap) {
  struct Case {
    int32_t from, to;
    double dt;
    bool previousValid;
    double velocity;  // NaN: no value
    uint16_t referencedBefore = 0;
  };
  const Case cases[] = {
      {0, 1000, 0.1, true, 10000},
      {5000, 4000, 0.05, true, -20000},
      {INT32_MAX - 99, INT32_MIN + 100, 0.1, true, 2000},  // across the counter's wrap: forward
      {INT32_MIN + 50, INT32_MAX - 49, 0.1, true, -1000},
      {0, 1000, 0.1, false, kNoValue},     // after a gap
      {0, 1000, 0.0, true, kNoValue},      // same time stamp: no division by zero
      {-4000, 0, 0.1, true, kNoValue, 1},  // homing ended: the drive set its position anew
  };
  for (const Case& c : cases) {
    Records before, after;
    before.position(c.from, 0);
    before.r129[kWordReferenced] = c.referencedBefore;
    after.position(c.to, 0);
    TrendSample previous = DecodeTrendSample(before.r129, before.r131, 0, 10.0, 0, nullptr);
    previous.valid = c.previousValid;
    const TrendSample s = DecodeTrendSample(after.r129, after.r131, 0, 10.0 + c.dt, 0, &previous);
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    if (std::isnan(c.velocity)) {
      EXPECT_TRUE(std::isnan(s.velocity));
    } else {
      EXPECT_NEAR(s.velocity, c.velocity, 1e-6);
    }
  }
}

TEST(TrendSampleDecode, ScalesAndSwitchesAsThePanelShowsThem) {
  Records r;
  r.r129[kWordTemperature] = 3200;                                    // 25 degrees
  r.r129[kWordVoltage] = 32767;                                       // 114.1 V full scale
  r.r131[kWordMotorCurrent] = 16383;                                  // 20.45 A peak = 14.46 A rms
  r.r129[kWordSwitches] = kBitUpperLimitNotReached | kBitStopSwitch;  // lower limit reached
  r.r129[kWordReferenced] = 2;
  const TrendSample s = DecodeTrendSample(r.r129, r.r131, 0, 0, 0, nullptr);
  EXPECT_DOUBLE_EQ(s.temperature, 25.0);
  EXPECT_NEAR(s.voltage, 114.11, 0.01);
  EXPECT_NEAR(s.current, 14.46, 0.005);
  EXPECT_FALSE(s.upperLimit);
  EXPECT_TRUE(s.lowerLimit);
  EXPECT_FALSE(s.referenceSwitch);
  EXPECT_TRUE(s.stopSwitch);
  EXPECT_TRUE(s.referenced);
  r.r129[kWordTemperature] = 0xFF80;  // signed: one degree below zero
  EXPECT_DOUBLE_EQ(DecodeTrendSample(r.r129, r.r131, 0, 0, 0, nullptr).temperature, -1.0);
}

struct EventCase {
  const char* what;
  int profileBefore, numberBefore, profileNow, numberNow;
  int referencedBefore, referencedNow;
  int deviceBefore, errorBefore, deviceNow, errorNow;
  std::vector<std::string> texts;  // English mark texts, in order
};

void PrintTo(const EventCase& c, std::ostream* os) {
  *os << c.what;
}

class TrendEvents : public testing::TestWithParam<EventCase> {};

TEST_P(TrendEvents, ChangesBetweenTwoPollsBecomeMarks) {
  const EventCase& c = GetParam();
  TrendSample before, now;
  before.profileState = c.profileBefore;
  before.profileNumber = c.numberBefore;
  now.profileState = c.profileNow;
  now.profileNumber = c.numberNow;
  before.referencedState = c.referencedBefore;
  now.referencedState = c.referencedNow;
  before.deviceState = c.deviceBefore;
  before.errorNumber = c.errorBefore;
  now.deviceState = c.deviceNow;
  now.errorNumber = c.errorNow;
  std::vector<TrendEvent> events;
  DetectTrendEvents(before, now, events);
  std::vector<std::string> texts;
  for (const TrendEvent& e : events) texts.push_back(TrendEventText(e, Language::English));
  EXPECT_EQ(texts, c.texts);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, TrendEvents,
    testing::Values(
        EventCase{"nothing changed", 2, 3, 2, 3, 2, 2, 5, 0, 5, 0, {}},
        EventCase{"profile starts", 0, 0, 1, 3, 0, 0, 5, 0, 5, 0, {"Profile 3 started"}},
        EventCase{"profile finishes", 1, 3, 2, 3, 0, 0, 5, 0, 5, 0, {"Profile 3: Profile finished"}},
        EventCase{"chained profile",
                  1,
                  3,
                  1,
                  4,
                  0,
                  0,
                  5,
                  0,
                  5,
                  0,
                  {"Profile 3: Profile finished", "Profile 4 started"}},
        EventCase{"limit switch", 1, 7, 7, 7, 0, 0, 5, 0, 5, 0, {"Profile 7: Limit switch reached"}},
        EventCase{"stopped by a fault",
                  1,
                  2,
                  4,
                  2,
                  0,
                  0,
                  5,
                  0,
                  0,
                  4,
                  {"Profile 2: Error 4", "Fault 4: Overtemperature"}},
        EventCase{"homing starts", 2, 0, 2, 0, 0, 1, 5, 0, 5, 0, {"Homing started"}},
        EventCase{"homing finds the reference", 2, 0, 2, 0, 1, 2, 5, 0, 5, 0, {"Homing finished"}},
        EventCase{"homing fails", 2, 0, 2, 0, 1, 3, 5, 0, 5, 0, {"Homing failed"}},
        EventCase{"a second fault", 0, 0, 0, 0, 0, 0, 0, 1, 0, 12, {"Fault 12"}},
        EventCase{"a fault stays", 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, {}},
        EventCase{"error word taken unsigned", 0, 0, 0, 0, 0, 0, 5, 0, 0, -1, {"Fault -1"}}),
    [](const testing::TestParamInfo<EventCase>& info) {
      std::string name = info.param.what;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

TEST(TrendRecorder, AGapIsOneMarkAndChangesAcrossItStillCount) {
  TrendRecorder recorder;
  Records idle, running;
  running.r131[kWordProfileState] = 1;
  running.r131[kWordProfileNumber] = 3;
  recorder.addPoll(&idle.r129, &idle.r131, 0.0, 0);
  size_t added = 0;
  recorder.addPoll(nullptr, nullptr, 0.1, 0, 0, &added);
  EXPECT_EQ(added, 1u);
  recorder.addPoll(nullptr, nullptr, 0.2, 0, 0, &added);
  EXPECT_EQ(added, 0u) << "a gap that goes on is not marked again";
  recorder.addPoll(&running.r129, &running.r131, 0.3, 0, 0, &added);
  EXPECT_EQ(added, 1u);
  ASSERT_EQ(recorder.events().size(), 2u);
  EXPECT_EQ(recorder.events()[0].kind, TrendEventKind::NoAnswer);
  EXPECT_EQ(recorder.events()[1].kind, TrendEventKind::ProfileStarted);
  EXPECT_TRUE(std::isnan(recorder.samples().back().velocity)) << "no velocity across a gap";
  EXPECT_TRUE(std::isnan(TrendValue(recorder.samples()[1], kColMotorPosition)));
}

// At 5000 steps/s the encoder, read 12 ms after the motor position, is 60 steps further. Polls
// whose second reply was looked at late (a busy program, a USB latency timer) still show no error.
TEST(TrendRecorder, ALateLookAtOneReplyShowsNoFollowingError) {
  TrendRecorder recorder;
  recorder.setEncoderCounts(3200);
  for (int i = 0; i < 40; ++i) {
    const double t = i * 0.1;
    Records r;
    r.position(static_cast<int32_t>(5000 * t), static_cast<int32_t>(5000 * (t + 0.012)));
    r.r131[kWordStepResolution] = 3200;
    const double measuredLag = i % 7 == 3 ? 0.018 : 0.012;  // now and then looked at 6 ms late
    const TrendSample& s = recorder.addPoll(&r.r129, &r.r131, t, 0, measuredLag);
    if (i >= 2) {
      EXPECT_NEAR(s.followingError, 0, 0.5) << "poll " << i;
    }
  }
}

TEST(TrendRecorder, KeepsOnlyTheWindowAndTheCountItWasGiven) {
  struct Case {
    double keepSeconds;
    size_t maxSamples;
    int polls;
    size_t kept;
  };
  // Polls every 0.1 s.
  for (const Case& c : {Case{10, 1000, 1000, 101}, Case{1000, 50, 1000, 50}, Case{1000, 1000, 20, 20}}) {
    TrendRecorder recorder(c.keepSeconds, c.maxSamples);
    Records r;
    for (int i = 0; i < c.polls; ++i) {
      r.r129[kWordDeviceState] = static_cast<uint16_t>(i % 2 == 0 ? 0 : 5);  // a fault mark every other poll
      recorder.addPoll(&r.r129, &r.r131, i * 0.1, 0);
    }
    EXPECT_EQ(recorder.samples().size(), c.kept);
    ASSERT_FALSE(recorder.events().empty());
    EXPECT_GE(recorder.events().front().time, recorder.samples().front().time)
        << "marks go with their samples";
  }
}

TEST(TrendCsv, HeaderNamesUnitsAndRowsLineUp) {
  const std::string header = TrendCsvHeader();
  EXPECT_EQ(
      header.rfind("time [s],UTC,motor position [steps],encoder position [steps],velocity [steps/s]", 0), 0u);
  EXPECT_NE(header.find("motor current [A],DC-link voltage [V],power-stage temperature [\xC2\xB0"
                        "C]"),
            std::string::npos);
  auto fields = [](const std::string& line) { return std::count(line.begin(), line.end(), ',') + 1; };

  Records r;
  r.position(-1200, 0).r129[kWordDeviceState] = 5;
  TrendSample s = DecodeTrendSample(r.r129, r.r131, 0, 12.3456, 1796666400123, nullptr);
  TrendEvent mark{12.3456, TrendEventKind::ParameterWritten, 0, 0, "Velocity, profile 3"};
  const std::string row = TrendCsvRow(s, {&mark});
  EXPECT_EQ(row.rfind("12.346,2026-12-07T18:00:00.123Z,-1200,,,,0.000,", 0), 0u) << row;
  EXPECT_NE(row.find(",\"Parameter written: Velocity, profile 3\""), std::string::npos) << row;
  EXPECT_EQ(fields(row) - 1, fields(header)) << "one comma inside the quoted mark";

  TrendSample gap;
  gap.time = 13;
  const std::string gapRow = TrendCsvRow(gap, {});
  EXPECT_EQ(fields(gapRow), fields(header));
  EXPECT_EQ(gapRow.find("13.000,1970-01-01T00:00:00.000Z,,,,"), 0u);
}

}  // namespace
}  // namespace axtune
