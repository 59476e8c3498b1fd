#include "sim/tool/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

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
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  const char* name = ::ptsname(master_);
  if (!name) {
    error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  path_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) {
    error = std::string("cannot open ") + path_ + ": " + std::strerror(errno);
    return false;
  }
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
  drive_.hostOpen(baud_, false);
  return true;
}

void PtyServer::pollBaudRate() {
  termios settings{};
  if (::tcgetattr(slave_, &settings) != 0) return;
  const int rate = BaudFromSpeed(static_cast<unsigned>(::cfgetospeed(&settings)));
  if (rate != 0 && rate != baud_) {
    baud_ = rate;
    drive_.hostSetBaudRate(rate);
  }
}

bool PtyServer::handleCommand(const std::string& line) {
  std::istringstream in(line);
  std::string command, argument;
  in >> command >> argument;
  if (command.empty()) return true;
  if (command == "quit" || command == "exit") return false;
  if (command == "power" && argument == "off") {
    drive_.powerOff();
  } else if (command == "power" && argument == "on") {
    drive_.powerOn();
  } else if (command == "power" && argument == "cycle") {
    drive_.powerCycle();
  } else if (command == "unplug") {
    drive_.unplug();
  } else if (command == "replug") {
    drive_.replug();
  } else if (command == "fault") {
    if (argument == "undervoltage")
      drive_.triggerFault(DriveFault::UnderVoltage);
    else if (argument == "overvoltage")
      drive_.triggerFault(DriveFault::OverVoltage);
    else if (argument == "overtemperature")
      drive_.triggerFault(DriveFault::OverTemperature);
    else if (argument == "following")
      drive_.triggerFault(DriveFault::FollowingError);
    else if (argument == "blocked")
      drive_.triggerFault(DriveFault::MotorBlocked);
    else
      std::fprintf(stderr, "unknown fault '%s'\n", argument.c_str());
  } else if (command == "volts" && !argument.empty()) {
    drive_.setSupplyVolts(std::atof(argument.c_str()));
  } else if (command == "ambient" && !argument.empty()) {
    drive_.setAmbientCelsius(std::atof(argument.c_str()));
  } else if (command == "stop") {
    drive_.setStopSwitch(argument == "on");
  } else if (command == "status") {
    const DriveSnapshot s = drive_.snapshot();
    std::printf(
        "position %d  velocity %.0f  statusword 0x%04X  state %u  error %u  motion %u  referenced %u  "
        "%s%s%s\n",
        s.position, s.velocity, s.statusword, s.deviceState, s.errorNumber, s.motionState, s.referenced,
        s.firmwareRunning ? "firmware" : "boot loader", s.powered ? "" : "  off",
        s.plugged ? "" : "  unplugged");
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "unknown command '%s' (see --help)\n", line.c_str());
  }
  return true;
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
  std::string pendingCommand;
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
    pollfd fds[2] = {{master_, POLLIN, 0}, {commandFd, POLLIN, 0}};
    const int count = ::ppoll(fds, commandFd >= 0 ? 2 : 1, &timeout, &waiting);
    if (count < 0 && errno != EINTR) break;
    // The host sets its rate before it writes, so the rate is taken before the bytes it applies to.
    pollBaudRate();
    if (count > 0 && (fds[0].revents & POLLIN)) {
      const ssize_t n = ::read(master_, buffer.data(), buffer.size());
      if (n > 0) drive_.hostWrite(buffer.data(), static_cast<size_t>(n));
    }
    if (count > 0 && commandFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
      char chunk[256];
      const ssize_t n = ::read(commandFd, chunk, sizeof chunk);
      if (n <= 0) {
        commandFd = -1;  // end of the console input: keep serving
      } else {
        pendingCommand.append(chunk, static_cast<size_t>(n));
        for (size_t end; (end = pendingCommand.find('\n')) != std::string::npos;) {
          const std::string line = pendingCommand.substr(0, end);
          pendingCommand.erase(0, end + 1);
          if (!handleCommand(line)) stop = 1;
        }
      }
    }
    arrived.clear();
    drive_.takeArrived(arrived);
    size_t written = 0;
    while (written < arrived.size()) {
      const ssize_t n = ::write(master_, arrived.data() + written, arrived.size() - written);
      if (n > 0) {
        written += static_cast<size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd out{master_, POLLOUT, 0};
        ::poll(&out, 1, 100);
      } else {
        break;
      }
    }
  }
  sigprocmask(SIG_SETMASK, &waiting, nullptr);
}

}  // namespace axtune::sim
