// The network serial port against a scripted RFC 2217 server on loopback: what goes on the wire,
// what it makes of the server's stream, and how it fails.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <numeric>

#include "link/drive_link.h"
#include "link/rfc2217_serial_port.h"
#include "tests/link/rfc2217_test_server.h"

namespace axtune::test {
namespace {

using namespace rfc2217;
using Clock = std::chrono::steady_clock;

Bytes Command(uint8_t code, std::initializer_list<uint8_t> value) {
  Bytes out;
  const Bytes v(value);
  AppendComPortCommand(out, code, v.data(), v.size());
  return out;
}

bool EndsWith(const Bytes& raw, const Bytes& tail) {
  return raw.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), raw.end() - static_cast<long>(tail.size()));
}

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class Rfc2217PortTest : public ::testing::Test {
 protected:
  void SetUp() override { SetRfc2217Patience({2000, 2000}); }
  void TearDown() override { SetRfc2217Patience({}); }

  std::unique_ptr<SerialPort> OpenOn(Rfc2217TestServer& server, SerialSettings settings = {}) {
    auto port = createSerialPort(server.url());
    EXPECT_TRUE(port->open(settings)) << port->lastErrorText();
    return port;
  }
};

TEST_F(Rfc2217PortTest, OpeningNegotiatesAndSetsTheLineWithTheStandardsBytes) {
  Rfc2217TestServer server;
  SerialSettings settings;
  settings.baudRate = 38400;
  settings.dtr = false;
  settings.rts = true;
  auto port = OpenOn(server, settings);
  EXPECT_EQ(port->deviceName(), server.url());
  EXPECT_EQ(port->baudRate(), 38400);

  Bytes expected = {0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x2C};
  for (const Bytes& command :
       {Command(kSetBaudRate, {0x00, 0x00, 0x96, 0x00}), Command(kSetDataSize, {8}), Command(kSetParity, {1}),
        Command(kSetStopSize, {1}), Command(kSetControl, {1}), Command(kSetControl, {9}),
        Command(kSetControl, {11}), Command(kSetModemStateMask, {0xFF})}) {
    expected.insert(expected.end(), command.begin(), command.end());
  }
  // The open waits only for the rate's answer; the rest reaches the server behind it.
  EXPECT_TRUE(server.waitFor([&](const Bytes& raw, const Bytes&) { return raw == expected; }));
  EXPECT_EQ(server.raw(), expected);

  // Rate, DTR, RTS and purge afterwards: exactly their commands.
  server.clearRecords();
  EXPECT_TRUE(port->setBaudRate(19200));
  EXPECT_EQ(port->baudRate(), 19200);
  EXPECT_TRUE(port->setDtr(true));
  EXPECT_TRUE(port->setDtr(false));
  EXPECT_TRUE(port->setRts(false));
  EXPECT_TRUE(port->purge());
  expected.clear();
  for (const Bytes& command :
       {Command(kSetBaudRate, {0x00, 0x00, 0x4B, 0x00}), Command(kSetControl, {8}), Command(kSetControl, {9}),
        Command(kSetControl, {12}), Command(kPurgeData, {3})}) {
    expected.insert(expected.end(), command.begin(), command.end());
  }
  EXPECT_TRUE(server.waitFor([&](const Bytes& raw, const Bytes&) { return raw == expected; }));
  EXPECT_EQ(server.raw(), expected);
}

TEST_F(Rfc2217PortTest, EveryByteValueCrossesInBothDirections) {
  Rfc2217TestServer server;
  auto port = OpenOn(server);
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);

  server.clearRecords();
  ASSERT_EQ(port->write(all.data(), all.size()), all.size());
  ASSERT_TRUE(server.waitFor([](const Bytes& raw, const Bytes&) { return raw.size() >= 257; }));
  EXPECT_EQ(server.data(), all);
  EXPECT_EQ(server.raw().size(), 257u);
  EXPECT_TRUE(EndsWith(server.raw(), {0xFE, 0xFF, 0xFF}));

  server.sendData(all);
  Bytes got(256);
  ASSERT_EQ(port->read(got.data(), got.size()), got.size());
  EXPECT_EQ(got, all);
  EXPECT_EQ(port->bytesWaiting(), 0u);
}

TEST_F(Rfc2217PortTest, TheCarrierFollowsTheServersModemStateNotifications) {
  Rfc2217TestServer server;
  auto port = OpenOn(server);
  ModemStatus status;
  EXPECT_FALSE(port->modemStatus(status)) << "unknown until the server tells";

  server.notifyModemState(kModemCarrier | kModemDsr | kModemCts | kModemDeltaCarrier);
  // The notification arrives on the receiving thread; the data behind it marks when it has.
  server.sendData({'x'});
  uint8_t x = 0;
  ASSERT_EQ(port->read(&x, 1), 1u);
  ASSERT_TRUE(port->modemStatus(status));
  EXPECT_TRUE(status.carrier);
  EXPECT_TRUE(status.dsr);
  EXPECT_TRUE(status.cts);
  EXPECT_FALSE(status.ring);

  server.notifyModemState(kModemDeltaCarrier);
  server.sendData({'y'});
  ASSERT_EQ(port->read(&x, 1), 1u);
  ASSERT_TRUE(port->modemStatus(status));
  EXPECT_FALSE(status.carrier);
}

// The RFC leaves some answers to the server and common servers omit them. Opening must not wait
// for them: with an hour's patience, a client that did would hang here until the test timed out.
TEST_F(Rfc2217PortTest, AServerThatNeverAnswersTheModemStateMaskIsNotWaitedFor) {
  SetRfc2217Patience({2000, 3600 * 1000});
  Rfc2217TestServer server;
  server.neverAnswer(kSetModemStateMask);
  auto port = OpenOn(server);
  ASSERT_TRUE(port->isOpen());
  ASSERT_TRUE(server.waitFor([](const Bytes& raw, const Bytes&) {
    return EndsWith(raw, {0xFF, 0xFA, 44, kSetModemStateMask, 0xFF, 0xFF, 0xFF, 0xF0});
  })) << "the mask is still asked for";
  // The line works, and lines told later are taken when they come.
  server.notifyModemState(kModemCarrier);
  server.sendData({'z'});
  ASSERT_TRUE(port->setTimeouts({1, 2000, 1, 1000}));
  uint8_t z = 0;
  ASSERT_EQ(port->read(&z, 1), 1u);
  ModemStatus status;
  ASSERT_TRUE(port->modemStatus(status));
  EXPECT_TRUE(status.carrier);
}

TEST_F(Rfc2217PortTest, PurgeDropsWhatTheServerSentBeforeItPurged) {
  Rfc2217TestServer server;
  auto port = OpenOn(server);
  server.sendData({'o', 'l', 'd'});
  ASSERT_TRUE(port->purge());  // the server's answer comes behind "old" on the stream
  // Data sent after the server took the purge are new (the purge does not wait for its answer).
  ASSERT_TRUE(server.waitFor([](const Bytes& raw, const Bytes&) {
    return EndsWith(raw, {0xFF, 0xFA, 44, kPurgeData, 3, 0xFF, 0xF0});
  }));
  server.sendData({'n', 'e', 'w'});
  Bytes got(3);
  ASSERT_EQ(port->read(got.data(), got.size()), 3u);
  EXPECT_EQ(got, (Bytes{'n', 'e', 'w'}));
}

// A server that never answers purges: what comes while the purge is open is taken for stale, and
// once the patience is over its data are taken again.
TEST_F(Rfc2217PortTest, AServerThatNeverAnswersPurgesIsGivenUpAfterItsPatience) {
  SetRfc2217Patience({2000, 300});
  Rfc2217TestServer server;
  server.neverAnswer(kPurgeData);
  auto port = OpenOn(server);
  ASSERT_TRUE(port->purge());
  ASSERT_TRUE(server.waitFor([](const Bytes& raw, const Bytes&) {
    return EndsWith(raw, {0xFF, 0xFA, 44, kPurgeData, 3, 0xFF, 0xF0});
  }));
  ASSERT_TRUE(port->setTimeouts({1, 600, 1, 1000}));
  uint8_t one = 0;
  EXPECT_EQ(port->read(&one, 1), 0u);  // outlives the patience
  server.sendData({'n', 'e', 'w'});
  Bytes got(3);
  ASSERT_EQ(port->read(got.data(), got.size()), 3u);
  EXPECT_EQ(got, (Bytes{'n', 'e', 'w'}));
  ASSERT_TRUE(port->purge());  // not waited for, and nothing dropped after it any more
  server.sendData({'x'});
  EXPECT_EQ(port->read(&one, 1), 1u);
}

TEST_F(Rfc2217PortTest, ASilentServerFailsTheReadWithinItsTotalTimeout) {
  Rfc2217TestServer server;
  auto port = OpenOn(server);
  ASSERT_TRUE(port->setTimeouts({1, 300, 1, 1000}));
  uint8_t buffer[34];
  const auto start = Clock::now();
  EXPECT_EQ(port->read(buffer, sizeof buffer), 0u);
  const long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 330);
  EXPECT_LT(elapsed, 3000) << "a guard against a hang, not a speed check";

  // Zero timeouts take what has arrived and never wait.
  ASSERT_TRUE(port->setTimeouts({0, 0, 0, 0}));
  server.sendData({1, 2});
  ASSERT_TRUE(server.waitFor([](const Bytes&, const Bytes&) { return true; }));
  const auto again = Clock::now();
  const size_t got = port->read(buffer, sizeof buffer);
  EXPECT_LE(got, 2u);
  EXPECT_LT(ElapsedMs(again), 1000);
}

TEST_F(Rfc2217PortTest, AServerThatHangsUpMidTransferFailsAtOnceAndForGood) {
  Rfc2217TestServer server;
  auto port = OpenOn(server);
  server.notifyModemState(kModemCarrier);
  ASSERT_TRUE(port->setTimeouts({1, 10000, 1, 1000}));
  server.sendData(Bytes(10, 0x5A));
  server.closeClient();
  uint8_t buffer[34];
  const auto start = Clock::now();
  EXPECT_EQ(port->read(buffer, sizeof buffer), 10u);
  EXPECT_LT(ElapsedMs(start), 5000) << "the lost connection ends the wait, not the 10 s timeout";
  EXPECT_EQ(port->write(buffer, 2), 0u);
  ModemStatus status;
  EXPECT_FALSE(port->modemStatus(status));
  EXPECT_FALSE(port->setDtr(true));
  EXPECT_EQ(port->read(buffer, sizeof buffer), 0u);
  EXPECT_TRUE(port->close());
}

TEST_F(Rfc2217PortTest, RefusedUnknownAndMalformedAddressesSayWhatIsWrong) {
  // A port with nothing behind it: bound, then closed again.
  uint16_t freePort = 0;
  {
    Rfc2217TestServer probe;
    freePort = probe.port();
  }
  auto refused = createSerialPort("rfc2217://127.0.0.1:" + std::to_string(freePort));
  EXPECT_FALSE(refused->open({}));
  EXPECT_EQ(refused->lastOpenError(), PortOpenError::Other);
  EXPECT_NE(refused->lastErrorText().find("refused"), std::string::npos) << refused->lastErrorText();
  EXPECT_FALSE(refused->isOpen());

  auto unknown = createSerialPort("rfc2217://drive-server.invalid:4001");
  EXPECT_FALSE(unknown->open({}));
  EXPECT_EQ(unknown->lastOpenError(), PortOpenError::NotFound);
  EXPECT_NE(unknown->lastErrorText().find("host name drive-server.invalid is unknown"), std::string::npos)
      << unknown->lastErrorText();

  for (const char* bad : {"rfc2217://host", "rfc2217://:4001", "rfc2217://host:0", "rfc2217://host:70000",
                          "rfc2217://host:12a", "rfc2217://::1:4001"}) {
    auto port = createSerialPort(bad);
    EXPECT_FALSE(port->open({})) << bad;
    EXPECT_EQ(port->lastOpenError(), PortOpenError::NotFound) << bad;
    EXPECT_NE(port->lastErrorText().find("rfc2217://HOST:PORT"), std::string::npos) << port->lastErrorText();
  }
  std::string host, error;
  uint16_t port = 0;
  ASSERT_TRUE(ParseRfc2217Name("RFC2217://[::1]:4001/", host, port, error)) << error;
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 4001);
}

TEST_F(Rfc2217PortTest, ServersThatDoNotSpeakTheProtocolAreToldApart) {
  SetRfc2217Patience({2000, 300});
  {
    Rfc2217TestServer banner(Rfc2217TestServer::Mode::Banner);
    auto port = createSerialPort(banner.url());
    EXPECT_FALSE(port->open({}));
    EXPECT_EQ(port->lastOpenError(), PortOpenError::BadSettings);
    EXPECT_NE(port->lastErrorText().find("not an RFC 2217 port"), std::string::npos) << port->lastErrorText();
    EXPECT_NE(port->lastErrorText().find("SSH-2.0-test"), std::string::npos) << port->lastErrorText();
  }
  {
    Rfc2217TestServer refusing(Rfc2217TestServer::Mode::RefuseComPort);
    auto port = createSerialPort(refusing.url());
    EXPECT_FALSE(port->open({}));
    EXPECT_EQ(port->lastOpenError(), PortOpenError::BadSettings);
    EXPECT_NE(port->lastErrorText().find("refuses serial port control"), std::string::npos)
        << port->lastErrorText();
  }
  {
    Rfc2217TestServer busy(Rfc2217TestServer::Mode::BusyAndClose);
    auto port = createSerialPort(busy.url());
    EXPECT_FALSE(port->open({}));
    EXPECT_EQ(port->lastOpenError(), PortOpenError::Busy);
    EXPECT_NE(port->lastErrorText().find("Port in use"), std::string::npos) << port->lastErrorText();
  }
  {
    Rfc2217TestServer mute;
    mute.stopAnswering();
    auto port = createSerialPort(mute.url());
    EXPECT_FALSE(port->open({}));
    EXPECT_EQ(port->lastOpenError(), PortOpenError::BadSettings);
    EXPECT_NE(port->lastErrorText().find("did not confirm the line settings"), std::string::npos);
  }
  {
    Rfc2217TestServer slow;
    slow.answerRatesWith(9600);
    auto port = createSerialPort(slow.url());
    EXPECT_FALSE(port->open({}));
    EXPECT_NE(port->lastErrorText().find("does not take 38400 baud (it set 9600)"), std::string::npos)
        << port->lastErrorText();
  }
}

TEST_F(Rfc2217PortTest, TheDriveLinkOpensItByNameAndSendsItsThreeAs) {
  Rfc2217TestServer server;
  ASSERT_TRUE(OpenLink(server.url())) << LastOpenErrorText();
  ASSERT_TRUE(server.waitFor([](const Bytes&, const Bytes& data) { return data.size() >= 3; }));
  EXPECT_EQ(server.data(), (Bytes{'A', 'A', 'A'}));
  server.notifyModemState(kModemCarrier);
  ASSERT_TRUE(server.waitFor([](const Bytes&, const Bytes&) { return true; }));
  // A read whose answer does not come fails like a silent line.
  RecordWords words{};
  EXPECT_FALSE(ReadRecord(5, words));
  EXPECT_EQ(LinkError, kLinkNoReply);
  EXPECT_TRUE(IsCarrierDetected());
  EXPECT_TRUE(CloseLink());
  EXPECT_EQ(server.connections(), 1);
}

}  // namespace
}  // namespace axtune::test
