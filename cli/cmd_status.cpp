// status [--watch] [--csv]: the drive's live state decoded with the rules of the status bar, or as
// the trend window's samples, one CSV row per poll.
#include <chrono>
#include <cstdio>
#include <ostream>
#include <thread>

#include "cli/adapter_watch.h"
#include "cli/cli_internal.h"
#include "cli/watch_pacer.h"
#include "core/drive_status.h"
#include "core/trend_sample.h"

namespace axtune::cli {
namespace {

const char* LimitText(const DriveStatusView& view) {
  if (view.upperLimitReached && view.lowerLimitReached) return "both reached";
  if (view.upperLimitReached) return "upper reached";
  if (view.lowerLimitReached) return "lower reached";
  return "none reached";
}

// "referenced" for a drive that completed its homing, "not referenced" otherwise.
const char* ReferencedText(const DriveStatusView& view) {
  return view.referencedState == 2 ? "referenced" : "not referenced";
}

// The limit-switch bitmap by an English name: the bitmaps are named in German ("Gut", "Achtung").
const char* EnglishBitmapName(const char* bitmap) {
  const std::string name = bitmap;
  if (name == kBitmapGood) return "good";
  if (name == kBitmapWarning) return "warning";
  if (name == kBitmapUpperLimit) return "upperLimit";
  if (name == kBitmapLowerLimit) return "lowerLimit";
  return bitmap;
}

// Two device errors are named in German in both languages of the window; a script reading English
// gets English words.
void MakeEnglish(DriveStatusView& view) {
  if (view.deviceState != 0) return;
  if (view.errorNumber == 6) view.deviceStateText = "Maximum following error reached";
  if (view.errorNumber == 8) view.deviceStateText = "AD converter error";
}

std::string ColorText(const Rgb& c) {
  char text[16];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
  return text;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// `view` in the chosen language for the texts, `english` the same poll decoded in English: scripts
// get stable English names beside the display texts.
Json StatusJson(const DriveStatusView& view, const DriveStatusView& english,
                const DriveStatusReading& reading, bool inEnglish) {
  Json state = Json::object();
  state.set("code", view.deviceState).set("name", english.deviceStateText).set("text", view.deviceStateText);
  state.set("known", view.deviceStateKnown);
  state.set("color", ColorText(view.deviceStateColor)).set("errorNumber", view.errorNumber);
  Json profile = Json::object();
  profile.set("state", view.profileState).set("number", view.profileNumber).set("name", english.profileText);
  profile.set("text", view.profileText);
  profile.set("color", view.profileColor ? Json(ColorText(*view.profileColor)) : Json());
  Json switches = Json::object();
  switches.set("upperLimitReached", view.upperLimitReached).set("lowerLimitReached", view.lowerLimitReached);
  switches.set("limitBitmap", inEnglish ? EnglishBitmapName(view.limitSwitchBitmap) : view.limitSwitchBitmap);
  switches.set("reference", view.referenceSwitch);
  switches.set("stop", view.stopSwitch);
  Json j = Json::object();
  j.set("deviceState", state).set("profile", profile);
  j.set("position", static_cast<long long>(view.position)).set("positionText", Trimmed(view.positionText));
  j.set("voltage", view.displayedVoltage).set("voltageText", view.voltageText);
  j.set("voltageRaw", static_cast<int>(static_cast<int16_t>(reading.record129[kWordVoltage])));
  j.set("temperature", view.displayedTemperature).set("temperatureText", view.temperatureText);
  j.set("temperatureRaw", static_cast<int>(static_cast<int16_t>(reading.record129[kWordTemperature])));
  j.set("temperatureColor", ColorText(view.temperatureColor));
  j.set("switches", switches).set("referenced", view.referencedState);
  j.set("statusword", view.statusword ? Json(static_cast<int>(*view.statusword)) : Json());
  return j;
}

void PrintStatus(std::ostream& out, const DriveStatusView& view) {
  char statusword[16] = "unknown";
  if (view.statusword) std::snprintf(statusword, sizeof statusword, "0x%04X", *view.statusword);
  out << "Device state:     " << view.deviceStateText << '\n'
      << "Voltage:          " << view.voltageText << '\n'
      << "Profile:          " << view.profileText << '\n'
      << "Position:         " << view.positionText << '\n'
      << "Temperature:      " << view.temperatureText << '\n'
      << "Limit switches:   " << LimitText(view) << '\n'
      << "Reference switch: " << (view.referenceSwitch ? "on" : "off") << '\n'
      << "Stop switch:      " << (view.stopSwitch ? "on" : "off") << '\n'
      << "Referenced:       " << ReferencedText(view) << '\n'
      << "Statusword:       " << statusword << '\n';
}

void PrintStatusLine(std::ostream& out, const DriveStatusView& view) {
  out << view.deviceStateText << " | " << view.voltageText << " | " << view.profileText << " | "
      << view.positionText << "| " << view.temperatureText << " | limits " << LimitText(view) << " | ref "
      << (view.referenceSwitch ? "on" : "off") << " | stop " << (view.stopSwitch ? "on" : "off") << '\n';
}

// Record 2 word 14: the encoder's counts per revolution, which converts encoder positions to steps.
int ReadEncoderCounts(Context& context) {
  RecordWords settings{};
  if (ReadRecord(2, settings)) return settings[14];
  Warn(context, "the encoder resolution (record 2) could not be read: the encoder columns stay empty");
  return 0;
}

}  // namespace

int CmdStatus(Context& context) {
  const Options& options = context.options;
  if (!options.watch && options.count != 0) return UsageError(context, "--count goes with --watch");
  if (!options.watch && options.intervalGiven) return UsageError(context, "--interval goes with --watch");
  if (options.csv && options.json) return UsageError(context, "--csv and --json do not go together");
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  // The CSV samples at the trend's 10 per second unless told otherwise.
  const int intervalMs = options.csv && !options.intervalGiven ? 100 : options.intervalMs;
  TrendRecorder trend(0, 1);  // only the last sample is kept: each row is written at once
  double firstReply = -1;
  if (options.csv) {
    trend.setEncoderCounts(ReadEncoderCounts(context));
    context.out << TrendCsvHeader() << '\n';
  }

  DriveStatusMemory memory;  // the hysteresis lives as long as this watch
  AdapterWatch adapter(session);
  int polls = 0;
  int good = 0;
  std::string lastFailure;
  // The pace counts on the simulated drive's clock where it keeps one, else on the wall clock.
  const auto nowMs = [&session] {
    if (session.simulatedClock()) return static_cast<int64_t>(session.clockSeconds() * 1000.0 + 0.5);
    return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count());
  };
  WatchPacer pacer(intervalMs);
  for (;;) {
    pacer.pollStarted(nowMs());
    DriveStatusReading reading;
    bool ok = false;
    double replyAt = 0;
    double encoderLag = 0;
    if (options.watch) adapter.comeBack(context);
    if (options.csv) {
      // The two records alone, each reply timed: the sample's time is record 129's, and the
      // encoder of record 131 is compared with where the motor was by then.
      ok = ReadRecord(kStatusRecordA, reading.record129);
      replyAt = session.clockSeconds();
      if (ok) {
        ok = ReadRecord(kStatusRecordB, reading.record131);
        encoderLag = session.clockSeconds() - replyAt;
      }
    } else {
      ok = ReadDriveStatus(reading);
    }
    if (!ok && options.watch && context.stopRequested()) break;  // cut short by Ctrl-C: not a failure
    ++polls;
    if (options.csv) {
      // Seconds since the first poll's reply.
      if (firstReply < 0) firstReply = replyAt;
      const double time = replyAt - firstReply;
      const int64_t utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
      size_t added = 0;
      const TrendSample& sample =
          ok ? trend.addPoll(&reading.record129, &reading.record131, time, utcMs, encoderLag, &added)
             : trend.addPoll(nullptr, nullptr, time, utcMs, 0, &added);
      std::vector<const TrendEvent*> marks;
      for (size_t i = trend.events().size() - added; i < trend.events().size(); ++i)
        marks.push_back(&trend.events()[i]);
      context.out << TrendCsvRow(sample, marks) << '\n';
      context.out.flush();
    }
    if (!ok) {
      if (!options.watch) return FailRecordRead(context, session, kStatusRecordA);
      lastFailure = LinkErrorText(LinkError.load());
      if (!adapter.explainFailure(context, lastFailure)) Warn(context, "no answer: " + lastFailure);
    } else if (options.csv) {
      ++good;
    } else {
      ++good;
      DriveStatusMemory before = memory;  // the English decoding must not step the hysteresis twice
      DriveStatusView view =
          DecodeDriveStatus(reading.record129, reading.record131, reading.statusword, memory);
      const bool inEnglish = CurrentLanguage() == Language::English;
      if (inEnglish) MakeEnglish(view);
      if (options.json) {
        DriveStatusView english = DecodeDriveStatus(reading.record129, reading.record131, reading.statusword,
                                                    before, Language::English);
        MakeEnglish(english);
        Json j = StatusJson(view, english, reading, inEnglish);
        if (options.watch) {
          j.writeLine(context.out);
        } else {
          j.write(context.out);
        }
      } else if (options.watch) {
        PrintStatusLine(context.out, view);
      } else {
        PrintStatus(context.out, view);
      }
      context.out.flush();
    }
    if (!options.watch || (options.count != 0 && polls >= options.count) || context.stopRequested()) break;
    // The next poll starts an interval after this one started. The simulated drive keeps its own
    // clock: move it on by the wait as well.
    const int waitMs = static_cast<int>(pacer.waitMs(nowMs()));
    if (session.simulatedClock() && waitMs > 0) SleepMs(waitMs);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!context.stopRequested() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          std::chrono::milliseconds(50), until - std::chrono::steady_clock::now()));
    }
    if (context.stopRequested()) break;
  }
  // A watch ends with 0 only when every poll was answered: 1 when any failed, 130 after Ctrl-C
  // (which still says how many failed).
  const int failed = polls - good;
  std::string failures;
  if (failed > 0) {
    failures = (good == 0 ? "no status from the drive on " : "no answer from the drive on ") +
               session.portLabel() + " in " + std::to_string(failed) + " of " + std::to_string(polls) +
               (polls == 1 ? " poll" : " polls") + " (last: " + lastFailure + ")";
  }
  if (options.watch && context.stopRequested()) {
    return Cancelled(context, "the watch ended after " + std::to_string(polls) +
                                  (polls == 1 ? " poll" : " polls") +
                                  (failures.empty() ? "" : "; " + failures));
  }
  if (failed > 0) return Fail(context, kExitDrive, failures);
  return kExitOk;
}

}  // namespace axtune::cli
