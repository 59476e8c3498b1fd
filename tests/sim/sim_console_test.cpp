// The console of qmx-sim acting on the drive: a switch pressed and released from the console shows
// in the status the host reads, through the input wired to it, until "auto" gives it back to the
// simulated mechanics.
#include "sim/record_layout.h"
#include "sim/tool/console_commands.h"
#include "sim_test_support.h"

namespace axtune::sim::testing {
namespace {

using Console = LinkedDrive;

TEST_F(Console, SwitchOnOffAndAutoReachTheStatusThroughTheInput) {
  // At the start position the motor stands off the reference cam with both limits not reached.
  const uint16_t idle = read(kStatusRecordA)[8];
  ASSERT_EQ(idle & (kSwLowerNotReached | kSwUpperNotReached | kSwReference | kSwStop),
            kSwLowerNotReached | kSwUpperNotReached);

  const struct {
    const char* name;
    uint16_t bit;
    bool activeSets;
    int input;  // DE n (0-based) the default configuration wires to it
  } switches[] = {{"lower", kSwLowerNotReached, false, 0},
                  {"upper", kSwUpperNotReached, false, 1},
                  {"reference", kSwReference, true, 2},
                  {"stop", kSwStop, true, 3}};
  for (const auto& s : switches) {
    SCOPED_TRACE(s.name);
    EXPECT_TRUE(RunConsoleCommand(*drive_, std::string("switch ") + s.name + " on"));
    RecordWords status = read(kStatusRecordA);
    EXPECT_EQ((status[8] & s.bit) != 0, s.activeSets);
    EXPECT_NE(status[9] & (1u << s.input), 0u);
    RunConsoleCommand(*drive_, std::string("switch ") + s.name + " off");
    EXPECT_EQ(read(kStatusRecordA)[8], idle);
    RunConsoleCommand(*drive_, std::string("switch ") + s.name + " on");
    RunConsoleCommand(*drive_, std::string("switch ") + s.name + " auto");
    EXPECT_EQ(read(kStatusRecordA)[8], idle);
  }

  // A switch whose input is set to another function stays unseen, pressed or not.
  ASSERT_TRUE(WriteWords(kInputsRecord, 2, 0));
  RunConsoleCommand(*drive_, "switch reference on");
  EXPECT_EQ(read(kStatusRecordA)[8] & kSwReference, 0);
  // A line it does not know changes nothing.
  RunConsoleCommand(*drive_, "switch reference maybe");
  RunConsoleCommand(*drive_, "switch door on");
  ASSERT_TRUE(WriteWords(kInputsRecord, 2, 3));
  EXPECT_NE(read(kStatusRecordA)[8] & kSwReference, 0);
}

}  // namespace
}  // namespace axtune::sim::testing
