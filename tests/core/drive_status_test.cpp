#include "core/drive_status.h"

#include <gtest/gtest.h>

#include <memory>

#include "link/drive_link.h"
#include "sim/simulated_drive.h"

namespace axtune {
namespace {

// Record 129 with the switches of a drive standing between its limit switches and the other words
// at zero; tests set the words they look at.
RecordWords Status129() {
  RecordWords r{};
  r[kWordSwitches] = kBitLowerLimitNotReached | kBitUpperLimitNotReached;
  return r;
}

struct Decoder {
  DriveStatusMemory memory;
  RecordWords r129 = Status129();
  RecordWords r131{};
  std::optional<uint16_t> statusword = uint16_t{0x0027};
  Language language = Language::English;

  DriveStatusView decode() { return DecodeDriveStatus(r129, r131, statusword, memory, language); }
};

TEST(DriveStatusDeviceState, FaultShowsTheErrorTextOrItsNumber) {
  struct Case {
    uint16_t error;
    Language language;
    const char* text;
  };
  const Case cases[] = {
      {0, Language::English, "Device ready"},
      {4, Language::German, "Übertemperatur"},
      {9, Language::English, "Motor blocked"},
      {9, Language::German, "Motor blockiert"},
      {10, Language::English, "Error 10"},
      {0xFFFF, Language::German, "Error -1"},  // taken as unsigned it is no table index
      {0x8000, Language::English, "Error -32768"},
  };
  for (const Case& c : cases) {
    Decoder d;
    d.language = c.language;
    d.r129[kWordDeviceState] = 0;
    d.r129[kWordErrorNumber] = c.error;
    const DriveStatusView view = d.decode();
    EXPECT_EQ(view.deviceStateText, c.text) << "error " << c.error;
    EXPECT_EQ(view.deviceStateColor, (Rgb{255, 0, 0}));
    EXPECT_TRUE(view.deviceStateKnown);
  }
}

TEST(DriveStatusDeviceState, StatesAndTheirColours) {
  struct Case {
    uint16_t state;
    std::optional<uint16_t> statusword;
    const char* german;
    const char* english;
    Rgb colour;
  };
  const Case cases[] = {
      {1, 0x0000, "Nicht einschaltbereit", "Not ready for switch on", {0, 50, 0}},
      {2, 0x0021, "Bereit", "Ready", {0, 100, 0}},
      {3, 0x0023, "Eingeschaltet (Standby)", "Switched on (Standby)", {0, 150, 0}},
      {4, 0x0027, "Regler aktiv", "Operation", {0, 200, 0}},
      {5, 0x0007, "Quick stop", "Quick stop", {0, 150, 0}},
      {0xFFFF, 0x0020, "Regler aktiv", "Operation", {0, 200, 0}},
      // States up to 3 do not need the statusword.
      {2, std::nullopt, "Bereit", "Ready", {0, 100, 0}},
  };
  for (const Case& c : cases) {
    for (Language language : {Language::German, Language::English}) {
      Decoder d;
      d.language = language;
      d.r129[kWordDeviceState] = c.state;
      d.statusword = c.statusword;
      const DriveStatusView view = d.decode();
      EXPECT_EQ(view.deviceStateText, language == Language::German ? c.german : c.english)
          << "state " << c.state;
      EXPECT_EQ(view.deviceStateColor, c.colour) << "state " << c.state;
      EXPECT_TRUE(view.deviceStateKnown);
    }
  }
}

TEST(DriveStatusDeviceState, OperationalStateWithoutStatuswordIsNotGuessed) {
  Decoder d;
  d.r129[kWordDeviceState] = 4;
  d.statusword.reset();
  const DriveStatusView view = d.decode();
  EXPECT_FALSE(view.deviceStateKnown);
  EXPECT_EQ(view.deviceStateText, "Invalid");
  // The rest of the poll is still decoded.
  EXPECT_EQ(view.profileText, "Profile not started");
}

TEST(DriveStatusProfile, EveryStateHasItsText) {
  struct Case {
    int16_t state;
    const char* german;
    const char* english;
  };
  const Case cases[] = {
      {0, "Fahrsatz nicht gestartet", "Profile not started"},
      {1, "Fahrsatz gestartet 7", "Profile started 7"},
      {3, "Fahrsatz abgebrochen", "Profile canceled"},
      {4, "Error 4", "Error 4"},
      {5, "Error 5", "Error 5"},
      {6, "Quick stop", "Quick stop"},
      {7, "Endschalter erreicht", "Limit switch reached"},
      {8, "Referenzpunkt ungültig", "Reference invalid"},
      {-2, "Error -2", "Error -2"},
  };
  for (const Case& c : cases) {
    for (Language language : {Language::German, Language::English}) {
      Decoder d;
      d.language = language;
      d.r131[kWordProfileState] = static_cast<uint16_t>(c.state);
      d.r131[kWordProfileNumber] = 7;
      EXPECT_EQ(d.decode().profileText, language == Language::German ? c.german : c.english);
    }
  }
}

TEST(DriveStatusProfile, ReferencedStateColoursThePane) {
  Decoder d;
  for (uint16_t state : {0, 1}) {
    d.r129[kWordReferenced] = state;
    EXPECT_FALSE(d.decode().profileColor.has_value()) << state;
  }
  d.r129[kWordReferenced] = 2;
  EXPECT_EQ(d.decode().profileColor, (Rgb{0, 100, 0}));
  for (uint16_t state : {3, 0xFFFF}) {
    d.r129[kWordReferenced] = state;
    EXPECT_EQ(d.decode().profileColor, (Rgb{150, 0, 0})) << state;
  }
}

TEST(DriveStatusPosition, JoinsTheTwoHalvesSigned) {
  struct Case {
    uint16_t low;
    uint16_t high;
    const char* text;
  };
  const Case cases[] = {
      {0xFFFF, 0xFFFF, "-1 "},
      {0x8000, 0x0000, "32768 "},  // the low half is unsigned
      {0x0000, 0x8000, "-2147483648 "},
  };
  for (const Case& c : cases) {
    Decoder d;
    d.r129[kWordPositionLow] = c.low;
    d.r129[kWordPositionHigh] = c.high;
    EXPECT_EQ(d.decode().positionText, c.text);
  }
}

TEST(DriveStatusSwitches, LimitSwitchBitmapsAndEnabledLooks) {
  struct Case {
    uint16_t word;
    const char* bitmap;
    bool reference;
    bool stop;
  };
  const Case cases[] = {
      {0x0600, kBitmapGood, false, false},
      {0x0200, kBitmapUpperLimit, false, false},  // only the lower one is clear
      {0x0400, kBitmapLowerLimit, false, false},
      {0x0000, kBitmapWarning, false, false},
      {0xF9FF, kBitmapWarning, true, true},  // the other bits do not count as limit bits
      {0x0E00, kBitmapGood, true, false},
  };
  for (const Case& c : cases) {
    Decoder d;
    d.r129[kWordSwitches] = c.word;
    const DriveStatusView view = d.decode();
    EXPECT_STREQ(view.limitSwitchBitmap, c.bitmap) << std::hex << c.word;
    EXPECT_EQ(view.referenceSwitchEnabled, c.reference) << std::hex << c.word;
    EXPECT_EQ(view.stopSwitchEnabled, c.stop) << std::hex << c.word;
  }
}

TEST(DriveStatusTemperature, FollowsOnlyWholeStepsOf64) {
  Decoder d;
  // First poll below one step: the remembered value stays 0, shown as (0 + 64) / 128 rounded.
  d.r129[kWordTemperature] = 63;
  DriveStatusView view = d.decode();
  EXPECT_EQ(d.memory.lastTemperature, 0);
  EXPECT_EQ(view.temperatureText, "1\xC2\xB0");
  EXPECT_EQ(view.temperatureColor, (Rgb{80, 250, 250}));

  d.r129[kWordTemperature] = 3200;  // 25 degrees
  view = d.decode();
  EXPECT_EQ(d.memory.lastTemperature, 3200);
  EXPECT_EQ(view.temperatureText, "26\xC2\xB0");  // 25.5 rounds away from zero
  EXPECT_EQ(view.temperatureColor, (Rgb{130, 200, 200}));

  d.r129[kWordTemperature] = 3200 + 63;
  d.decode();
  EXPECT_EQ(d.memory.lastTemperature, 3200);
  d.r129[kWordTemperature] = 3200 - 63;
  d.decode();
  EXPECT_EQ(d.memory.lastTemperature, 3200);
  d.r129[kWordTemperature] = 3200 - 64;
  view = d.decode();
  EXPECT_EQ(d.memory.lastTemperature, 3136);
  EXPECT_EQ(view.temperatureText, "25\xC2\xB0");
}

TEST(DriveStatusTemperature, NegativeAndExtremeValues) {
  Decoder d;
  d.r129[kWordTemperature] = static_cast<uint16_t>(-640);  // -5 degrees
  DriveStatusView view = d.decode();
  EXPECT_EQ(view.temperatureText, "-5\xC2\xB0");  // -4.5 rounds away from zero
  // The colour channels wrap modulo 256.
  EXPECT_EQ(view.temperatureColor, (Rgb{70, 4, 4}));
  d.r129[kWordTemperature] = 0x7FFF;
  view = d.decode();
  EXPECT_EQ(d.memory.lastTemperature, 0x7FFF);
  EXPECT_EQ(view.temperatureText, "256\xC2\xB0");
  EXPECT_EQ(view.temperatureColor, (Rgb{(511 + 80) & 0xFF, (250 - 511) & 0xFF, (250 - 511) & 0xFF}));
  d.r129[kWordTemperature] = 0x8000;  // the whole range apart: no overflow in the difference
  d.decode();
  EXPECT_EQ(d.memory.lastTemperature, -32768);
}

TEST(DriveStatusVoltage, FollowsOnlyWholeStepsOf100) {
  Decoder d;
  d.r129[kWordVoltage] = 99;
  EXPECT_EQ(d.decode().voltageText, "0V");
  EXPECT_EQ(d.memory.lastVoltage, 0);

  d.r129[kWordVoltage] = 13784;  // about 48 V
  DriveStatusView view = d.decode();
  EXPECT_EQ(view.voltageText, "48V");
  EXPECT_NEAR(view.displayedVoltage, 13784 / 32767.0 * 3.0 * 102.7 / 2.7, 1e-9);

  d.r129[kWordVoltage] = 13784 + 99;
  d.decode();
  EXPECT_EQ(d.memory.lastVoltage, 13784);
  d.r129[kWordVoltage] = 13784 + 100;
  d.decode();
  EXPECT_EQ(d.memory.lastVoltage, 13884);
  d.r129[kWordVoltage] = 32767;
  EXPECT_EQ(d.decode().voltageText, "114V");
}

// Reading over the link from the simulated drive.
class DriveStatusReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = sim::registerSimulatedDrive("sim:drive-status", sim::SimConfig::unitTest());
    ASSERT_TRUE(OpenLink("sim:drive-status"));
  }
  void TearDown() override {
    CloseLink();
    sim::unregisterSimulatedDrive("sim:drive-status");
  }
  std::shared_ptr<sim::SimulatedDrive> drive_;
};

TEST_F(DriveStatusReadTest, ReadsTheLiveRecordsAndTheStatusword) {
  drive_->advanceMs(1000);  // past the firmware's start-up
  drive_->setStopSwitch(true);
  drive_->triggerFault(sim::DriveFault::MotorBlocked);
  DriveStatusReading reading;
  ASSERT_TRUE(ReadDriveStatus(reading));
  const sim::DriveSnapshot snapshot = drive_->snapshot();
  EXPECT_EQ(reading.record129[kWordDeviceState], snapshot.deviceState);
  ASSERT_TRUE(reading.statusword.has_value());
  EXPECT_EQ(*reading.statusword, snapshot.statusword);

  DriveStatusMemory memory;
  const DriveStatusView view =
      DecodeDriveStatus(reading.record129, reading.record131, reading.statusword, memory, Language::German);
  EXPECT_EQ(view.deviceStateText, "Motor blockiert");
  EXPECT_TRUE(view.stopSwitchEnabled);
  EXPECT_EQ(view.voltageText, "48V");
}

}  // namespace
}  // namespace axtune
