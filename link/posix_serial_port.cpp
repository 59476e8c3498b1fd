#include "link/posix_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

#include "link/platform_serial_port.h"

namespace axtune {
namespace {

using Clock = std::chrono::steady_clock;

speed_t speedFor(int rate) {
  switch (rate) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
#ifdef B460800
    case 460800:
      return B460800;
#endif
#ifdef B921600
    case 921600:
      return B921600;
#endif
    default:
      return B0;
  }
}

PortOpenError classifyOpenErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return PortOpenError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return PortOpenError::PermissionDenied;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      return PortOpenError::Busy;
    default:
      return PortOpenError::Other;
  }
}

// Milliseconds left until the deadline, rounded up so that poll never returns early. Capped at
// what poll takes: a total timeout of 2^31 ms or more (0xFFFFFFFF is a common "very long") would
// otherwise wrap to a negative value, which poll reads as "wait for ever"; capped, such a wait
// ends after some 24 days instead of never.
int millisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  const auto milliseconds = (left + 999) / 1000;
  return milliseconds > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                        : static_cast<int>(milliseconds);
}

Clock::time_point deadlineFor(size_t n, uint32_t perByteMs, uint32_t constantMs) {
  const uint64_t total = static_cast<uint64_t>(n) * perByteMs + constantMs;
  return Clock::now() + std::chrono::milliseconds(total);
}

}  // namespace

std::unique_ptr<SerialPort> createPlatformSerialPort(const std::string& device) {
  return std::make_unique<PosixSerialPort>(device);
}

PosixSerialPort::PosixSerialPort(std::string device) : device_(std::move(device)) {}

PosixSerialPort::~PosixSerialPort() {
  close();
}

bool PosixSerialPort::failOpen(PortOpenError error, const std::string& text) {
  openError_ = error;
  errorText_ = device_ + ": " + text;
  if (fd_ >= 0) {
    ::close(fd_);  // also drops the lock; settings were not changed yet or are restored by the caller
    fd_ = -1;
  }
  return false;
}

bool PosixSerialPort::open(const SerialSettings& settings) {
  if (fd_ >= 0) close();
  openError_ = PortOpenError::None;
  errorText_.clear();
  haveSaved_ = false;
  if (device_.empty()) return failOpen(PortOpenError::NotFound, "no device given");

  // Non-blocking so that neither a missing carrier nor a full buffer can block us; every wait is a
  // poll() bounded by the port's timeouts.
  fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    const int error = errno;
    return failOpen(classifyOpenErrno(error), std::strerror(error));
  }
  if (settings.exclusive) {
    // flock keeps out cooperating programs (and ourselves), TIOCEXCL every other open but root's.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      return failOpen(
          error == EWOULDBLOCK ? PortOpenError::Busy : PortOpenError::Other,
          error == EWOULDBLOCK ? "the device is locked by another program" : std::strerror(error));
    }
  }
  if (::tcgetattr(fd_, &saved_) != 0) {
    const int error = errno;
    return failOpen(PortOpenError::BadSettings, std::strerror(error));
  }

  termios tio = saved_;
  ::cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  // No hang-up on close: DTR changes only when an owner sets it (the drive's processor resets on a
  // falling DTR, and the firmware update closes the link's port right before the programmer opens it).
  tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  const speed_t speed = speedFor(settings.baudRate);
  if (speed == B0) {
    return failOpen(PortOpenError::BadSettings, std::to_string(settings.baudRate) + " baud is not supported");
  }
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
    const int error = errno;
    return failOpen(PortOpenError::BadSettings, std::strerror(error));
  }
  haveSaved_ = true;
  if (settings.exclusive) ::ioctl(fd_, TIOCEXCL);

  settings_ = settings;
  baudRate_ = settings.baudRate;
  // Pseudo-terminals have no modem lines; the calls fail there and that is fine.
  setModemLine(TIOCM_DTR, settings.dtr);
  setModemLine(TIOCM_RTS, settings.rts);
  ::tcflush(fd_, TCIOFLUSH);
  {
    std::lock_guard<std::mutex> lock(errorMutex_);
    lineError_ = false;
    noErrorCounters_ = false;
    errorBaseline_ = lineErrorCount();
  }
  return true;
}

bool PosixSerialPort::close() {
  if (fd_ < 0) return true;
  if (haveSaved_) {
    // The settings found at open come back, except a hang-up on close: the close that follows must
    // not drop DTR by itself.
    termios restored = saved_;
    restored.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    ::tcsetattr(fd_, TCSANOW, &restored);
  }
  if (settings_.exclusive) ::ioctl(fd_, TIOCNXCL);
  const int result = ::close(fd_);  // releases the flock as well
  const int error = errno;
  // Linux releases the descriptor even when close reports an error, so it must not be used again.
  fd_ = -1;
  haveSaved_ = false;
  return result == 0 || error == EINTR;
}

bool PosixSerialPort::setTimeouts(const SerialTimeouts& timeouts) {
  if (fd_ < 0) return false;
  timeouts_ = timeouts;
  return true;
}

uint64_t PosixSerialPort::lineErrorCount() {
#if defined(__linux__) && defined(TIOCGICOUNT)
  serial_icounter_struct counts{};
  if (fd_ >= 0 && !noErrorCounters_) {
    if (::ioctl(fd_, TIOCGICOUNT, &counts) == 0) {
      return static_cast<uint64_t>(counts.frame) + static_cast<uint64_t>(counts.overrun) +
             static_cast<uint64_t>(counts.parity) + static_cast<uint64_t>(counts.brk) +
             static_cast<uint64_t>(counts.buf_overrun);
    }
    // Asked once per transfer otherwise: a driver without counters will not grow them.
    if (errno == ENOTTY || errno == EINVAL) noErrorCounters_ = true;
  }
#endif
  return 0;  // pseudo-terminals and drivers without counters never report line errors
}

bool PosixSerialPort::lineErrorPending() {
  if (!settings_.abortOnError) return false;
  std::lock_guard<std::mutex> lock(errorMutex_);
  if (!lineError_ && lineErrorCount() > errorBaseline_) lineError_ = true;
  return lineError_;
}

bool PosixSerialPort::clearErrors() {
  if (fd_ < 0) return false;
  std::lock_guard<std::mutex> lock(errorMutex_);
  lineError_ = false;
  errorBaseline_ = lineErrorCount();
  return true;
}

size_t PosixSerialPort::readSome(uint8_t* buffer, size_t min, size_t max) {
  if (max < min) max = min;
  if (fd_ < 0 || buffer == nullptr || min == 0 || lineErrorPending()) return 0;
  const Clock::time_point deadline = deadlineFor(min, timeouts_.readPerByteMs, timeouts_.readConstantMs);
  // Zero total timeouts mean "take what has arrived", never "wait for ever".
  const bool noWait = timeouts_.readConstantMs == 0 && timeouts_.readPerByteMs == 0;
  size_t got = 0;
  bool hungUp = false;
  while (got < min) {
    // With VMIN = VTIME = 0 a raw tty answers 0 (not EAGAIN) when nothing is there. Each call takes
    // everything that has arrived, up to `max`.
    const ssize_t r = ::read(fd_, buffer + got, max - got);
    if (r > 0) {
      got += static_cast<size_t>(r);
      if (lineErrorPending()) break;  // like the OS failing the read on a framing or overrun error
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;  // hang-up (EIO) or a dead device
    if (noWait || hungUp) break;
    if (got > 0 && baudRate_ > 0) {
      // Part of the answer is in: the rest cannot be complete before its bytes have crossed the line,
      // so wait for that once instead of waking for every byte as it comes.
      const auto rest =
          std::chrono::microseconds((min - got - 1) * 10'000'000 / static_cast<size_t>(baudRate_));
      const auto wake = std::min(Clock::now() + rest, deadline);
      if (rest >= std::chrono::microseconds(500)) std::this_thread::sleep_until(wake);
    }
    const int wait = millisecondsUntil(deadline);
    if (wait <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    if ((p.revents & POLLIN) == 0) break;  // POLLHUP / POLLERR / POLLNVAL without data
    hungUp = (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }
  return got;
}

size_t PosixSerialPort::write(const uint8_t* data, size_t n) {
  if (fd_ < 0 || data == nullptr || n == 0 || lineErrorPending()) return 0;
  const Clock::time_point deadline = deadlineFor(n, timeouts_.writePerByteMs, timeouts_.writeConstantMs);
  size_t sent = 0;
  while (sent < n) {
    const ssize_t r = ::write(fd_, data + sent, n - sent);
    if (r > 0) {
      sent += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
    const int wait = millisecondsUntil(deadline);
    if (wait <= 0) break;
    pollfd p{fd_, POLLOUT, 0};
    const int ready = ::poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (p.revents & POLLOUT) == 0) break;
  }
  return sent;
}

bool PosixSerialPort::purge() {
  return fd_ >= 0 && ::tcflush(fd_, TCIOFLUSH) == 0;
}

bool PosixSerialPort::setModemLine(int line, bool on) {
  if (fd_ < 0) return false;
  int bits = line;
  return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool PosixSerialPort::setDtr(bool on) {
  return setModemLine(TIOCM_DTR, on);
}
bool PosixSerialPort::setRts(bool on) {
  return setModemLine(TIOCM_RTS, on);
}

bool PosixSerialPort::modemStatus(ModemStatus& status) {
  if (fd_ < 0) return false;
  int bits = 0;
  if (::ioctl(fd_, TIOCMGET, &bits) != 0) return false;
  status.carrier = (bits & TIOCM_CAR) != 0;
  status.dsr = (bits & TIOCM_DSR) != 0;
  status.cts = (bits & TIOCM_CTS) != 0;
  status.ring = (bits & TIOCM_RNG) != 0;
  return true;
}

bool PosixSerialPort::deviceGone() {
  if (fd_ < 0) return false;
  // A hung-up terminal reports POLLHUP (and POLLERR) whatever is asked for; a live one never does.
  pollfd entry{fd_, 0, 0};
  return ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool PosixSerialPort::setBaudRate(int rate) {
  if (fd_ < 0) return false;
  const speed_t speed = speedFor(rate);
  termios tio{};
  if (speed == B0 || ::tcgetattr(fd_, &tio) != 0) return false;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd_, TCSADRAIN, &tio) != 0) return false;
  baudRate_ = rate;
  return true;
}

size_t PosixSerialPort::bytesWaiting() {
  int count = 0;
  if (fd_ < 0 || ::ioctl(fd_, FIONREAD, &count) != 0 || count < 0) return 0;
  return static_cast<size_t>(count);
}

}  // namespace axtune
