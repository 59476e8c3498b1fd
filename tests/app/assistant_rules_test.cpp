// The commissioning assistant's rules without a window: the motor proposal at the drive's limits,
// the switch bookkeeping, the parameter file's proposed name and the report's section of checks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "app/assistant/check_record.h"
#include "app/assistant/motor_proposal.h"
#include "app/assistant/switch_check.h"
#include "core/commissioning_report.h"
#include "core/parameter_dictionary.h"

namespace axtune {
namespace {

struct ProposalCase {
  const char* name;
  double rated;
  MotorLimits limits;
  bool ok;
  int current;
  double idle;
  int delay;
  bool capped;
};

class MotorProposalTest : public ::testing::TestWithParam<ProposalCase> {};

TEST_P(MotorProposalTest, StaysWithinTheDrivesLimits) {
  const ProposalCase& c = GetParam();
  const MotorProposal p = ProposeMotorSettings(c.rated, c.limits);
  ASSERT_EQ(p.ok, c.ok);
  if (!c.ok) return;
  EXPECT_EQ(p.currentMa, c.current);
  EXPECT_DOUBLE_EQ(p.idlePercent, c.idle);
  EXPECT_EQ(p.idleDelayMs, c.delay);
  EXPECT_EQ(p.currentCapped, c.capped);
}

const MotorLimits kQmx = {7000, 100, 3000};
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Rule, MotorProposalTest,
    ::testing::Values(
        ProposalCase{"typical", 1500, kQmx, true, 1500, 50, 500, false},
        ProposalCase{"rounded_down_never_above_rated", 1499.9, kQmx, true, 1499, 50, 500, false},
        ProposalCase{"exactly_the_limit", 7000, kQmx, true, 7000, 50, 500, false},
        ProposalCase{"just_above_the_limit", 7000.5, kQmx, true, 7000, 50, 500, true},
        ProposalCase{"far_above_the_limit", 12000, kQmx, true, 7000, 50, 500, true},
        ProposalCase{"smallest", 1, kQmx, true, 1, 50, 500, false},
        ProposalCase{"below_one_mA", 0.5, kQmx, false, 0, 0, 0, false},
        ProposalCase{"zero", 0, kQmx, false, 0, 0, 0, false},
        ProposalCase{"negative", -800, kQmx, false, 0, 0, 0, false},
        ProposalCase{"not_a_number", kNaN, kQmx, false, 0, 0, 0, false},
        ProposalCase{"small_idle_and_delay_limits", 2000, {3000, 40, 200}, true, 2000, 40, 200, false},
        ProposalCase{"drive_without_current", 2000, {0, 100, 3000}, false, 0, 0, 0, false}),
    [](const ::testing::TestParamInfo<ProposalCase>& info) { return std::string(info.param.name); });

// What the rule proposes must pass the same range check the bound fields apply, or accepting it
// would be refused by the field.
TEST(MotorProposal, DictionaryLimitsTakeEveryProposal) {
  const MotorLimits limits = DriveMotorLimits();
  EXPECT_DOUBLE_EQ(limits.maxCurrentMa, 7000);
  EXPECT_NEAR(limits.maxIdlePercent, 100, 0.01);
  EXPECT_DOUBLE_EQ(limits.maxIdleDelayMs, 3000);
  for (double rated : {1.0, 950.0, 7000.0, 9000.0}) {
    const MotorProposal p = ProposeMotorSettings(rated, limits);
    ASSERT_TRUE(p.ok);
    const std::pair<const char*, double> values[] = {{"motor-current", p.currentMa},
                                                     {"idle-current-level", p.idlePercent},
                                                     {"idle-current-delay", p.idleDelayMs}};
    for (const auto& [name, value] : values) {
      std::ostringstream text;  // as the step types it: no trailing zeros
      text << value;
      const RawResult raw = ParseUserValue(*FindParameter(name), text.str(), Language::English);
      EXPECT_TRUE(raw.ok) << name << " " << value << ": " << raw.error;
    }
  }
}

TEST(SwitchCheck, TicksAnInputOnlyWhenItsStateChanged) {
  // DE1 lower, DE2 upper, DE3 reference, DE4 stop, DE5 a profile input, DE7 a second reference.
  const uint16_t functions[10] = {1, 2, 3, 4, 5, 0, 3, 0, 0, 10};
  SwitchCheck check;
  check.Configure(functions);
  ASSERT_EQ(check.Inputs().size(), 5u);
  EXPECT_EQ(check.Inputs()[4].input, 7);

  const uint16_t idle = 0x0200 | 0x0400;  // both limits not reached, nothing else active
  check.Observe(idle);
  check.Observe(idle);
  EXPECT_EQ(check.NeverChanged().size(), 5u);
  EXPECT_FALSE(check.Inputs()[0].ticked());
  EXPECT_FALSE(*check.Inputs()[0].active);

  check.Observe(idle & ~0x0200);  // lower limit reached
  check.Observe(idle);
  check.Observe(idle | 0x1000);  // stop pressed and held
  EXPECT_TRUE(check.Inputs()[0].ticked());
  EXPECT_EQ(check.Inputs()[0].changes, 2);
  EXPECT_TRUE(check.Inputs()[3].ticked());
  EXPECT_TRUE(*check.Inputs()[3].active);
  EXPECT_FALSE(check.Inputs()[1].ticked());
  std::vector<int> never;
  for (const SwitchInput& in : check.NeverChanged()) never.push_back(in.input);
  EXPECT_EQ(never, (std::vector<int>{2, 3, 7}));
  EXPECT_FALSE(check.AllTicked());

  // The drive reports the reference once: both reference inputs tick together.
  check.Observe(idle | 0x1000 | 0x0800);
  check.Observe(0x0200);  // upper reached, everything else released
  EXPECT_TRUE(check.AllTicked());

  check.Restart();
  EXPECT_EQ(check.NeverChanged().size(), 5u);
  EXPECT_FALSE(check.Inputs()[0].active.has_value());
}

TEST(SwitchCheck, TheFirstPollIsNoChange) {
  const uint16_t functions[10] = {3};
  SwitchCheck check;
  check.Configure(functions);
  check.Observe(0x0800);  // already on the reference cam when the step begins
  EXPECT_FALSE(check.Inputs()[0].ticked());
  check.Observe(0x0000);
  EXPECT_TRUE(check.Inputs()[0].ticked());
}

TEST(CheckRecord, ProposedFileNameIsSafeForEveryFileSystem) {
  EXPECT_EQ(ProposedParameterFileName("Press 4", "Z axis"), "Press-4_Z-axis.qmx");
  EXPECT_EQ(ProposedParameterFileName("  Line/2 : cell*3 ", ""), "Line-2-cell-3.qmx");
  EXPECT_EQ(ProposedParameterFileName("", "X"), "X.qmx");
  EXPECT_EQ(ProposedParameterFileName("Fräse", "Achse?\t1"), "Fräse_Achse-1.qmx");
  EXPECT_EQ(ProposedParameterFileName("..", "<>"), "");
  EXPECT_EQ(ProposedParameterFileName("", ""), "");
}

TEST(CheckRecord, ALaterCheckOfAStepReplacesTheEarlierOneAndStepsStayInOrder) {
  CheckRecord record;
  record.Record(AssistantStep::Direction, {"3 Direction", "v", "not confirmed", "t", "u", false});
  record.Record(AssistantStep::Drive, {"1 Drive", "v", "from drive", "t", "u", true});
  record.Record(AssistantStep::Direction, {"3 Direction", "v", "confirmed", "t", "u", true});
  const std::vector<CommissioningCheck> checks = record.InStepOrder();
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_EQ(checks[0].step, "1 Drive");
  EXPECT_EQ(checks[1].confirmed, "confirmed");
}

TEST(CommissioningReport, ChecksSectionListsEachStepEscapedAndMarksOpenOnes) {
  ReportData data;
  data.language = Language::English;
  EXPECT_EQ(BuildReportHtml(data).find("Commissioning checks"), std::string::npos);
  data.checks = {
      {"2 Motor", "Motor current 1500 mA rms", "Proposal accepted", "2026-12-08 06:10", "A <Tech>", true},
      {"4 Switches", "DE1, DE3", "Never changed: DE3 Reference switch", "2026-12-08 06:14", "A <Tech>",
       false}};
  const std::string html = BuildReportHtml(data);
  const size_t section = html.find("<h2>Commissioning checks</h2>");
  ASSERT_NE(section, std::string::npos);
  const std::string rows = html.substr(section, html.find("</table>", section) - section);
  EXPECT_NE(rows.find(">Step</th><th width=\"35%\">Values</th>"), std::string::npos);
  EXPECT_NE(rows.find(">By</th></tr>"), std::string::npos);
  EXPECT_NE(rows.find("<b>2 Motor</b>"), std::string::npos);
  EXPECT_NE(rows.find("A &lt;Tech&gt;"), std::string::npos);
  EXPECT_LT(rows.find("2 Motor"), rows.find("4 Switches"));
  EXPECT_NE(rows.find("<b>Open:</b> Never changed: DE3 Reference switch"), std::string::npos);
  EXPECT_EQ(rows.find("<b>Open:</b> Proposal accepted"), std::string::npos);

  data.language = Language::German;
  EXPECT_NE(BuildReportHtml(data).find("Inbetriebnahme-Prüfungen"), std::string::npos);
}

}  // namespace
}  // namespace axtune
