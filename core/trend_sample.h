// The drive's live status as a time series: each poll of records 129 and 131 becomes one sample of
// physical values (positions in steps, velocity, following error, current, voltage, temperature,
// switches), a poll that failed becomes a gap, and the changes between samples become marks
// (profile started or ended, homing started or ended, fault, no answer). The trend window and
// `axtune-cli status --watch --csv` share it, so a logged run and a plotted one carry the same columns.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "link/drive_link.h"
#include "res/strings.h"

namespace axtune {

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct TrendSample {
  double time = 0;     // seconds since the trend started, taken when the reply arrived
  int64_t utcMs = 0;   // the same moment on the wall clock (milliseconds since 1970, UTC)
  bool valid = false;  // false: the poll failed and the sample is a gap

  int32_t motorPosition = 0;          // steps (record 129 words 4, 5)
  int32_t encoderCounts = 0;          // encoder position as read (record 131 words 4, 5)
  double encoderPosition = kNoValue;  // steps; no value without encoder counts or step resolution
  double velocity = kNoValue;         // steps/s from the motor position; no value right after a gap
  double followingError = kNoValue;   // steps: motor minus encoder position (lost steps show here)
  double current = 0;                 // motor current, A rms
  double voltage = 0;                 // DC-link voltage, V
  double temperature = 0;             // power stage, degrees Celsius

  bool upperLimit = false;  // the upper limit switch is reached
  bool lowerLimit = false;  // the lower limit switch is reached
  bool referenceSwitch = false;
  bool stopSwitch = false;
  bool referenced = false;  // record 129 word 10 is 2

  int referencedState = 0;     // record 129 word 10: 0 no, 1 homing, 2 referenced, others failed
  int deviceState = 0;         // record 129 word 14
  int errorNumber = 0;         // record 129 word 13, signed
  int profileState = 0;        // record 131 word 0, signed
  int profileNumber = 0;       // record 131 word 1, signed
  int stepsPerRevolution = 0;  // record 131 word 3
};

// What a mark on the time axis stands for.
enum class TrendEventKind {
  ProfileStarted,  // number: the profile
  ProfileEnded,    // number: the profile; state: the profile state it ended in (2 finished, ...)
  HomingStarted,
  HomingEnded,       // state: the referenced state it ended in (2 referenced, others failed)
  Fault,             // number: the error number
  NoAnswer,          // the drive stopped answering: a gap starts here
  ParameterWritten,  // text: which parameter
};

struct TrendEvent {
  double time = 0;
  TrendEventKind kind = TrendEventKind::NoAnswer;
  int number = 0;
  int state = 0;
  std::string text;  // for ParameterWritten
};

// The mark's text in `language`, e.g. "Profile 3 started", "Fault 4: Overtemperature".
std::string TrendEventText(const TrendEvent& event, Language language);

// The columns of a sample, in the order of the CSV and of the plot's legend.
enum TrendColumn : int {
  kColMotorPosition,
  kColEncoderPosition,
  kColVelocity,
  kColFollowingError,
  kColCurrent,
  kColVoltage,
  kColTemperature,
  kColUpperLimit,
  kColLowerLimit,
  kColReferenceSwitch,
  kColStopSwitch,
  kColReferenced,
  kTrendColumnCount,
};

struct TrendColumnInfo {
  int nameId;        // string id of the trace's name
  const char* key;   // English CSV header name
  const char* unit;  // "" for the digital traces
  bool digital;
};
const TrendColumnInfo& TrendColumnOf(int column);
// The value a trace plots for a sample (digital traces 0 or 1); no value for a gap.
double TrendValue(const TrendSample& sample, int column);

// CSV, one row per sample: time, UTC time, every column, the states and the marks of that sample.
// Names and units in the header are English in both languages, so scripts can rely on them.
std::string TrendCsvHeader();
std::string TrendCsvRow(const TrendSample& sample, const std::vector<const TrendEvent*>& events);

// Samples and marks of the last `keepSeconds`, bounded: older ones are dropped as new ones arrive,
// and never more than `maxSamples` samples are kept.
class TrendRecorder {
 public:
  static constexpr double kDefaultKeepSeconds = 30 * 60;
  // 30 minutes at the fastest poll (25 ms).
  static constexpr size_t kDefaultMaxSamples = 72000;

  explicit TrendRecorder(double keepSeconds = kDefaultKeepSeconds, size_t maxSamples = kDefaultMaxSamples);

  // The drive's encoder counts per revolution (record 2 word 14, four times the encoder lines);
  // 0 when it has no encoder or it is not known. Encoder positions are converted with it.
  void setEncoderCounts(int countsPerRevolution) { encoderCounts_ = countsPerRevolution; }
  int encoderCounts() const { return encoderCounts_; }

  // Adds one poll: the two records when it succeeded, none for a gap. Returns the sample; the
  // marks it caused are appended to events() (and counted in `newEvents`).
  // `time` is when record 129's reply arrived, `encoderLag` the seconds until record 131's did.
  // The lag between the two reads is the same bytes on the same line every time; what one poll
  // measures of it also holds how late the program looked (a busy event loop, a USB adapter's
  // latency timer). So the following error uses the median of the last polls' lags: one late look
  // would otherwise show as tens of steps lost at speed.
  const TrendSample& addPoll(const RecordWords* r129, const RecordWords* r131, double time, int64_t utcMs,
                             double encoderLag = 0, size_t* newEvents = nullptr);
  // A mark from outside the records (a parameter the user wrote).
  void addEvent(TrendEvent event);
  // A break in the record without a mark (the trend was closed for a while): no line across it.
  void addBreak(double time, int64_t utcMs);
  void clear();

  const std::deque<TrendSample>& samples() const { return samples_; }
  const std::deque<TrendEvent>& events() const { return events_; }
  // Bytes held by the samples and marks now (for the memory figure).
  size_t memoryBytes() const;

 private:
  void trim(double now);

  double keepSeconds_;
  size_t maxSamples_;
  int encoderCounts_ = 0;
  std::deque<TrendSample> samples_;
  std::deque<TrendEvent> events_;
  std::optional<TrendSample> lastValid_;
  bool lastWasGap_ = false;
  std::deque<double> recentLags_;  // the last polls' encoder lags, for their median
};

// The CSV of the samples from `from` to `to` seconds (both included), header first; each mark goes
// on the row of the first sample at or after it.
std::string TrendCsvText(const TrendRecorder& recorder, double from, double to);

// Decodes one successful poll into a sample. `previous` is the sample before it (a gap or none
// gives no velocity). Record 131 is read after record 129, `encoderLag` seconds later: a moving
// motor went on meanwhile, so the following error compares the encoder with the motor position
// carried forward by that time at the motor's velocity (otherwise a motor at 2000 steps/s would
// show some 20 steps of following error that no step was lost for).
TrendSample DecodeTrendSample(const RecordWords& r129, const RecordWords& r131, int encoderCounts,
                              double time, int64_t utcMs, const TrendSample* previous, double encoderLag = 0);
// The marks between the last answered sample and this one.
void DetectTrendEvents(const TrendSample& before, const TrendSample& now, std::vector<TrendEvent>& out);

}  // namespace axtune
