// The simulated drive served as an RFC 2217 device server on loopback (qmx-sim --rfc2217 in
// process), reached through the network serial port and the drive link.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>

#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/rfc2217_serial_port.h"
#include "link/sleeper.h"
#include "sim/tool/rfc2217_server.h"

namespace axtune::sim {
namespace {

class DriveOnTheNetwork : public ::testing::Test {
 protected:
  void SetUp() override {
    SimConfig config = SimConfig::realTime();
    config.paced = false;  // the network path is under test, not the wire's speed
    config.bootTimeUs = 50000;
    drive_ = std::make_unique<SimulatedDrive>(config);
    server_ = std::make_unique<Rfc2217Server>(*drive_);
    server_->setClientTimeouts(negotiationMs_, idleMs_);
    std::string error;
    ASSERT_TRUE(server_->open("0", error)) << error;
    ASSERT_EQ(::pipe(console_), 0);
    thread_ = std::thread([this] { server_->run(stop_, powerCycle_, console_[0], true); });
  }
  void TearDown() override {
    CloseLink();
    // The console's "quit" ends the server on its own thread.
    const char quit[] = "quit\n";
    EXPECT_EQ(::write(console_[1], quit, sizeof quit - 1), static_cast<ssize_t>(sizeof quit - 1));
    if (thread_.joinable()) thread_.join();
    for (int fd : console_) ::close(fd);
  }

  // Reads until the drive answers (it may be starting up); a guard of some seconds, not a timing.
  bool readAnswered(int record, RecordWords& words) {
    for (int i = 0; i < 5; ++i) {
      if (ReadRecord(record, words)) return true;
    }
    return false;
  }

  uint32_t negotiationMs_ = 5000;
  uint32_t idleMs_ = 600000;
  std::unique_ptr<SimulatedDrive> drive_;
  std::unique_ptr<Rfc2217Server> server_;
  volatile std::sig_atomic_t stop_ = 0;
  volatile std::sig_atomic_t powerCycle_ = 0;
  int console_[2] = {-1, -1};
  std::thread thread_;
};

TEST_F(DriveOnTheNetwork, RecordsAndObjectsTravelThroughTheLink) {
  EXPECT_EQ(server_->url().rfind("rfc2217://127.0.0.1:", 0), 0u) << server_->url();
  ASSERT_TRUE(OpenLink(server_->url())) << LastOpenErrorText();
  RecordWords id{};
  ASSERT_TRUE(readAnswered(kIdentificationRecord, id));
  EXPECT_EQ(id[0], 1025);

  RecordWords settings{};
  ASSERT_TRUE(ReadRecord(2, settings));
  settings[5] = 0xFFFF;  // a word whose bytes are both 255 crosses escaped both ways
  RecordWords written = settings;
  ASSERT_TRUE(ExchangeRecord(2, written));
  EXPECT_EQ(written[5], 0xFFFF);
  ASSERT_TRUE(WriteWords(2, 6, 0x12FF));
  ASSERT_TRUE(ReadRecord(2, settings));
  EXPECT_EQ(settings[5], 0xFFFF);
  EXPECT_EQ(settings[6], 0x12FF);

  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 7));
  int32_t selected = -1;
  ASSERT_TRUE(ReadObject(0x2022, 5, &selected));
  EXPECT_EQ(selected, 7);
}

TEST_F(DriveOnTheNetwork, TheCarrierFollowsTheCableAndThePower) {
  ASSERT_TRUE(OpenLink(server_->url())) << LastOpenErrorText();
  EXPECT_TRUE(IsCarrierDetected());
  // The server looks at the lines at least every 10 ms; a few link reads give it that time.
  auto settle = [] {
    RecordWords words{};
    ReadRecord(kIdentificationRecord, words);
  };
  drive_->unplug();
  settle();
  EXPECT_FALSE(IsCarrierDetected());
  drive_->replug();
  settle();
  EXPECT_TRUE(IsCarrierDetected());
  drive_->powerOff();
  settle();
  EXPECT_FALSE(IsCarrierDetected());
  drive_->powerOn();
  RecordWords id{};
  EXPECT_TRUE(readAnswered(kIdentificationRecord, id));
  EXPECT_TRUE(IsCarrierDetected());
}

TEST_F(DriveOnTheNetwork, ADtrPulseResetsTheProcessorAndTheRateIsTheOneTheDriveHears) {
  ASSERT_TRUE(OpenLink(server_->url())) << LastOpenErrorText();
  ASSERT_TRUE(WriteObject(0x2022, 5, 2, 9));  // a RAM value a reset forgets
  SerialPort* port = LinkPort();
  ASSERT_NE(port, nullptr);

  // At another rate the firmware hears only noise.
  ASSERT_TRUE(port->setBaudRate(19200));
  EXPECT_EQ(drive_->hostBaudRate(), 19200);
  RecordWords id{};
  EXPECT_FALSE(ReadRecord(kIdentificationRecord, id));
  ASSERT_TRUE(port->setBaudRate(38400));

  ASSERT_TRUE(SetDtr(true));
  ASSERT_TRUE(SetDtr(false));
  ASSERT_TRUE(readAnswered(kIdentificationRecord, id));
  int32_t selected = -1;
  ASSERT_TRUE(ReadObject(0x2022, 5, &selected));
  EXPECT_EQ(selected, 0) << "the reset started the firmware afresh";
}

TEST_F(DriveOnTheNetwork, PurgeDropsAnAnswerThatWasOnItsWay) {
  ASSERT_TRUE(OpenLink(server_->url())) << LastOpenErrorText();
  SerialPort* port = LinkPort();
  RecordWords id{};
  ASSERT_TRUE(readAnswered(kIdentificationRecord, id));
  const uint8_t request[2] = {0x0F, kIdentificationRecord};
  ASSERT_EQ(port->write(request, 2), 2u);
  uint8_t first = 0;
  ASSERT_EQ(port->read(&first, 1), 1u);  // the answer is arriving
  ASSERT_TRUE(port->purge());
  EXPECT_EQ(port->bytesWaiting(), 0u);
  ASSERT_TRUE(port->setTimeouts({1, 200, 1, 1000}));
  uint8_t rest[33];
  EXPECT_EQ(port->read(rest, sizeof rest), 0u) << "nothing of the purged answer comes later";
}

TEST_F(DriveOnTheNetwork, OneClientAtATimeAndTheNextOnceItHasGone) {
  ASSERT_TRUE(OpenLink(server_->url())) << LastOpenErrorText();
  auto second = createSerialPort(server_->url());
  EXPECT_FALSE(second->open({}));
  EXPECT_EQ(second->lastOpenError(), PortOpenError::Busy);
  EXPECT_NE(second->lastErrorText().find("in use by another client"), std::string::npos)
      << second->lastErrorText();
  RecordWords id{};
  EXPECT_TRUE(readAnswered(kIdentificationRecord, id)) << "the first client keeps the drive";

  // Closing and opening again at once, as the port scan does: the new connection is served.
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(CloseLink());
    ASSERT_TRUE(OpenLink(server_->url())) << "round " << i << ": " << LastOpenErrorText();
  }
  EXPECT_TRUE(readAnswered(kIdentificationRecord, id));
}

// The one client slot comes free by itself: from a client that never negotiates com port control,
// and from one that stops talking. Short limits here; qmx-sim's are 5 s and --idle-timeout.
class SlotComesFree : public DriveOnTheNetwork, public ::testing::WithParamInterface<bool> {
 protected:
  SlotComesFree() {
    negotiationMs_ = 200;
    idleMs_ = 400;
  }

  // A plain TCP connection to the server; -1 when it fails.
  int connectRaw() {
    const std::string url = server_->url();
    const int port = std::stoi(url.substr(url.rfind(':') + 1));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  // Reads until the server closes the connection; false when it is still open after `boundMs` (a
  // guard against a hang, far above the limits under test).
  static bool closedByServer(int fd, std::string& text, int boundMs = 10000) {
    char buffer[512];
    for (;;) {
      pollfd in{fd, POLLIN, 0};
      if (::poll(&in, 1, boundMs) <= 0) return false;
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return true;
      text.append(buffer, static_cast<size_t>(n));
    }
  }
};

TEST_P(SlotComesFree, AClientThatNeverNegotiatesOrFallsSilentIsDropped) {
  const bool negotiates = GetParam();
  const int fd = connectRaw();
  ASSERT_GE(fd, 0);
  if (negotiates) {
    const uint8_t willComPort[] = {0xFF, 0xFB, 44};  // IAC WILL COM-PORT-OPTION
    ASSERT_EQ(::send(fd, willComPort, sizeof willComPort, 0), static_cast<ssize_t>(sizeof willComPort));
  }
  std::string text;
  EXPECT_TRUE(closedByServer(fd, text)) << "the connection stayed open";
  ::close(fd);
  EXPECT_EQ(text.find("no RFC 2217 com port negotiation") != std::string::npos, !negotiates) << text;

  ASSERT_TRUE(OpenLink(server_->url())) << LastOpenErrorText();
  RecordWords id{};
  EXPECT_TRUE(readAnswered(kIdentificationRecord, id)) << "the slot is free again";
}

INSTANTIATE_TEST_SUITE_P(NeverNegotiatesOrFallsSilent, SlotComesFree, ::testing::Bool());

TEST(Rfc2217ListenAddress, LoopbackByDefaultAndEveryFormTheHelpNames) {
  std::string address, error;
  int port = -1;
  ASSERT_TRUE(ParseListenAddress("4001", address, port, error)) << error;
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(port, 4001);
  ASSERT_TRUE(ParseListenAddress("0.0.0.0:0", address, port, error)) << error;
  EXPECT_EQ(address, "0.0.0.0");
  EXPECT_EQ(port, 0);
  ASSERT_TRUE(ParseListenAddress("[::1]:4001", address, port, error)) << error;
  EXPECT_EQ(address, "::1");
  for (const char* bad : {"", "abc", ":4001", "70000", "host:", "-1"}) {
    EXPECT_FALSE(ParseListenAddress(bad, address, port, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  SimulatedDrive drive(SimConfig::realTime());
  Rfc2217Server taken(drive);
  ASSERT_TRUE(taken.open("0", error)) << error;
  Rfc2217Server second(drive);
  const std::string busyPort = taken.url().substr(taken.url().rfind(':') + 1);
  EXPECT_FALSE(second.open(busyPort, error));
  EXPECT_NE(error.find("cannot listen on 127.0.0.1 port " + busyPort), std::string::npos) << error;
}

}  // namespace
}  // namespace axtune::sim
