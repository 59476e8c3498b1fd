#include "core/trend_sample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <ctime>

#include "core/drive_status.h"
#include "res/trend_text_ids.h"

namespace axtune {
namespace {

// Record 129 word 10 while the homing run is on its way, and once it found the reference.
constexpr int kReferencedHoming = 1;
constexpr int kReferencedDone = 2;
constexpr int kProfileRunning = 1;

// Scales of the measured values, the same as the status panel's.
constexpr double kTemperatureScale = 1.0 / 128.0;
constexpr double kFullStepsPerRevolution = 200.0;
constexpr double kVoltageScale = 3.0 * 102.7 / 2.7 / 32767.0;  // ADC full scale at the divider's tap
// Peak current full scale 16383 = 20.4545 A; shown as an rms value.
constexpr double kCurrentScale = 20.454545454545453 / 16383.0 / 1.4142;

int32_t Long(const RecordWords& r, int low) {
  return static_cast<int32_t>(static_cast<uint32_t>(r[low]) | (static_cast<uint32_t>(r[low + 1]) << 16));
}

int Signed(uint16_t word) {
  return static_cast<int16_t>(word);
}

const TrendColumnInfo kColumns[kTrendColumnCount] = {
    {kTextTraceMotorPosition, "motor position", "steps", false},
    {kTextTraceEncoderPosition, "encoder position", "steps", false},
    {kTextTraceVelocity, "velocity", "steps/s", false},
    {kTextTraceFollowingError, "following error", "full steps", false},
    {kTextTraceCurrent, "motor current", "A", false},
    {kTextTraceVoltage, "DC-link voltage", "V", false},
    {kTextTraceTemperature, "power-stage temperature",
     "\xC2\xB0"
     "C",
     false},
    {kTextTraceUpperLimit, "upper limit switch", "", true},
    {kTextTraceLowerLimit, "lower limit switch", "", true},
    {kTextTraceReferenceSwitch, "reference switch", "", true},
    {kTextTraceStopSwitch, "stop switch", "", true},
    {kTextTraceReferenced, "referenced", "", true},
};

std::string Printf(const char* format, const std::string& text, int number) {
  // Every format of the mark texts has one %d, some a %s after it.
  char buffer[256];
  std::string f = format;
  const size_t s = f.find("%s");
  const size_t d = f.find("%d");
  int n = 0;
  if (s == std::string::npos) {
    n = std::snprintf(buffer, sizeof buffer, format, number);
  } else if (d != std::string::npos && d < s) {
    n = std::snprintf(buffer, sizeof buffer, format, number, text.c_str());
  } else {
    n = std::snprintf(buffer, sizeof buffer, format, text.c_str());
  }
  if (n < 0) return {};
  return std::string(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

void AppendNumber(std::string& out, double value, const char* format) {
  out += ',';
  if (std::isnan(value)) return;
  char buffer[32];
  const int n = std::snprintf(buffer, sizeof buffer, format, value);
  if (n > 0) out.append(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

std::string UtcText(int64_t utcMs) {
  const std::time_t seconds = static_cast<std::time_t>(utcMs / 1000);
  std::tm parts{};
#ifdef _WIN32
  gmtime_s(&parts, &seconds);
#else
  gmtime_r(&seconds, &parts);
#endif
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(utcMs % 1000));
  return buffer;
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

const TrendColumnInfo& TrendColumnOf(int column) {
  return kColumns[column >= 0 && column < kTrendColumnCount ? column : 0];
}

double TrendValue(const TrendSample& s, int column) {
  if (!s.valid) return kNoValue;
  switch (column) {
    case kColMotorPosition:
      return s.motorPosition;
    case kColEncoderPosition:
      return s.encoderPosition;
    case kColVelocity:
      return s.velocity;
    case kColFollowingError:
      return s.followingError;
    case kColCurrent:
      return s.current;
    case kColVoltage:
      return s.voltage;
    case kColTemperature:
      return s.temperature;
    case kColUpperLimit:
      return s.upperLimit ? 1 : 0;
    case kColLowerLimit:
      return s.lowerLimit ? 1 : 0;
    case kColReferenceSwitch:
      return s.referenceSwitch ? 1 : 0;
    case kColStopSwitch:
      return s.stopSwitch ? 1 : 0;
    case kColReferenced:
      return s.referenced ? 1 : 0;
    default:
      return kNoValue;
  }
}

TrendSample DecodeTrendSample(const RecordWords& r129, const RecordWords& r131, int encoderCounts,
                              double time, int64_t utcMs, const TrendSample* previous, double encoderLag) {
  TrendSample s;
  s.time = time;
  s.utcMs = utcMs;
  s.valid = true;
  s.motorPosition = Long(r129, kWordPositionLow);
  s.encoderCounts = Long(r131, kWordEncoderLow);
  s.stepsPerRevolution = r131[kWordStepResolution];
  s.referencedState = Signed(r129[kWordReferenced]);
  // A homing run that ends sets the position anew: the jump is no motion.
  if (previous != nullptr && previous->valid && time > previous->time &&
      previous->referencedState == s.referencedState) {
    // The position is a 32-bit counter: a move across its wrap is a short move, not a long one back.
    const auto moved = static_cast<int32_t>(static_cast<uint32_t>(s.motorPosition) -
                                            static_cast<uint32_t>(previous->motorPosition));
    s.velocity = moved / (time - previous->time);
  }
  if (encoderCounts > 0 && s.stepsPerRevolution > 0) {
    s.encoderPosition = static_cast<double>(s.encoderCounts) * s.stepsPerRevolution / encoderCounts;
    // The velocity between two polls is the one half-way between them; on a ramp the motor is
    // faster (or slower) by now, so the change since the poll before carries it to this poll's time.
    double velocityNow = std::isnan(s.velocity) ? 0 : s.velocity;
    if (!std::isnan(s.velocity) && !std::isnan(previous->velocity)) {
      velocityNow += (s.velocity - previous->velocity) * 0.5;
    }
    // Whole full steps lost: a hybrid stepper has 200 full steps a revolution, and an encoder that
    // lags by less than one of them (the microsteps of a step being built up, the encoder's own
    // resolution) has lost nothing, so a healthy drive reads 0.
    const double microsteps = s.motorPosition + velocityNow * encoderLag - s.encoderPosition;
    const double perFullStep = std::max(s.stepsPerRevolution / kFullStepsPerRevolution, 1.0);
    s.followingError = std::trunc(microsteps / perFullStep) + 0.0;  // + 0.0: no "-0"
  }
  s.current = r131[kWordMotorCurrent] * kCurrentScale;
  s.voltage = r129[kWordVoltage] * kVoltageScale;
  s.temperature = Signed(r129[kWordTemperature]) * kTemperatureScale;
  const uint16_t switches = r129[kWordSwitches];
  s.upperLimit = (switches & kBitUpperLimitNotReached) == 0;
  s.lowerLimit = (switches & kBitLowerLimitNotReached) == 0;
  s.referenceSwitch = (switches & kBitReferenceSwitch) != 0;
  s.stopSwitch = (switches & kBitStopSwitch) != 0;
  s.referenced = s.referencedState == kReferencedDone;
  s.errorNumber = Signed(r129[kWordErrorNumber]);
  s.deviceState = r129[kWordDeviceState];
  s.profileState = Signed(r131[kWordProfileState]);
  s.profileNumber = Signed(r131[kWordProfileNumber]);
  return s;
}

void DetectTrendEvents(const TrendSample& before, const TrendSample& now, std::vector<TrendEvent>& out) {
  auto add = [&](TrendEventKind kind, int number, int state) {
    out.push_back({now.time, kind, number, state, {}});
  };
  const bool wasRunning = before.profileState == kProfileRunning;
  const bool running = now.profileState == kProfileRunning;
  // A chained profile runs on without leaving the running state: its number changes.
  if (wasRunning && (!running || now.profileNumber != before.profileNumber))
    add(TrendEventKind::ProfileEnded, before.profileNumber, running ? 2 : now.profileState);
  if (running && (!wasRunning || now.profileNumber != before.profileNumber))
    add(TrendEventKind::ProfileStarted, now.profileNumber, 0);
  if (before.referencedState != kReferencedHoming && now.referencedState == kReferencedHoming)
    add(TrendEventKind::HomingStarted, 0, 0);
  if (before.referencedState == kReferencedHoming && now.referencedState != kReferencedHoming)
    add(TrendEventKind::HomingEnded, 0, now.referencedState);
  if (now.deviceState == 0 && (before.deviceState != 0 || before.errorNumber != now.errorNumber))
    add(TrendEventKind::Fault, now.errorNumber, 0);
}

std::string TrendEventText(const TrendEvent& e, Language language) {
  switch (e.kind) {
    case TrendEventKind::ProfileStarted:
      return Printf(Text(kTextMarkProfileStarted, language), {}, e.number);
    case TrendEventKind::ProfileEnded:
      return Printf(Text(kTextMarkProfileEnded, language), ProfileText(e.state, e.number, language),
                    e.number);
    case TrendEventKind::HomingStarted:
      return Text(kTextMarkHomingStarted, language);
    case TrendEventKind::HomingEnded:
      return Text(e.state == kReferencedDone ? kTextMarkHomingFinished : kTextMarkHomingFailed, language);
    case TrendEventKind::Fault: {
      // The error texts are indexed by the number taken unsigned, as the status bar does.
      const auto index = static_cast<uint16_t>(e.number);
      const std::string cause = index < 10 ? Text(kStrDeviceErrorBase + index, language) : "";
      return Printf(Text(cause.empty() ? kTextMarkFaultNumber : kTextMarkFault, language), cause, e.number);
    }
    case TrendEventKind::NoAnswer:
      return Text(kTextMarkNoAnswer, language);
    case TrendEventKind::ParameterWritten:
      return Printf(Text(kTextMarkParameter, language), e.text, 0);
  }
  return {};
}

std::string TrendCsvHeader() {
  std::string header = "time [s],UTC";
  for (const TrendColumnInfo& c : kColumns) {
    header += ',';
    header += c.key;
    if (*c.unit != '\0') header += std::string(" [") + c.unit + "]";
  }
  header += ",device state,error number,profile state,profile number,referenced state,marks";
  return header;
}

std::string TrendCsvRow(const TrendSample& s, const std::vector<const TrendEvent*>& events) {
  std::string row;
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", s.time);
  row += time;
  row += ',' + UtcText(s.utcMs);
  if (s.valid) {
    AppendNumber(row, s.motorPosition, "%.0f");
    AppendNumber(row, s.encoderPosition, "%.1f");
    AppendNumber(row, s.velocity, "%.1f");
    AppendNumber(row, s.followingError, "%.1f");
    AppendNumber(row, s.current, "%.3f");
    AppendNumber(row, s.voltage, "%.2f");
    AppendNumber(row, s.temperature, "%.2f");
    for (int c = kColUpperLimit; c <= kColReferenced; ++c) AppendNumber(row, TrendValue(s, c), "%.0f");
    for (int v : {s.deviceState, s.errorNumber, s.profileState, s.profileNumber, s.referencedState})
      row += ',' + std::to_string(v);
  } else {
    // A gap: the row is there (the time of the failed poll), its values are empty.
    row.append(kTrendColumnCount + 5, ',');
  }
  std::string marks;
  for (const TrendEvent* e : events) {
    if (!marks.empty()) marks += "; ";
    marks += TrendEventText(*e, Language::English);
  }
  row += ',' + CsvField(marks);
  return row;
}

TrendRecorder::TrendRecorder(double keepSeconds, size_t maxSamples)
    : keepSeconds_(keepSeconds), maxSamples_(maxSamples) {}

const TrendSample& TrendRecorder::addPoll(const RecordWords* r129, const RecordWords* r131, double time,
                                          int64_t utcMs, double encoderLag, size_t* newEvents) {
  std::vector<TrendEvent> found;
  if (r129 != nullptr && r131 != nullptr) {
    const TrendSample* previous = samples_.empty() ? nullptr : &samples_.back();
    constexpr size_t kLagsForMedian = 15;
    recentLags_.push_back(encoderLag);
    if (recentLags_.size() > kLagsForMedian) recentLags_.pop_front();
    std::vector<double> lags(recentLags_.begin(), recentLags_.end());
    std::nth_element(lags.begin(), lags.begin() + static_cast<std::ptrdiff_t>(lags.size() / 2), lags.end());
    const double typicalLag = lags[lags.size() / 2];
    TrendSample sample = DecodeTrendSample(*r129, *r131, encoderCounts_, time, utcMs, previous, typicalLag);
    // Changes are looked for against the last answered sample, across a gap as well: a fault that
    // happened while the cable was out still gets its mark.
    if (lastValid_) DetectTrendEvents(*lastValid_, sample, found);
    lastValid_ = sample;
    lastWasGap_ = false;
    samples_.push_back(sample);
  } else {
    TrendSample gap;
    gap.time = time;
    gap.utcMs = utcMs;
    if (!lastWasGap_) found.push_back({time, TrendEventKind::NoAnswer, 0, 0, {}});
    lastWasGap_ = true;
    samples_.push_back(gap);
  }
  for (TrendEvent& e : found) events_.push_back(std::move(e));
  if (newEvents != nullptr) *newEvents = found.size();
  trim(time);
  return samples_.back();
}

void TrendRecorder::addEvent(TrendEvent event) {
  events_.push_back(std::move(event));
}

void TrendRecorder::addBreak(double time, int64_t utcMs) {
  if (samples_.empty() || !samples_.back().valid) return;
  TrendSample gap;
  gap.time = time;
  gap.utcMs = utcMs;
  samples_.push_back(gap);
  trim(time);
}

void TrendRecorder::clear() {
  samples_.clear();
  events_.clear();
  lastValid_.reset();
  lastWasGap_ = false;
  recentLags_.clear();
}

void TrendRecorder::trim(double now) {
  while (!samples_.empty() && (samples_.size() > maxSamples_ || samples_.front().time < now - keepSeconds_))
    samples_.pop_front();
  const double oldest = samples_.empty() ? now : samples_.front().time;
  while (!events_.empty() && events_.front().time < oldest) events_.pop_front();
}

size_t TrendRecorder::memoryBytes() const {
  size_t bytes = samples_.size() * sizeof(TrendSample) + events_.size() * sizeof(TrendEvent);
  for (const TrendEvent& e : events_) bytes += e.text.capacity();
  return bytes;
}

}  // namespace axtune

namespace axtune {

std::string TrendCsvText(const TrendRecorder& recorder, double from, double to) {
  std::string text = TrendCsvHeader() + "\r\n";
  const auto& events = recorder.events();
  auto nextEvent = events.begin();
  std::vector<const TrendEvent*> marks;
  for (const TrendSample& s : recorder.samples()) {
    marks.clear();
    while (nextEvent != events.end() && nextEvent->time <= s.time) {
      if (nextEvent->time >= from) marks.push_back(&*nextEvent);
      ++nextEvent;
    }
    if (s.time < from || s.time > to) continue;
    text += TrendCsvRow(s, marks);
    text += "\r\n";
  }
  return text;
}

}  // namespace axtune
