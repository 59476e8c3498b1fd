#include "sim/simulated_drive.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

#include "sim/boot/boot_processor.h"
#include "sim/drive_firmware.h"
#include "sim/line_model.h"

namespace axtune::sim {

namespace {

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

FlashGeometry geometryNamed(const std::string& name) {
  return name == "F28335" ? FlashGeometry::F28335() : FlashGeometry::F2808();
}

}  // namespace

struct SimulatedDrive::Impl {
  explicit Impl(const SimConfig& config)
      : config(config),
        line(config),
        firmware(config),
        processor(geometryNamed(config.flashGeometry)),
        start(std::chrono::steady_clock::now()) {
    processor.setAutobaudLimit(config.maxAutobaud);
    if (config.factoryFirmware) processor.setFactoryFirmware();
    processor.reset();
    firmwareRunning = !processor.active();
    // The drive has been switched on well before anyone talks to it: it has finished starting.
    firmware.advance(config.bootTimeUs);
    firmware.onEnterBootLoader = [this] { enterBootLoaderPending = true; };
  }

  uint64_t now() const {
    if (config.timeMode == TimeMode::Virtual) return virtualNow;
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
            .count());
  }

  bool connected() const { return powered && plugged; }

  void advanceDevices(uint64_t to) {
    if (to <= deviceTime) return;
    const uint64_t delta = to - deviceTime;
    deviceTime = to;
    if (!powered) return;
    if (firmwareRunning)
      firmware.advance(delta);
    else
      processor.advance(delta);
  }

  // Runs the drive up to time `to`: every byte that reaches it by then, in order, and the time between.
  void runUntil(uint64_t to) {
    TimedByte byte;
    std::vector<uint8_t> out;
    while (line.popForDrive(to, byte)) {
      advanceDevices(byte.at);
      if (!connected()) continue;
      out.clear();
      if (firmwareRunning) {
        // The firmware's UART runs at its own rate; at any other rate it sees only framing errors.
        if (line.baudRate() != config.baudRate) continue;
        firmware.onByte(byte.byte, out);
        line.sendToHost(out, deviceTime, true, [this](uint8_t except) { return staleFrame(except); });
        if (enterBootLoaderPending) {
          enterBootLoaderPending = false;
          firmwareRunning = false;
          processor.enterBootRom();
        }
      } else {
        processor.onByte(byte.byte, out);
        line.sendToHost(out, deviceTime, false, nullptr);
        if (!processor.active()) {  // the processor started the firmware in its flash
          firmwareRunning = true;
          firmware.restart();
        }
      }
    }
    advanceDevices(to);
  }

  std::vector<uint8_t> staleFrame(uint8_t except) {
    // A whole read reply for a neighbouring record, as a late answer to an earlier request would be.
    const int candidates[] = {except + 1, except - 1, 129, 131, 2};
    for (int r : candidates) {
      Words15 words;
      if (r == except || r < 0 || r > 255 || !firmware.readRecord(r, words)) continue;
      std::vector<uint8_t> frame;
      AppendRecordReply(static_cast<uint8_t>(r), words, frame);
      return frame;
    }
    return {};
  }

  // Whether the bytes on their way reach the drive firmware (not the boot ROM or flash kernel, not a
  // firmware still starting or listening at another rate, not a pulled cable).
  bool firmwareHearsHost() const {
    return firmwareRunning && connected() && !firmware.booting() && line.baudRate() == config.baudRate;
  }

  // The earliest time at which the drive can put a reply on the line: when the next byte reaches
  // the processor's boot ROM or flash kernel (they echo or answer any byte), but only when a byte
  // completes a request for the firmware, which says nothing before. `moreBehind` tells whether
  // further bytes follow that one.
  uint64_t nextReplyChanceUs(bool* moreBehind = nullptr) const {
    const uint64_t next = line.nextForDriveUs();
    if (moreBehind) *moreBehind = line.queuedForDrive() > 1;
    if (next == kNever || !firmwareHearsHost()) return next;
    // Each queued byte reaches the firmware at its arrival on the firmware's clock, which stands at
    // deviceTime now; every queued byte arrives after that.
    FrameParser parser = firmware.requestParser();
    const uint64_t firmwareNow = firmware.nowUs();
    size_t fed = 0;
    const uint64_t at = line.firstForDriveUs([&](const TimedByte& byte) {
      ++fed;
      return parser.feed(byte.byte, firmwareNow + (byte.at - deviceTime)).has_value();
    });
    if (moreBehind) *moreBehind = fed < line.queuedForDrive();
    return at;
  }

  // When a host read waiting for `n` bytes has to look at the line again: when the n-th byte is
  // due, or the earliest it can be. Looking sooner would find nothing new, and the wake-ups are
  // what an idle GUI polling the drive pays for: waking for every byte of a 34-byte request cost 36
  // per exchange. An answer is made from the drive's state at its request's last byte whenever the
  // line is looked at (every access runs the drive up to now first), so waking later changes
  // nothing about it.
  uint64_t hostWakeUs(size_t n) const {
    const uint64_t queued = line.nthForHostUs(n);
    if (queued != kNever) return queued;
    bool moreBehind = false;
    const uint64_t reply = nextReplyChanceUs(&moreBehind);
    // Bytes behind the request could reach the boot ROM, should the request hand the line over.
    if (reply == kNever || !firmwareHearsHost() || moreBehind) return reply;
    // The firmware starts its answer after its turnaround, behind what the line still carries to
    // the host; faults only delay, stretch or drop replies.
    return line.earliestForHostUs(reply + config.turnaroundUs, n - line.queuedForHost());
  }

  // Lets simulated time reach `wake` (virtual) or waits for it (real), with the lock held on return.
  void waitUntil(std::unique_lock<std::mutex>& lock, uint64_t wake) {
    if (config.timeMode == TimeMode::Virtual) {
      if (wake > virtualNow) virtualNow = wake;
      return;
    }
    changed.wait_until(lock, start + std::chrono::microseconds(wake));
  }

  void resetProcessor() {
    line.clearToDrive();
    processor.reset();
    firmwareRunning = !processor.active();
    if (firmwareRunning) firmware.restart();
  }

  SimConfig config;
  std::mutex mutex;
  std::condition_variable changed;
  LineModel line;
  DriveFirmware firmware;
  BootProcessor processor;
  std::chrono::steady_clock::time_point start;
  uint64_t virtualNow = 0;
  uint64_t hostWaits = 0;
  uint64_t deviceTime = 0;
  bool firmwareRunning = false;
  bool enterBootLoaderPending = false;
  bool powered = true;
  bool plugged = true;
  bool hostOpen = false;
  bool dtr = false;
  int hostBaud = 38400;
};

SimulatedDrive::SimulatedDrive(SimConfig config)
    : config_(std::move(config)), impl_(std::make_unique<Impl>(config_)) {}

SimulatedDrive::~SimulatedDrive() = default;

bool SimulatedDrive::hostOpen(int baudRate, bool dtr) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->hostOpen) return false;
  impl_->hostOpen = true;
  impl_->dtr = dtr;
  impl_->hostBaud = baudRate;
  impl_->line.setBaudRate(baudRate);
  impl_->processor.onHostBaudRate(baudRate);
  impl_->runUntil(impl_->now());
  impl_->line.clearToHost();  // a freshly opened port starts with empty buffers
  return true;
}

void SimulatedDrive::hostClose() {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->hostOpen = false;
  impl_->dtr = false;
  impl_->line.clearToHost();
  impl_->changed.notify_all();
}

bool SimulatedDrive::hostIsOpen() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->hostOpen;
}

void SimulatedDrive::hostWrite(const uint8_t* data, size_t n) {
  std::lock_guard lock(impl_->mutex);
  const uint64_t now = impl_->now();
  impl_->runUntil(now);
  if (impl_->connected()) impl_->line.sendToDrive(data, n, now);
  impl_->changed.notify_all();
}

size_t SimulatedDrive::hostRead(uint8_t* buffer, size_t n, size_t max, uint32_t timeoutMs) {
  std::unique_lock lock(impl_->mutex);
  const uint64_t deadline = impl_->now() + uint64_t{timeoutMs} * 1000;
  for (;;) {
    const uint64_t now = impl_->now();
    impl_->runUntil(now);
    if (impl_->line.availableToHost(now) >= n || now >= deadline)
      return impl_->line.takeForHost(buffer, std::max(n, max), now);
    const uint64_t wake = std::min(impl_->hostWakeUs(n), deadline);
    ++impl_->hostWaits;
    impl_->waitUntil(lock, wake);
  }
}

uint64_t SimulatedDrive::hostReadWaits() {
  std::lock_guard lock(impl_->mutex);
  return impl_->hostWaits;
}

size_t SimulatedDrive::hostBytesWaiting() {
  std::lock_guard lock(impl_->mutex);
  const uint64_t now = impl_->now();
  impl_->runUntil(now);
  return impl_->line.availableToHost(now);
}

void SimulatedDrive::hostPurge() {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->line.clearToHost();
}

void SimulatedDrive::hostSetDtr(bool on) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  const bool falling = impl_->dtr && !on;
  impl_->dtr = on;
  // The cable carries DTR: with the cable out the drive sees no edge (and is not reset).
  if (falling && impl_->connected()) impl_->resetProcessor();
}

void SimulatedDrive::hostSetBaudRate(int rate) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->hostBaud = rate;
  impl_->line.setBaudRate(rate);
  impl_->processor.onHostBaudRate(rate);
}

int SimulatedDrive::hostBaudRate() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->hostBaud;
}

ModemStatus SimulatedDrive::modemStatus() {
  std::lock_guard lock(impl_->mutex);
  ModemStatus status;
  status.carrier = status.dsr = status.cts = impl_->connected();
  return status;
}

uint64_t SimulatedDrive::nowUs() {
  std::lock_guard lock(impl_->mutex);
  return impl_->now();
}

void SimulatedDrive::advance(uint64_t microseconds) {
  if (config_.timeMode == TimeMode::Real) {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    return;
  }
  std::lock_guard lock(impl_->mutex);
  impl_->virtualNow += microseconds;
  impl_->runUntil(impl_->virtualNow);
}

SleepFunction SimulatedDrive::sleeper() {
  return [this](int milliseconds) {
    if (milliseconds > 0) advance(uint64_t(milliseconds) * 1000);
  };
}

void SimulatedDrive::powerOff() {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->powered = false;
  impl_->line.clear();
  impl_->changed.notify_all();
}

void SimulatedDrive::powerOn() {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  if (impl_->powered) return;
  impl_->powered = true;
  impl_->resetProcessor();
  if (!impl_->firmwareRunning) impl_->firmware.restart();  // its RAM is gone either way
  impl_->changed.notify_all();
}

void SimulatedDrive::powerCycle() {
  powerOff();
  powerOn();
}

void SimulatedDrive::unplug() {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->plugged = false;
  impl_->line.clear();
  impl_->changed.notify_all();
}

void SimulatedDrive::replug() {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->plugged = true;
  impl_->changed.notify_all();
}

bool SimulatedDrive::powered() {
  std::lock_guard lock(impl_->mutex);
  return impl_->powered;
}

bool SimulatedDrive::plugged() {
  std::lock_guard lock(impl_->mutex);
  return impl_->plugged;
}

void SimulatedDrive::setFaults(const FaultConfig& faults) {
  std::lock_guard lock(impl_->mutex);
  impl_->line.setFaults(faults);
}

void SimulatedDrive::triggerFault(DriveFault fault) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->firmware.raiseFault(static_cast<uint16_t>(fault));
}

void SimulatedDrive::setSupplyVolts(double volts) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->firmware.setSupplyVolts(volts);
}

void SimulatedDrive::setAmbientCelsius(double celsius) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->firmware.setAmbientCelsius(celsius);
}

void SimulatedDrive::setStopSwitch(bool active) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->firmware.setStopSwitch(active);
}

void SimulatedDrive::forceSwitch(uint16_t function, std::optional<bool> active) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  impl_->firmware.forceSwitch(function, active);
}

DriveSnapshot SimulatedDrive::snapshot() {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  const DriveFirmware& f = impl_->firmware;
  DriveSnapshot s;
  s.position = f.motion().position();
  s.velocity = f.motion().velocity();
  s.statusword = f.statusword();
  s.deviceState = f.stateMachine().deviceStateCode();
  s.errorNumber = f.errorNumber();
  s.motionState = f.motion().motionState();
  s.referenced = f.motion().referenced();
  s.firmwareRunning = impl_->firmwareRunning;
  s.powered = impl_->powered;
  s.plugged = impl_->plugged;
  return s;
}

bool SimulatedDrive::record(int number, RecordWords& words) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  Words15 w;
  if (!impl_->firmware.readRecord(number, w)) return false;
  std::copy(w.begin(), w.end(), words.begin());
  return true;
}

void SimulatedDrive::withFirmware(const std::function<void(DriveFirmware&)>& fn) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  fn(impl_->firmware);
}

void SimulatedDrive::withProcessor(const std::function<void(BootProcessor&)>& fn) {
  std::lock_guard lock(impl_->mutex);
  impl_->runUntil(impl_->now());
  fn(impl_->processor);
}

bool SimulatedDrive::writeFlashExport(std::string* error) {
  std::lock_guard lock(impl_->mutex);
  const std::string& path = config_.flashExportPath;
  if (path.empty()) {
    if (error) *error = "no flash export file configured";
    return false;
  }
  bool hex = path.size() >= 4 && path.compare(path.size() - 4, 4, ".hex") == 0;
  if (config_.flashExportFormat != SimConfig::FlashFormat::ByName) {
    hex = config_.flashExportFormat == SimConfig::FlashFormat::IntelHex;
  }
  return hex ? impl_->processor.writeFlashIntelHex(path, error)
             : impl_->processor.writeFlashBinary(path, error);
}

void SimulatedDrive::takeArrived(std::vector<uint8_t>& out) {
  std::lock_guard lock(impl_->mutex);
  const uint64_t now = impl_->now();
  impl_->runUntil(now);
  const size_t n = impl_->line.availableToHost(now);
  const size_t at = out.size();
  out.resize(at + n);
  impl_->line.takeForHost(out.data() + at, n, now);
}

uint64_t SimulatedDrive::nextArrivalUs() {
  std::lock_guard lock(impl_->mutex);
  return std::min(impl_->line.nextForHostUs(), impl_->nextReplyChanceUs());
}

}  // namespace axtune::sim
