// The status panel's decoding: lamps, texts, formats, dead bands, bars and button states.
#include <gtest/gtest.h>

#include "core/drive_status.h"

namespace axtune {
namespace {

struct Panel {
  StatusPanelMemory memory;
  RecordWords r129{};
  RecordWords r131{};
  std::optional<uint16_t> statusword = uint16_t{0x0027};
  Language language = Language::English;

  Panel() { r129[kWordSwitches] = kBitLowerLimitNotReached | kBitUpperLimitNotReached; }
  StatusPanelView decode() { return DecodeStatusPanel(r129, r131, statusword, memory, language); }
};

TEST(StatusPanelDeviceState, LampAndTextOfEveryState) {
  struct Case {
    uint16_t state;
    uint16_t error;
    std::optional<uint16_t> statusword;
    int lamp;
    const char* german;
    const char* english;
  };
  const Case cases[] = {
      {0, 4, 0x0008, kLampRed, "Übertemperatur", "Overtemperature"},
      {0, 12, 0x0008, kLampRed, "Error 12", "Error 12"},
      {0, 0xFFFE, 0x0008, kLampRed, "Error -2", "Error -2"},
      {1, 0, 0x0040, kLampGrey, "Nicht einschaltbereit", "Not ready for switch on"},
      {2, 0, 0x0021, kLampGrey, "Bereit", "Ready"},
      {3, 0, 0x0023, kLampGreen, "Eingeschaltet (Standby)", "Switched on (Standby)"},
      {5, 0, 0x0237, kLampGreen, "Regler aktiv", "Operation"},
      {5, 0, 0x0217, kLampGreen, "Quick stop", "Quick stop"},
      {4, 0, 0x0027, kLampGreen, "Regler aktiv", "Operation"},
  };
  for (const Case& c : cases) {
    for (Language language : {Language::German, Language::English}) {
      Panel p;
      p.language = language;
      p.r129[kWordDeviceState] = c.state;
      p.r129[kWordErrorNumber] = c.error;
      p.statusword = c.statusword;
      const StatusPanelView view = p.decode();
      EXPECT_TRUE(view.deviceStateKnown);
      EXPECT_EQ(view.deviceStateLamp, c.lamp) << c.state;
      EXPECT_EQ(view.deviceStateText, language == Language::German ? c.german : c.english) << c.state;
    }
  }
}

TEST(StatusPanelDeviceState, WithoutStatuswordOperationalStateAndItsButtonsStayAsTheyWere) {
  Panel p;
  p.r129[kWordDeviceState] = 4;
  p.statusword.reset();
  const StatusPanelView view = p.decode();
  EXPECT_FALSE(view.deviceStateKnown);
  EXPECT_FALSE(view.statuswordKnown);
  // The rest of the tick is decoded all the same.
  EXPECT_EQ(view.profileText, "Profile not started");
  EXPECT_TRUE(view.quickstop.enabled);
  p.r129[kWordDeviceState] = 2;
  EXPECT_TRUE(p.decode().deviceStateKnown) << "states up to 3 need no statusword";
}

TEST(StatusPanelProfile, LampsTextsAndTheBlinkOfARunningProfile) {
  struct Case {
    int16_t state;
    int lamp;
    const char* text;
  };
  const Case cases[] = {
      {0, kLampGrey, "Profile not started"},
      {2, kLampGreen, "Profile finished"},
      {3, kLampRed, "Profile canceled"},
      {4, kLampRed, "Error 4"},
      {5, kLampRed, "Error 5"},
      {6, kLampRed, "Quick stop"},
      {7, kLampRed, "Limit switch reached"},
      {8, kLampRed, "Reference invalid"},
      {9, kLampRed, "Error 9"},
      {-1, kLampRed, "Error -1"},
  };
  for (const Case& c : cases) {
    Panel p;
    p.r131[kWordProfileState] = static_cast<uint16_t>(c.state);
    const StatusPanelView view = p.decode();
    EXPECT_EQ(view.profileLamp, c.lamp) << c.state;
    EXPECT_EQ(view.profileText, c.text) << c.state;
  }
  Panel running;
  running.r131[kWordProfileState] = 1;
  running.r131[kWordProfileNumber] = 3;
  running.language = Language::German;
  const StatusPanelView first = running.decode();
  const StatusPanelView second = running.decode();
  const StatusPanelView third = running.decode();
  EXPECT_EQ(first.profileText, "Fahrsatz gestartet 3");
  EXPECT_EQ(first.profileLamp, kLampGrey) << "the first tick sets the blink flag";
  EXPECT_EQ(second.profileLamp, kLampGreen);
  EXPECT_EQ(third.profileLamp, kLampGrey);
}

TEST(StatusPanelValues, FormatsOfTheMeasuredValues) {
  Panel p;
  p.language = Language::German;  // the panel's own words; the English window's follow below
  p.r129[kWordTemperature] = 3000;
  p.r129[kWordVoltage] = 32767;
  p.r131[kWordMotorCurrent] = 16383;
  p.r131[kWordStepResolution] = 3200;
  p.r131[kWordReductionDelay] = 100;
  p.r131[kWordReducedCurrent] = 8192;
  p.r131[kWordEncoderLow] = 0xFFFF;  // -1
  p.r131[kWordEncoderHigh] = 0xFFFF;
  p.r129[kWordPositionLow] = 0x2345;
  p.r129[kWordPositionHigh] = 0x0001;
  p.r129[kWordLevel] = 4096;
  const StatusPanelView view = p.decode();
  EXPECT_EQ(view.temperatureText,
            "24 \xC2\xB0"
            "C");
  EXPECT_EQ(view.voltageText, "114 V");
  EXPECT_EQ(view.currentText, "14.46 Aeff");
  EXPECT_EQ(view.stepResolutionText, "1/16  (3200)");
  EXPECT_EQ(view.currentReductionText, "100 ms auf 50 %");
  EXPECT_EQ(view.encoderPositionText, "-1");
  EXPECT_EQ(view.motorPositionText, "74565");
  EXPECT_EQ(view.levelBar, 12);
  EXPECT_EQ(view.levelText, "12.5 %");

  p.language = Language::English;
  EXPECT_EQ(p.decode().currentReductionText, "100 ms to 50 %");

  struct Resolution {
    int steps;
    const char* german;
    const char* english;
  };
  const Resolution resolutions[] = {{200, "Vollschritt  (200)", "Full step  (200)"},
                                    {400, "Halbschritt  (400)", "Half step  (400)"},
                                    {1000, "1/5  (1000)", "1/5  (1000)"},
                                    {300, "1/1.5  (300)", "1/1.5  (300)"}};
  for (const Resolution& r : resolutions) {
    for (Language language : {Language::German, Language::English}) {
      Panel q;
      q.language = language;
      q.r131[kWordStepResolution] = static_cast<uint16_t>(r.steps);
      EXPECT_EQ(q.decode().stepResolutionText, language == Language::German ? r.german : r.english);
    }
  }
}

TEST(StatusPanelValues, CountsAndLevelsAboveHalfTheWordAreUnsigned) {
  // Words of record 131 with the top bit set: counts and levels, never negative.
  const struct {
    int word;
    uint16_t raw;
    std::string StatusPanelView::*text;
    const char* expected;
  } cases[] = {
      {kWordStepResolution, 51200, &StatusPanelView::stepResolutionText, "1/256  (51200)"},
      {kWordStepResolution, 65535, &StatusPanelView::stepResolutionText, "1/327.675  (65535)"},
      {kWordMotorCurrent, 40000, &StatusPanelView::currentText, "35.31 Aeff"},
      {kWordReductionDelay, 40000, &StatusPanelView::currentReductionText, "40000 ms to 0 %"},
      {kWordReducedCurrent, 40000, &StatusPanelView::currentReductionText, "0 ms to 244 %"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw);
    Panel p;
    p.r131[c.word] = c.raw;
    EXPECT_EQ(p.decode().*c.text, c.expected);
  }
}

TEST(StatusPanelValues, TemperatureAndVoltageMoveOnlyByWholeSteps) {
  Panel p;
  const std::pair<uint16_t, const char*> temperatures[] = {
      {3000,
       "24 \xC2\xB0"
       "C"},
      {3050,
       "24 \xC2\xB0"
       "C"},  // 50 raw units from the held 3000: inside the dead band
      {3100,
       "25 \xC2\xB0"
       "C"}};
  for (const auto& [raw, text] : temperatures) {
    p.r129[kWordTemperature] = raw;
    EXPECT_EQ(p.decode().temperatureText, text) << raw;
  }
  EXPECT_EQ(p.memory.held.lastTemperature, 3100);

  Panel v;
  v.r129[kWordVoltage] = 99;  // below one step from the held 0
  EXPECT_EQ(v.decode().voltageText, "0 V");
  v.r129[kWordVoltage] = 14000;
  EXPECT_EQ(v.decode().voltageText, "49 V");
  v.r129[kWordVoltage] = 13901;
  EXPECT_EQ(v.decode().voltageText, "49 V");
  EXPECT_EQ(v.memory.held.lastVoltage, 14000);
}

// The status bar and the panel poll at their own times: the bar saw 3190 (24.9 degrees, held),
// the panel opens at 3250. Alone, the panel would hold 3250 and show 26 beside the bar's 25; sharing
// the bar's dead band, both show 25.
TEST(StatusPanelValues, SharingTheBarsDeadBandGivesTheBarsDegrees) {
  {
    Panel p;
    DriveStatusMemory bar;
    p.memory.sharedTemperature = &bar.lastTemperature;
    RecordWords r131{};
    p.r129[kWordTemperature] = 3190;
    EXPECT_EQ(DecodeDriveStatus(p.r129, r131, std::nullopt, bar).temperatureText, "25\xC2\xB0");
    p.r129[kWordTemperature] = 3250;
    EXPECT_EQ(DecodeDriveStatus(p.r129, r131, std::nullopt, bar).temperatureText, "25\xC2\xB0");
    EXPECT_EQ(p.decode().temperatureText.substr(0, 2), "25");
  }
}

TEST(StatusPanelValues, PositionBarIsTheShareOfTheRangeTruncated) {
  const std::pair<int32_t, int> cases[] = {{1 << 30, 50}, {INT32_MIN, -100}, {INT32_MAX, 99},
                                           {21474836, 0}, {-21474837, -1},   {0, 0}};
  for (const auto& [position, bar] : cases) {
    Panel p;
    p.r129[kWordPositionLow] = static_cast<uint16_t>(static_cast<uint32_t>(position) & 0xFFFF);
    p.r129[kWordPositionHigh] = static_cast<uint16_t>(static_cast<uint32_t>(position) >> 16);
    const StatusPanelView view = p.decode();
    EXPECT_EQ(view.motorPositionBar, bar) << position;
    EXPECT_EQ(view.motorPosition, position);
  }
  Panel full;
  full.r129[kWordLevel] = 0xFFFF;  // unsigned: above 100 %
  EXPECT_EQ(full.decode().levelBar, 200);
}

TEST(StatusPanelLamps, SwitchesAndReferencedState) {
  Panel p;
  p.r129[kWordSwitches] = 0;
  StatusPanelView view = p.decode();
  EXPECT_EQ(view.upperLimitLamp, kLampRed);
  EXPECT_EQ(view.lowerLimitLamp, kLampRed);
  EXPECT_EQ(view.referenceSwitchLamp, kLampGrey);
  EXPECT_EQ(view.stopSwitchLamp, kLampGreyRing);
  p.r129[kWordSwitches] = kBitUpperLimitNotReached | kBitReferenceSwitch | kBitStopSwitch;
  view = p.decode();
  EXPECT_EQ(view.upperLimitLamp, kLampGreyRing);
  EXPECT_EQ(view.lowerLimitLamp, kLampRed);
  EXPECT_EQ(view.referenceSwitchLamp, kLampGreen);
  EXPECT_EQ(view.stopSwitchLamp, kLampRed);

  const std::pair<uint16_t, int> referenced[] = {
      {0, kLampGreyRing}, {1, kLampGrey}, {2, kLampGreen}, {3, kLampRed}, {0xFFFF, kLampRed}};
  for (const auto& [state, lamp] : referenced) {
    Panel q;
    q.r129[kWordReferenced] = state;
    EXPECT_EQ(q.decode().referencedLamp, lamp) << state;
  }
}

TEST(StatusPanelButtons, EnabledAndPressedFollowStateAndStatusword) {
  struct Case {
    uint16_t state;
    uint16_t statusword;
    uint16_t error;
    PanelButton faultReset, switchOn, operation, quickstop;
  };
  const Case cases[] = {
      // fault: only the fault reset
      {0, 0x0008, 6, {true, false}, {true, false}, {false, false}, {false, true}},
      {1, 0x0040, 0, {false, false}, {true, false}, {false, false}, {false, true}},
      {2, 0x0021, 0, {false, false}, {true, false}, {false, false}, {false, false}},
      {3, 0x0023, 0, {false, false}, {true, true}, {true, false}, {false, false}},
      // operation enabled: statusword 0x27 disables "Switch On"
      {4, 0x0027, 0, {false, false}, {false, true}, {true, true}, {true, false}},
      {4, 0x0237, 0, {false, false}, {true, true}, {true, true}, {true, false}},
      // quick stop active: bit 5 clear
      {5, 0x0007, 0, {false, false}, {true, true}, {false, true}, {true, true}},
  };
  for (const Case& c : cases) {
    Panel p;
    p.r129[kWordDeviceState] = c.state;
    p.r129[kWordErrorNumber] = c.error;
    p.statusword = c.statusword;
    const StatusPanelView view = p.decode();
    auto same = [](const PanelButton& a, const PanelButton& b) {
      return a.enabled == b.enabled && a.pressed == b.pressed;
    };
    EXPECT_TRUE(same(view.faultReset, c.faultReset)) << "state " << c.state;
    EXPECT_TRUE(same(view.switchOn, c.switchOn)) << "state " << c.state;
    EXPECT_TRUE(same(view.operation, c.operation)) << "state " << c.state;
    EXPECT_TRUE(same(view.quickstop, c.quickstop)) << "state " << c.state;
  }
}

TEST(StatusPanelCommands, ControlwordsAndModeTexts) {
  EXPECT_EQ(PanelControlword(PanelCommand::Operation, true), 0x0D);
  EXPECT_EQ(PanelControlword(PanelCommand::Operation, false), 0x05);
  EXPECT_EQ(PanelControlword(PanelCommand::SwitchOn, true), 0x05);
  EXPECT_EQ(PanelControlword(PanelCommand::SwitchOn, false), 0x04);
  EXPECT_EQ(PanelControlword(PanelCommand::Quickstop, true), 0x09);
  EXPECT_EQ(PanelControlword(PanelCommand::Quickstop, false), 0x0D);
  EXPECT_EQ(PanelControlword(PanelCommand::FaultReset, false), 0x80);
  EXPECT_EQ(ModeOfOperationText(255), "Lage");
  EXPECT_EQ(ModeOfOperationText(-1), "Lage") << "a sign-extended -1 is the same mode";
  EXPECT_EQ(ModeOfOperationText(249), "Referenzfahrt");
  EXPECT_EQ(ModeOfOperationText(-7), "Referenzfahrt");
  EXPECT_EQ(ModeOfOperationText(1), "unbekannt");
  EXPECT_EQ(ModeOfOperationText(255, Language::English), "Position");
  EXPECT_EQ(ModeOfOperationText(-7, Language::English), "Homing");
  EXPECT_EQ(ModeOfOperationText(1, Language::English), "unknown");
  EXPECT_EQ(ModeOfOperationText(-7, Language::German), "Referenzfahrt");
}

}  // namespace
}  // namespace axtune
