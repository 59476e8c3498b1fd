// Ids of the trend's texts in res/strings_trend.inc: the window, its traces and its marks.
#pragma once

namespace axtune {

// The View menu and the trend command.
inline constexpr int kTextMenuView = 48500;

// Trace names.
inline constexpr int kTextTraceMotorPosition = 48501;
inline constexpr int kTextTraceEncoderPosition = 48502;
inline constexpr int kTextTraceVelocity = 48503;
inline constexpr int kTextTraceFollowingError = 48504;
inline constexpr int kTextTraceCurrent = 48505;
inline constexpr int kTextTraceVoltage = 48506;
inline constexpr int kTextTraceTemperature = 48507;
inline constexpr int kTextTraceUpperLimit = 48508;
inline constexpr int kTextTraceLowerLimit = 48509;
inline constexpr int kTextTraceReferenceSwitch = 48510;
inline constexpr int kTextTraceStopSwitch = 48511;
inline constexpr int kTextTraceReferenced = 48512;
inline constexpr int kTextTracePosition = 48513;  // the axis both positions share

// Marks.
inline constexpr int kTextMarkProfileStarted = 48520;  // %d profile
inline constexpr int kTextMarkProfileEnded = 48521;    // %d profile, %s how it ended
inline constexpr int kTextMarkHomingStarted = 48522;
inline constexpr int kTextMarkHomingFinished = 48523;
inline constexpr int kTextMarkHomingFailed = 48524;
inline constexpr int kTextMarkFault = 48525;        // %d error number, %s its text
inline constexpr int kTextMarkFaultNumber = 48526;  // %d error number
inline constexpr int kTextMarkNoAnswer = 48527;
inline constexpr int kTextMarkParameter = 48528;  // %s which parameter

// The window.
inline constexpr int kTextTrendTitle = 48540;
inline constexpr int kTextTrendPause = 48541;
inline constexpr int kTextTrendResume = 48542;
inline constexpr int kTextTrendFit = 48543;
inline constexpr int kTextTrendRate = 48544;
inline constexpr int kTextTrendNormalised = 48545;
inline constexpr int kTextTrendExportCsv = 48546;
inline constexpr int kTextTrendExportPng = 48547;
inline constexpr int kTextTrendTime = 48548;
inline constexpr int kTextTrendTraces = 48549;
inline constexpr int kTextTrendCsvFilter = 48550;
inline constexpr int kTextTrendPngFilter = 48551;
inline constexpr int kTextTrendNotWritten = 48552;  // %1 file, %2 reason
inline constexpr int kTextTrendWhole = 48553;
inline constexpr int kTextTrendVisible = 48554;
inline constexpr int kTextTrendNoDrive = 48555;
inline constexpr int kTextTrendPerSecond = 48556;        // %1 polls per second
inline constexpr int kTextTrendSamples = 48557;          // %1 samples, %2 minutes kept
inline constexpr int kTextTrendParameterRecord = 48558;  // %1 record, %2 page
inline constexpr int kTextTrendPaused = 48559;
inline constexpr int kTextTrendNormalisedAxis = 48560;

}  // namespace axtune
