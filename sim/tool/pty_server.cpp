#include "sim/tool/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sim/tool/console_commands.h"

namespace axtune::sim {

int BaudFromSpeed(unsigned speed) {
  switch (speed) {
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    case B230400:
      return 230400;
    default:
      return 0;
  }
}

namespace {

speed_t speedFromBaud(int rate) {
  for (speed_t speed : {B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200, B230400}) {
    if (BaudFromSpeed(speed) == rate) return speed;
  }
  return B38400;
}

}  // namespace

PtyServer::~PtyServer() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

bool PtyServer::open(std::string& error) {
  if (!openTerminal(error)) return false;
  drive_.hostOpen(baud_, false);
  return true;
}

bool PtyServer::openTerminal(std::string& error) {
  const int oldSlave = slave_;
  slave_ = -1;
  auto fail = [&](const std::string& what) {
    error = what + std::strerror(errno);
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    if (slave_ >= 0) ::close(slave_);
    slave_ = oldSlave;
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
    return fail("cannot create a pseudo-terminal: ");
  const char* name = ::ptsname(master_);
  if (!name) return fail("cannot name the pseudo-terminal: ");
  path_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) return fail("cannot open " + path_ + ": ");
  if (oldSlave >= 0) ::close(oldSlave);
  // Raw 8N1 at the firmware's rate until the host sets its own mode: no echo, no line editing.
  const speed_t speed = speedFromBaud(drive_.config().baudRate);
  baud_ = BaudFromSpeed(speed);
  termios settings{};
  if (::tcgetattr(slave_, &settings) == 0) {
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
    ::tcsetattr(slave_, TCSANOW, &settings);
  }
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  return true;
}

bool PtyServer::setLink(const std::string& path) {
  linkPath_ = path;
  ::unlink(path.c_str());
  if (::symlink(path_.c_str(), path.c_str()) == 0) return true;
  linkPath_.clear();
  return false;
}

void PtyServer::removeLink() {
  if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
}

void PtyServer::unplugAdapter() {
  if (master_ < 0) return;
  // The link goes first, as udev removes it when the device leaves; closing the master hangs the
  // host's terminal up. The slave stays held so the next terminal gets another number.
  removeLink();
  ::close(master_);
  master_ = -1;
  drive_.hostClose();
}

bool PtyServer::plugAdapter(std::string& error) {
  if (master_ >= 0) return true;
  if (!openTerminal(error)) return false;
  drive_.hostOpen(baud_, false);
  if (!linkPath_.empty()) {
    const std::string link = linkPath_;
    if (!setLink(link)) {
      error = "cannot create the link " + link;
      return false;
    }
  }
  return true;
}

bool PtyServer::adapterCommand(const std::string& line, bool quiet) {
  if (linkPath_.empty()) return false;
  if (line == "unplug") {
    unplugAdapter();
    if (!quiet) std::fprintf(stderr, "qmx-sim: adapter unplugged (%s removed)\n", linkPath_.c_str());
    return true;
  }
  if (line == "replug" || line == "plug") {
    std::string error;
    if (!plugAdapter(error)) {
      std::fprintf(stderr, "qmx-sim: %s\n", error.c_str());
    } else if (!quiet) {
      std::fprintf(stderr, "qmx-sim: adapter plugged in as %s (%s)\n", path_.c_str(), linkPath_.c_str());
    }
    return true;
  }
  return false;
}

void PtyServer::pollBaudRate() {
  if (master_ < 0) return;
  termios settings{};
  if (::tcgetattr(slave_, &settings) != 0) return;
  const int rate = BaudFromSpeed(static_cast<unsigned>(::cfgetospeed(&settings)));
  if (rate != 0 && rate != baud_) {
    baud_ = rate;
    drive_.hostSetBaudRate(rate);
  }
}

void PtyServer::run(volatile std::sig_atomic_t& stop, volatile std::sig_atomic_t& powerCycle, int commandFd,
                    bool quiet) {
  // SIGINT, SIGTERM and SIGUSR1 are blocked except while waiting, so none slips between check and wait.
  sigset_t blocked, waiting;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGUSR1);
  sigprocmask(SIG_BLOCK, &blocked, &waiting);
  sigdelset(&waiting, SIGINT);
  sigdelset(&waiting, SIGTERM);
  sigdelset(&waiting, SIGUSR1);

  std::vector<uint8_t> buffer(4096);
  std::vector<uint8_t> arrived;
  ConsoleInput console(commandFd);
  console.setHandler([this, quiet](const std::string& line) { return adapterCommand(line, quiet); });
  while (!stop) {
    if (powerCycle) {
      powerCycle = 0;
      drive_.powerCycle();
      if (!quiet) std::fprintf(stderr, "qmx-sim: power cycled\n");
    }
    const uint64_t now = drive_.nowUs();
    const uint64_t next = drive_.nextArrivalUs();
    // Wake when the next byte is due, and at least every 10 ms to follow the host's baud rate.
    const uint64_t waitUs = next <= now ? 0 : std::min<uint64_t>(next - now, 10000);
    timespec timeout{0, static_cast<long>(waitUs * 1000)};
    // While the adapter is out only the console is listened to (a negative descriptor is skipped).
    pollfd fds[2] = {{master_, POLLIN, 0}, {console.fd(), POLLIN, 0}};
    const int count = ::ppoll(fds, console.fd() >= 0 ? 2 : 1, &timeout, &waiting);
    if (count < 0 && errno != EINTR) break;
    // The host sets its rate before it writes, so the rate is taken before the bytes it applies to.
    pollBaudRate();
    if (count > 0 && (fds[0].revents & POLLIN)) {
      const ssize_t n = ::read(master_, buffer.data(), buffer.size());
      if (n > 0) drive_.hostWrite(buffer.data(), static_cast<size_t>(n));
    }
    if (count > 0 && console.fd() >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
      if (!console.pump(drive_)) stop = 1;
    }
    arrived.clear();
    drive_.takeArrived(arrived);
    // A host that does not read lets the terminal's buffer fill up; what does not fit is lost, as
    // bytes are at a receiver that overruns. Waiting for room instead would stop the drive from
    // hearing anything more.
    size_t written = 0;
    while (master_ >= 0 && written < arrived.size()) {
      const ssize_t n = ::write(master_, arrived.data() + written, arrived.size() - written);
      if (n > 0) {
        written += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
  }
  sigprocmask(SIG_SETMASK, &waiting, nullptr);
}

}  // namespace axtune::sim
