// flash --kernel: a kernel file of the user's instead of the built-in one, checked before anything is
// sent; and the warning before the built-in stand-in goes to a port that is not the simulated drive.
#include <fstream>
#include <functional>

#include "core/flash_kernel_file.h"
#include "sim/boot/boot_processor.h"
#include "sim/boot/standin_kernel.h"
#include "tests/cli/cli_fixture.h"

namespace axtune::cli::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kFirmware = std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
const std::string kStandIn = AXTUNE_KERNEL_IMAGE;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct KernelCase {
  const char* name;
  // The kernel file the test writes from the stand-in's bytes (or names as it is).
  std::function<std::string(const std::string& standIn, const std::string& dir)> make;
  int code;
  const char* inMessage;
  bool sent = false;  // the drive was told to hand over (the file passed its check)
};

class CliKernelFileTest : public CliTest, public ::testing::WithParamInterface<KernelCase> {};

TEST_P(CliKernelFileTest, UsesACheckedKernelAndRefusesOthersBeforeSendingAnything) {
  if (!std::filesystem::exists(kFirmware)) GTEST_SKIP() << "no C28x test file at " << kFirmware;
  const KernelCase& c = GetParam();
  sim::SimConfig config = sim::SimConfig::unitTest();
  config.flashGeometry = "F28335";
  makeDrive(config);
  const std::string kernel = c.make(ReadBytes(kStandIn), dir_.string());

  const RunResult r = run({"flash", kFirmware, "--kernel", kernel, "--json"});
  EXPECT_EQ(r.code, c.code) << r.err;
  EXPECT_THAT(r.out + r.err, HasSubstr(c.inMessage));
  const bool programmed = c.code == kExitOk;
  drive_->withProcessor([programmed](sim::BootProcessor& processor) {
    EXPECT_EQ(processor.flashWord(0x338000) != 0xFFFF, programmed);
  });
  if (programmed) {
    EXPECT_EQ(r.json()["kernel"].string, kernel);
  }
  if (!c.sent) {
    EXPECT_THAT(r.err, HasSubstr("nothing was sent"));
  }
}

std::string Write(const std::string& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

const KernelCase kKernelCases[] = {
    {"CopyOfTheKernel", [](const std::string& s, const std::string& d) { return Write(d, "kernel.out", s); },
     kExitOk, "Verify ok", true},
    // A sound kernel file that the simulated processor does not run: the update fails at the
    // kernel, which shows that the file, not the built-in kernel, went to the drive.
    {"AnotherKernel",
     [](const std::string& s, const std::string& d) {
       std::string bytes = s;
       const size_t at = bytes.find(sim::kStandInKernelSignature);
       if (at != std::string::npos) bytes[at] = 'X';
       return Write(d, "other.out", bytes);
     },
     kExitDrive, "Com open failed!", true},
    {"CutShort",
     [](const std::string& s, const std::string& d) {
       return Write(d, "short.out", s.substr(0, s.size() / 2));
     },
     kExitFile, "flash kernel"},
    {"NotCoff",
     [](const std::string&, const std::string& d) { return Write(d, "text.out", "not a kernel\n"); },
     kExitFile, "flash kernel"},
    {"FirmwareImageInFlash", [](const std::string&, const std::string&) { return kFirmware; }, kExitFile,
     "outside the processor's RAM"},
    // The refusal's advice is about the kernel being chosen, not the firmware.
    {"OtherProcessor",
     [](const std::string&, const std::string&) {
       return std::string(AXTUNE_TESTDATA_DIR) + "/coff/c55x_c5515_FIR.out";
     },
     kExitFile, "not for the drive's C28x processor (target 0x009D): choose the drive's flash kernel file"},
    {"CommaInName", [](const std::string& s, const std::string& d) { return Write(d, "a,b.out", s); },
     kExitFile, "comma"},
};

INSTANTIATE_TEST_SUITE_P(Kernels, CliKernelFileTest, ::testing::ValuesIn(kKernelCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The stand-in on a port that is not the built-in simulated drive: a device that does not exist, so
// that going on ends at the open and stopping ends before it.
struct StandInCase {
  const char* name;
  bool interactive;
  const char* answer;
  bool yes;
  bool asked;
  const char* outcome;  // in the error stream
};

class CliStandInTest : public CliTest, public ::testing::WithParamInterface<StandInCase> {};

TEST_P(CliStandInTest, WarnsBeforeTheStandInGoesToAnotherPort) {
  if (!BuiltInKernelIsStandIn()) GTEST_SKIP() << "this build embeds a real flash kernel";
  const StandInCase& c = GetParam();
  env_.interactive = c.interactive;
  std::istringstream input(c.answer);
  env_.input = &input;
  std::vector<std::string> args = {"--port", path("no-such-device"), "flash", kFirmware};
  if (c.yes) args.push_back("--yes");
  const RunResult r = run(args, false);
  EXPECT_EQ(r.code, kExitDrive);
  EXPECT_THAT(r.err, HasSubstr("only the stand-in flash kernel"));
  EXPECT_THAT(r.err, HasSubstr("--kernel FILE"));
  EXPECT_EQ(r.err.find("Go on with the stand-in kernel anyway?") != std::string::npos, c.asked);
  EXPECT_THAT(r.err, HasSubstr(c.outcome));
}

const StandInCase kStandInCases[] = {
    {"Script", false, "", false, false, "no-such-device"},
    {"TerminalDeclines", true, "n\n", false, true, "not started; nothing was sent"},
    {"TerminalEndsInput", true, "", false, true, "not started; nothing was sent"},
    {"TerminalAgrees", true, "y\n", false, true, "no-such-device"},
    {"YesAnswers", true, "", true, false, "no-such-device"},
};

INSTANTIATE_TEST_SUITE_P(Answers, CliStandInTest, ::testing::ValuesIn(kStandInCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, NoStandInWarningForTheSimulatedDrive) {
  const RunResult r = run({"flash", path("absent.out")});
  EXPECT_THAT(r.err, Not(HasSubstr("stand-in")));
}

}  // namespace
}  // namespace axtune::cli::testing
