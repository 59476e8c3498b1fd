// The Telnet / com port control bytes without a network: encoding, the decoder cut anywhere, option
// negotiation, and the client's reading of a server's answers.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "link/rfc2217_protocol.h"

namespace axtune::rfc2217 {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes AllByteValues() {
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  return all;
}

// What a client session makes of a server's stream.
struct Received {
  Bytes data;
  Bytes replies;
};

Received Feed(ClientSession& session, const Bytes& stream) {
  Received r;
  session.receive(stream.data(), stream.size(), r.data, r.replies);
  return r;
}

Bytes Command(uint8_t code, std::initializer_list<uint8_t> value) {
  Bytes out;
  const Bytes v(value);
  AppendComPortCommand(out, code, v.data(), v.size());
  return out;
}

TEST(Rfc2217Bytes, CommandsAreTheBytesTheStandardGives) {
  Bytes out;
  AppendComPortCommand32(out, kSetBaudRate, 38400);
  EXPECT_EQ(out, (Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x96, 0x00, 0xFF, 0xF0}));
  out.clear();
  AppendComPortCommand(out, kSetControl, kControlDtrOn);
  AppendComPortCommand(out, kSetControl, kControlDtrOff);
  AppendComPortCommand(out, kSetControl, kControlRtsOn);
  AppendComPortCommand(out, kSetControl, kControlRtsOff);
  AppendComPortCommand(out, kPurgeData, kPurgeBoth);
  EXPECT_EQ(out, (Bytes{0xFF, 0xFA, 0x2C, 0x05, 0x08, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x05, 0x09,
                        0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x05, 0x0B, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C,
                        0x05, 0x0C, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x0C, 0x03, 0xFF, 0xF0}));
  // A value byte 255 inside option data is doubled too (a rate of 0x0000FFFF).
  out.clear();
  AppendComPortCommand32(out, kSetBaudRate, 0xFFFF);
  EXPECT_EQ(out, (Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}));
}

TEST(Rfc2217Bytes, EveryByteValueSurvivesEscapingAndTheDecoderCutAnywhere) {
  const Bytes all = AllByteValues();
  Bytes escaped;
  AppendEscaped(escaped, all.data(), all.size());
  ASSERT_EQ(escaped.size(), 257u);  // only 255 is doubled
  EXPECT_EQ(escaped[255], 0xFF);
  EXPECT_EQ(escaped[256], 0xFF);

  // Data, a notification in the middle, more data: the same result wherever the stream is cut.
  Bytes stream = escaped;
  const Bytes notify = Command(kNotifyModemState + kServerOffset, {kModemCarrier | kModemDsr});
  stream.insert(stream.end(), notify.begin(), notify.end());
  stream.insert(stream.end(), escaped.begin(), escaped.end());
  Bytes twice = all;
  twice.insert(twice.end(), all.begin(), all.end());
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    ClientSession session;
    Bytes data, replies;
    session.receive(stream.data(), cut, data, replies);
    session.receive(stream.data() + cut, stream.size() - cut, data, replies);
    ASSERT_EQ(data, twice) << "cut at " << cut;
    ASSERT_TRUE(session.modemStateKnown()) << "cut at " << cut;
    EXPECT_EQ(session.modemState(), kModemCarrier | kModemDsr);
    EXPECT_TRUE(replies.empty());
  }
}

TEST(Rfc2217Negotiation, ClientAsksForBinarySuppressGoAheadAndComPortAndAnswersOnlyChanges) {
  ClientSession session;
  Bytes start;
  session.start(start);
  EXPECT_EQ(start, (Bytes{0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB,
                          0x2C}));
  EXPECT_FALSE(session.comPortAgreed());

  // The server agrees to everything asked: no answers are owed to acknowledgements.
  Received r = Feed(
      session, {0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x2C});
  EXPECT_TRUE(r.replies.empty());
  EXPECT_TRUE(session.comPortAgreed());
  EXPECT_TRUE(session.binaryBothWays());

  // Asked again for what is already on: silence, so two ends never loop.
  r = Feed(session, {0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x03});
  EXPECT_TRUE(r.replies.empty());
  // Echo and terminal type are refused, each once per request.
  r = Feed(session, {0xFF, 0xFB, 0x01, 0xFF, 0xFD, 0x18});
  EXPECT_EQ(r.replies, (Bytes{0xFF, 0xFE, 0x01, 0xFF, 0xFC, 0x18}));
  // The server withdraws binary: acknowledged once, then silence.
  r = Feed(session, {0xFF, 0xFC, 0x00, 0xFF, 0xFC, 0x00});
  EXPECT_EQ(r.replies, (Bytes{0xFF, 0xFE, 0x00}));
  EXPECT_FALSE(session.binaryBothWays());
}

TEST(Rfc2217Negotiation, AServerThatRefusesComPortControlIsSeen) {
  ClientSession session;
  Bytes start;
  session.start(start);
  const Received r = Feed(session, {0xFF, 0xFE, 0x2C});
  EXPECT_TRUE(r.replies.empty());
  EXPECT_TRUE(session.comPortRefused());
  EXPECT_FALSE(session.comPortAgreed());
}

TEST(Rfc2217Answers, RateCarrierSignatureAndPurgeAreReadFromTheServersStream) {
  ClientSession session;
  Bytes stream = Command(kSetBaudRate + kServerOffset, {0x00, 0x01, 0xC2, 0x00});
  const Bytes lines =
      Command(kNotifyModemState + kServerOffset, {kModemCarrier | kModemCts | kModemDeltaCarrier});
  stream.insert(stream.end(), lines.begin(), lines.end());
  Received r = Feed(session, stream);
  EXPECT_EQ(session.answerCount(kSetBaudRate), 1u);
  EXPECT_EQ(session.lastBaudRate(), 115200u);
  EXPECT_EQ(session.modemState() & kModemCarrier, kModemCarrier);

  // A signature request is answered with ours; a signature is kept.
  r = Feed(session, Command(kSignature + kServerOffset, {}));
  EXPECT_EQ(r.replies, (Bytes{0xFF, 0xFA, 0x2C, 0x00, 'A', 'x', 't', 'u', 'n', 'e', 0xFF, 0xF0}));
  Feed(session, Command(kSignature + kServerOffset, {'q', 'm', 'x'}));
  EXPECT_EQ(session.serverSignature(), "qmx");

  // After a purge, data up to the server's answer was sent before it purged and is dropped.
  session.expectPurgeAnswer();
  stream = {'o', 'l', 'd'};
  const Bytes answer = Command(kPurgeData + kServerOffset, {kPurgeBoth});
  stream.insert(stream.end(), answer.begin(), answer.end());
  stream.insert(stream.end(), {'n', 'e', 'w'});
  r = Feed(session, stream);
  EXPECT_EQ(r.data, (Bytes{'n', 'e', 'w'}));
  EXPECT_FALSE(session.purgePending());

  // Short, over-long, client-coded and foreign option blocks change nothing.
  Bytes junk = Command(kSetBaudRate + kServerOffset, {0x01});
  const Bytes clientCoded = Command(kNotifyModemState, {0x00});
  junk.insert(junk.end(), clientCoded.begin(), clientCoded.end());
  junk.insert(junk.end(), {0xFF, 0xFA, 0x2C, 0x6B});
  junk.insert(junk.end(), kMaxSubnegotiation + 10, 0x00);
  junk.insert(junk.end(), {0xFF, 0xF0, 0xFF, 0xFA, 0x18, 0x00, 0xFF, 0xF0, 'x'});
  r = Feed(session, junk);
  EXPECT_EQ(r.data, (Bytes{'x'}));
  EXPECT_EQ(session.lastBaudRate(), 115200u);
  EXPECT_EQ(session.modemState() & kModemCarrier, kModemCarrier);
}

TEST(Rfc2217Decoder, AnOptionBlockThatIsNeverEndedGivesWayToTheNextCommand) {
  ClientSession session;
  Bytes start;
  session.start(start);
  // IAC SB 44 ... IAC DO 44: the block is dropped and DO 44 counts.
  const Received r = Feed(session, {0xFF, 0xFA, 0x2C, 0x6B, 0x80, 0xFF, 0xFD, 0x2C, 'a', 0xFF, 0xF1, 'b'});
  EXPECT_TRUE(session.comPortAgreed());
  EXPECT_FALSE(session.modemStateKnown());
  EXPECT_EQ(r.data, (Bytes{'a', 'b'}));  // NOP (241) between data is skipped
}

}  // namespace
}  // namespace axtune::rfc2217
