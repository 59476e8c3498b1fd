// The boot ROM at one rate, the flash kernel at another: which rate each autobaud and packet goes at,
// the ping that proves the kernel's rate before anything else, and what a kernel that does not take
// its rate leaves for the caller to see.
#include <string>
#include <utility>
#include <vector>

#include "tests/firmware/programmer/programmer_fixture.h"

namespace axtune::test {
namespace {

struct RateCase {
  const char* name;
  const char* options;
  int autobaudLimit;       // the processor's autobaud does not lock above it (0: any rate)
  bool dropKernelReplies;  // the kernel's packets do not come back at the high rate (the echo does)
  bool connects;
  bool rateFailed;
  const char* message;  // the last message when the open failed
  // The rate of each "A" and of each packet header written, in order, repeats merged.
  std::vector<std::pair<char, int>> wire;
};

class BootAndKernelRates : public ProgrammerSession, public ::testing::WithParamInterface<RateCase> {};

TEST_P(BootAndKernelRates, EachPartOfTheConnectionGoesAtItsRate) {
  const RateCase& c = GetParam();
  processor_->setAutobaudLimit(c.autobaudLimit);
  std::vector<std::pair<char, int>> wire;
  line_->setResponder([&](const Bytes& in) {
    const int rate = line_->baudRate();
    processor_->onHostBaudRate(rate);
    Bytes out;
    for (size_t i = 0; i < in.size(); ++i) {
      char what = 0;
      if (in[i] == 'A' && in.size() == 1) what = 'A';
      if (i + 2 < in.size() && in[i] == 0x01 && in[i + 1] == 0x66 && in[i + 2] == 0x99) what = 'P';
      if (what != 0 && (wire.empty() || wire.back() != std::make_pair(what, rate)))
        wire.emplace_back(what, rate);
      processor_->onByte(in[i], out);
    }
    // A line that carries the one-byte echo but garbles the kernel's packets at the high rate.
    if (c.dropKernelReplies && rate == 115200 && !(out.size() == 1 && out[0] == 'A')) return Bytes{};
    return out;
  });
  ASSERT_EQ(PRG_SetOptions(handle_, c.options), 0);

  const int32_t result = PRG_Open(handle_);

  EXPECT_EQ(result == PRG_DONE, c.connects) << (messages_.empty() ? "" : messages_.back());
  EXPECT_EQ(PRG_GetKernelRateFailed() != 0, c.rateFailed);
  if (!c.connects) {
    EXPECT_TRUE(sawMessage(c.message)) << (messages_.empty() ? "" : messages_.back());
  }
  // Probe packets of a kernel left running go out first; from the first "A" on the order is the rule.
  while (!wire.empty() && wire.front().first == 'P') wire.erase(wire.begin());
  EXPECT_EQ(wire, c.wire);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, BootAndKernelRates,
    ::testing::Values(
        RateCase{"BootLowKernelHigh",
                 "EmuBaudRate=115200,PrgBootBaudRate=19200",
                 0,
                 false,
                 true,
                 false,
                 "",
                 {{'A', 19200}, {'A', 115200}, {'P', 115200}}},
        RateCase{"OneRateSendsNoPing", "EmuBaudRate=115200", 0, false, true, false, "", {{'A', 115200}}},
        RateCase{"KernelGivesNoEchoAtTheHighRate",
                 "EmuBaudRate=115200,PrgBootBaudRate=19200",
                 38400,
                 false,
                 false,
                 true,
                 "Autobaud failed after loading application\n",
                 {{'A', 19200}, {'A', 115200}}},
        RateCase{"KernelDoesNotAnswerItsPing",
                 "EmuBaudRate=115200,PrgBootBaudRate=19200",
                 0,
                 true,
                 false,
                 true,
                 "The flash kernel did not answer its ping at 115200 baud\n",
                 {{'A', 19200}, {'A', 115200}, {'P', 115200}}},
        RateCase{"BootRomThatDoesNotLockIsNoRateFailure",
                 "EmuBaudRate=115200,PrgBootBaudRate=57600",
                 38400,
                 false,
                 false,
                 false,
                 "Autobaud failed before loading application\n",
                 // the boot ROM path's own retries: a probe for a kernel, a reset, the autobaud again
                 {{'A', 57600}, {'P', 57600}, {'A', 57600}}}),
    [](const ::testing::TestParamInfo<RateCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace axtune::test
