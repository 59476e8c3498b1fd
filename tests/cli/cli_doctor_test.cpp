// doctor's checks against a prepared system tree (/dev, /sys, /proc, /etc, /run, udev rules) and a
// given user: one case per finding, and the network check against small TCP servers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "cli/doctor_checks.h"

namespace axtune::cli {
namespace {

namespace fs = std::filesystem;

class FakeSystem {
 public:
  FakeSystem() {
    root_ = fs::temp_directory_path() /
            ("axtune-doctor-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(root_);
    system_.root = root_;
    system_.user = {1000, "tech", {1000}};
    system_.ownPid = 4242;
  }
  ~FakeSystem() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void write(const std::string& path, const std::string& text) {
    const fs::path p = root_ / path;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
  }
  void link(const std::string& path, const std::string& target) {
    const fs::path p = root_ / path;
    fs::create_directories(p.parent_path());
    fs::create_symlink(target, p);
  }
  // A USB adapter: the device node (mode 0660, the group named `group` in /etc/group, with
  // `members`; the user's process in that group when `granted`), its sysfs folders with vendor and
  // product, and its major:minor.
  void adapter(const std::string& name, const std::string& vendor, const std::string& product,
               bool granted = true, const std::string& group = "dialout", const std::string& members = "") {
    write("dev/" + name, "");
    ::chmod((root_ / "dev" / name).c_str(), 0660);
    struct stat info {};
    ::stat((root_ / "dev" / name).c_str(), &info);
    write("etc/group", "root:x:0:\n" + group + ":x:" + std::to_string(info.st_gid) + ":" + members + "\n");
    if (granted) system_.user.groups.push_back(info.st_gid);
    const std::string usb = "sys/devices/pci0000:00/usb1/1-1";
    write(usb + "/idVendor", vendor + "\n");
    write(usb + "/idProduct", product + "\n");
    write(usb + "/1-1:1.0/" + name + "/dummy", "");
    link("sys/class/tty/" + name + "/device", "../../../devices/pci0000:00/usb1/1-1/1-1:1.0/" + name);
    write("sys/class/tty/" + name + "/dev", "188:0\n");
    link("sys/bus/usb/devices/1-1", "../../../devices/pci0000:00/usb1/1-1");
  }
  void process(int pid, const std::string& command) {
    write("proc/" + std::to_string(pid) + "/comm", command + "\n");
  }

  const fs::path& root() const { return root_; }

  DoctorSystem system_;

 private:
  static inline int counter_ = 0;
  fs::path root_;
};

struct Case {
  const char* name;
  std::function<void(FakeSystem&)> setUp;
  const char* check;
  Severity severity;
  const char* inMessage;  // a piece the message must contain
  const char* inFix;      // a piece the fix must contain ("" : no fix)
  const char* port = "";  // doctor --port (empty: every adapter found)
};

const Finding* FindCheck(const std::vector<Finding>& findings, const std::string& check) {
  for (const Finding& f : findings) {
    if (f.check == check) return &f;
  }
  return nullptr;
}

class DoctorFindingTest : public ::testing::TestWithParam<Case> {};

TEST_P(DoctorFindingTest, ReportsTheFindingWithItsFix) {
  const Case& c = GetParam();
  FakeSystem fake;
  c.setUp(fake);
  const std::vector<Finding> findings = RunDoctor(fake.system_, c.port);
  const Finding* f = FindCheck(findings, c.check);
  ASSERT_NE(f, nullptr) << c.check;
  EXPECT_EQ(f->severity, c.severity) << f->message;
  EXPECT_NE(f->message.find(c.inMessage), std::string::npos) << f->message;
  if (*c.inFix == '\0') {
    EXPECT_TRUE(f->fix.empty()) << f->fix;
  } else {
    EXPECT_NE(f->fix.find(c.inFix), std::string::npos) << f->fix;
  }
  // Only a problem blocks (every other check of these systems passes).
  EXPECT_EQ(Blocks(findings), c.severity == Severity::Problem);
}

const Case kCases[] = {
    {"NoAdapter", [](FakeSystem&) {}, "devices", Severity::Warning, "no USB serial adapter", "dmesg"},
    {"AccessThroughGroup", [](FakeSystem& f) { f.adapter("ttyUSB0", "0403", "6001"); }, "access",
     Severity::Ok, "through group dialout", ""},
    {"NotInGroup", [](FakeSystem& f) { f.adapter("ttyUSB0", "0403", "6001", false); }, "access",
     Severity::Problem, "belongs to group dialout and tech is not a member", "sudo usermod -aG dialout tech"},
    {"AddedButNotLoggedInAgain",
     [](FakeSystem& f) { f.adapter("ttyUSB0", "0403", "6001", false, "dialout", "anna,tech"); }, "access",
     Severity::Problem, "this login started before", "log out and in again"},
    {"RootMayUseAnything",
     [](FakeSystem& f) {
       f.adapter("ttyACM0", "2341", "0043");
       f.system_.user = {0, "root", {0}};
     },
     "access", Severity::Ok, "as root", ""},
    {"HeldByAnotherProcess",
     [](FakeSystem& f) {
       f.adapter("ttyUSB0", "0403", "6001");
       f.process(311, "minicom");
       f.link("proc/311/fd/3", "/dev/ttyUSB0");
     },
     "held", Severity::Problem, "open in process 311 (minicom)", "kill 311"},
    {"PseudoTerminalHeldByItsServer",
     [](FakeSystem& f) {
       f.write("dev/pts/3", "");
       f.process(77, "qmx-sim");
       f.link("proc/77/fd/5", "/dev/pts/3");
       f.system_.user = {0, "root", {0}};
       f.system_.ownPid = 0;
     },
     "held", Severity::Warning, "open in process 77 (qmx-sim), which may be", "kill 77", "/dev/pts/3"},
    {"PseudoTerminalServerAndASecondHolder",
     [](FakeSystem& f) {
       f.write("dev/pts/3", "");
       f.process(77, "qmx-sim");
       f.link("proc/77/fd/3", "/dev/ptmx");
       f.write("proc/77/fdinfo/3", "pos:\t0\nflags:\t0104002\ntty-index:\t3\n");
       f.link("proc/77/fd/4", "/dev/pts/3");
       f.process(90, "cat");
       f.link("proc/90/fd/0", "/dev/pts/3");
       f.system_.user = {0, "root", {0}};
     },
     "held", Severity::Problem, "open in process 90 (cat); it is served by process 77 (qmx-sim)", "kill 90)",
     "/dev/pts/3"},
    {"PseudoTerminalOnlyWithItsServer",
     [](FakeSystem& f) {
       f.write("dev/pts/3", "");
       f.process(77, "qmx-sim");
       f.link("proc/77/fd/3", "/dev/ptmx");
       f.write("proc/77/fdinfo/3", "tty-index:\t3\n");
       f.link("proc/77/fd/4", "/dev/pts/3");
       f.system_.user = {0, "root", {0}};
     },
     "held", Severity::Ok, "served by process 77 (qmx-sim), the pseudo-terminal's own server", "",
     "/dev/pts/3"},
    {"OwnerOnlyMode",
     [](FakeSystem& f) {
       f.adapter("ttyUSB0", "0403", "6001", false);
       ::chmod((f.root() / "dev/ttyUSB0").c_str(), 0600);
     },
     "access", Severity::Problem, "has mode 0600 (read and write for its owner",
     "sudo udevadm trigger; then sudo usermod -aG dialout tech"},
    {"WrongGroup", [](FakeSystem& f) { f.adapter("ttyUSB0", "0403", "6001", false, "users"); }, "access",
     Severity::Problem, "has mode 0660 (read and write for its owner", "GROUP=\"dialout\", MODE=\"0660\""},
    {"HeldOnlyByThisProcess",
     [](FakeSystem& f) {
       f.adapter("ttyUSB0", "0403", "6001");
       f.process(4242, "axtune-cli");
       f.link("proc/4242/fd/3", "/dev/ttyUSB0");
     },
     "held", Severity::Ok, "no other process", ""},
    {"ModemManagerWithoutRule",
     [](FakeSystem& f) {
       f.adapter("ttyUSB0", "1a86", "7523");
       f.process(500, "ModemManager");
     },
     "modemmanager", Severity::Warning, "may probe",
     "ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", ENV{ID_MM_DEVICE_IGNORE}=\"1\""},
    {"ModemManagerToldToIgnore",
     [](FakeSystem& f) {
       f.adapter("ttyUSB0", "1a86", "7523");
       f.process(500, "ModemManager");
       f.write("run/udev/data/c188:0", "E:ID_VENDOR_ID=1a86\nE:ID_MM_DEVICE_IGNORE=1\n");
     },
     "modemmanager", Severity::Ok, "leaves this adapter alone", ""},
    {"BrlttyClaimsPluggedCh340",
     [](FakeSystem& f) {
       f.adapter("ttyUSB0", "1a86", "7523");
       f.write("lib/udev/rules.d/85-brltty.rules",
               "ENV{PRODUCT}==\"1a86/7523/*\", ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", "
               "ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\"\n");
     },
     "brltty", Severity::Problem, "claim CH34x adapters",
     "sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules"},
    {"BrlttyMasked",
     [](FakeSystem& f) {
       f.write("lib/udev/rules.d/85-brltty.rules", "ATTRS{idVendor}==\"10c4\", ATTRS{idProduct}==\"ea60\"\n");
       f.link("etc/udev/rules.d/85-brltty.rules", "/dev/null");
     },
     "brltty", Severity::Ok, "claim no serial adapter", ""},
    {"BrlttyCp210xRuleWithoutAdapter",
     [](FakeSystem& f) {
       f.write("usr/lib/udev/rules.d/85-brltty.rules",
               "ATTRS{idVendor}==\"10c4\", ATTRS{idProduct}==\"ea60\"\n");
     },
     "brltty", Severity::Warning, "claim CP210x adapters", "sudo apt remove brltty"},
    {"FtdiLatencyDefault",
     [](FakeSystem& f) {
       f.adapter("ttyUSB0", "0403", "6001");
       f.write("sys/bus/usb-serial/devices/ttyUSB0/latency_timer", "16\n");
     },
     "latency", Severity::Warning, "takes up to 26 ms instead of 11 ms at 1 ms",
     "echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer"},
    {"FtdiLatencyOne",
     [](FakeSystem& f) {
       f.adapter("ttyUSB0", "0403", "6001");
       f.write("sys/bus/usb-serial/devices/ttyUSB0/latency_timer", "1\n");
     },
     "latency", Severity::Ok, "latency timer 1 ms", ""},
};

INSTANTIATE_TEST_SUITE_P(Findings, DoctorFindingTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DoctorTest, ANamedPortThatIsMissingIsAProblem) {
  FakeSystem fake;
  const std::vector<Finding> findings = RunDoctor(fake.system_, "/dev/ttyUSB7");
  ASSERT_FALSE(findings.empty());
  EXPECT_EQ(findings[0].check, "access");
  EXPECT_EQ(findings[0].severity, Severity::Problem);
  EXPECT_TRUE(Blocks(findings));
}

// A listening socket on a free loopback port; `serve` runs for the one connection it accepts.
class OneShotServer {
 public:
  explicit OneShotServer(std::function<void(int)> serve) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 1);
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, serve] {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      serve(client);
      ::close(client);
    });
  }
  ~OneShotServer() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }
  std::string address() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// Reads the client's offer and answers with `reply`, then waits for the client to go (or, `hangUp`,
// closes the connection itself, as a busy device server does).
std::function<void(int)> Answer(std::vector<uint8_t> reply, bool hangUp = false) {
  return [reply, hangUp](int client) {
    uint8_t offer[3];
    if (::recv(client, offer, sizeof offer, MSG_WAITALL) != 3) return;
    if (!reply.empty()) ::send(client, reply.data(), reply.size(), 0);
    if (hangUp) return;
    uint8_t rest[16];
    while (::recv(client, rest, sizeof rest, 0) > 0) {
    }
  };
}

struct NetworkCase {
  const char* name;
  std::vector<uint8_t> reply;
  Severity severity;
  const char* inMessage;
  bool hangUp = false;
};

class DoctorNetworkTest : public ::testing::TestWithParam<NetworkCase> {};

TEST_P(DoctorNetworkTest, TellsARfc2217ServerFromOtherServices) {
  const NetworkCase& c = GetParam();
  OneShotServer server(Answer(c.reply, c.hangUp));
  DoctorSystem system;
  const std::vector<Finding> findings = RunDoctor(system, server.address(), 300);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].check, "rfc2217");
  EXPECT_EQ(findings[0].severity, c.severity) << findings[0].message;
  EXPECT_NE(findings[0].message.find(c.inMessage), std::string::npos) << findings[0].message;
}

const NetworkCase kNetworkCases[] = {
    // Other Telnet negotiation first, then the agreement.
    {"AgreesToComPort", {255, 251, 3, 255, 253, 44}, Severity::Ok, "speaks RFC 2217"},
    {"RefusesComPort", {255, 254, 44}, Severity::Problem, "refuses the COM port option"},
    {"RawTcpPort", {'h', 'e', 'l', 'l', 'o', '\r', '\n'}, Severity::Problem, "does not speak RFC 2217"},
    {"Silent", {}, Severity::Problem, "does not speak RFC 2217"},
    {"BusyTellsWhy",
     {'P', 'o', 'r', 't', ' ', 'a', 'l', 'r', 'e',  'a', 'd',
      'y', ' ', 'i', 'n', ' ', 'u', 's', 'e', '\r', '\n'},
     Severity::Problem,
     "busy: another client holds this port (it said: \"Port already in use\")",
     true},
    {"BusyHangsUp", {}, Severity::Problem, "busy: another client holds this port", true},
};

INSTANTIATE_TEST_SUITE_P(Servers, DoctorNetworkTest, ::testing::ValuesIn(kNetworkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DoctorNetworkTest, NothingListening) {
  int port = 0;
  {
    OneShotServer closed([](int) {});
    port = std::stoi(closed.address().substr(closed.address().rfind(':') + 1));
  }  // the listener is gone: the port refuses
  const Finding f = CheckRfc2217("rfc2217://127.0.0.1:" + std::to_string(port), 300);
  EXPECT_EQ(f.severity, Severity::Problem);
  EXPECT_NE(f.message.find("nothing answers"), std::string::npos) << f.message;
}

// A child that holds what `hold` opens until the test ends; it tells the test through a pipe that it
// is ready (and what it has to say), and ends when the test closes the other pipe.
class Holder {
 public:
  explicit Holder(std::function<std::string()> hold) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      const std::string said = hold() + "\n";
      if (::write(ready[1], said.data(), said.size()) < 0) ::_exit(1);
      char byte;
      while (::read(release[0], &byte, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char c;
    while (::read(ready[0], &c, 1) == 1 && c != '\n') said_ += c;
    ::close(ready[0]);
  }
  ~Holder() {
    ::close(release_);
    int status = 0;
    if (pid_ > 0) ::waitpid(pid_, &status, 0);
  }
  int pid() const { return pid_; }
  const std::string& said() const { return said_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  std::string said_;
};

TEST(DoctorTest, APseudoTerminalHeldByASecondProcessIsAProblemThatSparesItsServer) {
  // The server: the master side and the terminal, as qmx-sim keeps them.
  Holder server([] {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return std::string();
    const std::string name = ::ptsname(master);
    ::open(name.c_str(), O_RDWR | O_NOCTTY);
    return name;
  });
  const std::string pty = server.said();
  ASSERT_FALSE(pty.empty());
  Holder thief([pty] { return std::to_string(::open(pty.c_str(), O_RDWR | O_NOCTTY)); });
  ASSERT_GE(std::stoi(thief.said()), 0);

  DoctorSystem system;
  system.user = {0, "root", {0}};
  system.ownPid = static_cast<int>(::getpid());
  const std::vector<Finding> findings = RunDoctor(system, pty);
  const Finding* held = FindCheck(findings, "held");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->severity, Severity::Problem);
  EXPECT_NE(held->message.find("open in process " + std::to_string(thief.pid())), std::string::npos)
      << held->message;
  EXPECT_NE(held->message.find("served by process " + std::to_string(server.pid())), std::string::npos)
      << held->message;
  EXPECT_NE(held->fix.find("kill " + std::to_string(thief.pid())), std::string::npos) << held->fix;
  EXPECT_EQ(held->fix.find(std::to_string(server.pid())), std::string::npos) << held->fix;
  EXPECT_TRUE(Blocks(findings));
}

}  // namespace
}  // namespace axtune::cli
