#include "sim/line_model.h"

#include <algorithm>
#include <limits>

namespace axtune::sim {

namespace {
constexpr size_t kLongestReply = 34;  // a whole-record frame
}  // namespace

LineModel::LineModel(const SimConfig& config)
    : config_(config), faults_(config.faults), random_(config.faults.seed), baudRate_(config.baudRate) {
  toDriveSchedule_.setRate(baudRate_, config_.paced);
  toHostSchedule_.setRate(baudRate_, config_.paced);
}

void LineModel::setBaudRate(int rate) {
  if (rate <= 0) return;
  baudRate_ = rate;
  toDriveSchedule_.setRate(rate, config_.paced);
  toHostSchedule_.setRate(rate, config_.paced);
}

void LineModel::setFaults(const FaultConfig& faults) {
  faults_ = faults;
  random_.seed(faults.seed);
}

bool LineModel::chance(double probability) {
  if (probability <= 0) return false;
  return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < probability;
}

uint8_t LineModel::corrupt(uint8_t byte) {
  const auto flip = static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(random_));
  return static_cast<uint8_t>(byte ^ flip);
}

bool LineModel::rateTooHigh() const {
  return config_.maxLineBaud > 0 && baudRate_ > config_.maxLineBaud;
}

void LineModel::sendToDrive(const uint8_t* data, size_t n, uint64_t nowUs) {
  for (size_t i = 0; i < n; ++i) {
    if (toDrive_.size() >= kLineBufferBytes) {
      ++overrunBytes_;  // the drive's side is full: the byte is lost, the line takes no more time
      continue;
    }
    const uint64_t at = toDriveSchedule_.next(nowUs);
    if (rateTooHigh() || chance(faults_.dropByte)) continue;
    const uint8_t byte = chance(faults_.corruptByte) ? corrupt(data[i]) : data[i];
    toDrive_.push_back({at, byte});
  }
}

void LineModel::sendToHost(const std::vector<uint8_t>& bytes, uint64_t nowUs, bool isFrameReply,
                           const std::function<std::vector<uint8_t>(uint8_t)>& staleFrame) {
  if (bytes.empty()) return;
  std::vector<uint8_t> out;
  uint64_t start = nowUs + (isFrameReply ? config_.turnaroundUs : 0);
  uint64_t gapUs = 0;
  if (isFrameReply) {
    // A firmware still sending its earlier replies has no room for this one.
    if (toHost_.size() + bytes.size() > kLineBufferBytes + kLongestReply) return;
    if (chance(faults_.silence)) return;
    if (staleFrame && bytes.size() >= 2 && chance(faults_.staleFrame)) out = staleFrame(bytes[1]);
    if (chance(faults_.delayReply)) start += uint64_t{faults_.delayMs} * 1000;
    if (chance(faults_.splitReply)) gapUs = faults_.splitGapUs;
  }
  out.insert(out.end(), bytes.begin(), bytes.end());
  for (uint8_t byte : out) {
    // A split reply pauses before every byte; the schedule then starts a new burst.
    const uint64_t at =
        toHostSchedule_.next(gapUs > 0 ? std::max(start, toHostSchedule_.freeAtUs()) + gapUs : start);
    if (rateTooHigh() || chance(faults_.dropByte)) continue;
    toHost_.push_back({at, chance(faults_.corruptByte) ? corrupt(byte) : byte});
  }
}

bool LineModel::popForDrive(uint64_t untilUs, TimedByte& byte) {
  if (toDrive_.empty() || toDrive_.front().at > untilUs) return false;
  byte = toDrive_.front();
  toDrive_.pop_front();
  return true;
}

uint64_t LineModel::nextForDriveUs() const {
  return toDrive_.empty() ? std::numeric_limits<uint64_t>::max() : toDrive_.front().at;
}

uint64_t LineModel::firstForDriveUs(const std::function<bool(const TimedByte&)>& pick) const {
  for (const auto& b : toDrive_) {
    if (pick(b)) return b.at;
  }
  return std::numeric_limits<uint64_t>::max();
}

size_t LineModel::availableToHost(uint64_t nowUs) const {
  size_t count = 0;
  for (const auto& b : toHost_) {
    if (b.at > nowUs) break;
    ++count;
  }
  return count;
}

size_t LineModel::takeForHost(uint8_t* buffer, size_t n, uint64_t nowUs) {
  size_t taken = 0;
  while (taken < n && !toHost_.empty() && toHost_.front().at <= nowUs) {
    buffer[taken++] = toHost_.front().byte;
    toHost_.pop_front();
  }
  return taken;
}

uint64_t LineModel::nextForHostUs() const {
  return toHost_.empty() ? std::numeric_limits<uint64_t>::max() : toHost_.front().at;
}

uint64_t LineModel::earliestForHostUs(uint64_t startUs, size_t count) const {
  return toHostSchedule_.peekLast(startUs, count);
}

uint64_t LineModel::nthForHostUs(size_t n) const {
  if (n == 0) return 0;
  return n <= toHost_.size() ? toHost_[n - 1].at : std::numeric_limits<uint64_t>::max();
}

void LineModel::clear() {
  toDrive_.clear();
  toHost_.clear();
  toDriveSchedule_.restart();
  toHostSchedule_.restart();
}

}  // namespace axtune::sim
