// What batch settles before it starts a drive: the per-drive file names ({port}, {type}, {n}), the
// refusal of one file for two drives, ports that are one device, and a ports file that is no text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/batch_targets.h"
#include "cli/cli.h"

namespace axtune::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct OutputCase {
  const char* name;
  std::vector<std::string> command;
  std::vector<std::string> ports;
  // The file each drive writes ({type} filled with the drive's type "QMX10-BA"), or empty when
  // the batch is refused before it starts.
  std::vector<std::string> files;
};

void PrintTo(const OutputCase& c, std::ostream* os) {
  *os << c.name;
}

const OutputCase kOutputCases[] = {
    {"PortMadeFileSafe",
     {"save", "line-{port}.qmx"},
     {"/dev/ttyUSB0", "rfc2217://Host:4001", "COM3"},
     {"line-ttyUSB0.qmx", "line-Host-4001.qmx", "line-COM3.qmx"}},
    {"LineNumberAndType",
     {"report", "out/{n}-{type}.html"},
     {"/dev/ttyUSB0", "/dev/ttyUSB1"},
     {"out/1-QMX10-BA.html", "out/2-QMX10-BA.html"}},
    {"OneFileForTwoDrives", {"save", "same.qmx"}, {"/dev/ttyUSB0", "/dev/ttyUSB1"}, {}},
    {"OneFileSpelledTwoWays", {"save", "./{n}/../same.qmx"}, {"/dev/ttyUSB0", "/dev/ttyUSB1"}, {}},
    {"OnlyTheTypeDiffersBeforeIdentification", {"save", "{type}.qmx"}, {"/dev/ttyUSB0", "/dev/ttyUSB1"}, {}},
    {"OneDriveNeedsNoPlaceholder", {"save", "same.qmx"}, {"/dev/ttyUSB0"}, {"same.qmx"}},
    {"ACommandWithoutOutputFile", {"identify"}, {"/dev/ttyUSB0", "/dev/ttyUSB1"}, {"", ""}},
};

class BatchOutputs : public ::testing::TestWithParam<OutputCase> {};

TEST_P(BatchOutputs, EachDriveGetsItsOwnFileOrTheBatchIsRefused) {
  const OutputCase& c = GetParam();
  const std::string problem = SharedOutputProblem(c.command, c.ports);
  if (c.files.empty()) {
    EXPECT_THAT(problem, HasSubstr("would both write"));
    EXPECT_THAT(problem, HasSubstr("put {port} or {n} in the file name"));
    // The whole program refuses it as a usage error, before any drive is touched.
    std::vector<std::string> args = {"batch"};
    for (const std::string& port : c.ports) args.insert(args.end(), {"--port", port});
    args.push_back("--");
    args.insert(args.end(), c.command.begin(), c.command.end());
    std::ostringstream out, err;
    CliEnvironment env;
    env.programPath = "/nonexistent/axtune-cli";
    EXPECT_EQ(RunCli(args, out, err, env), 2);
    EXPECT_THAT(err.str(), HasSubstr("would both write"));
    return;
  }
  EXPECT_EQ(problem, "");
  ASSERT_EQ(c.files.size(), c.ports.size());
  const int output = OutputArgument(c.command);
  for (size_t i = 0; i < c.ports.size(); ++i) {
    const std::string file =
        output < 0 ? "" : ExpandDrivePlaceholders(c.command[output], c.ports[i], "QMX10-BA", i + 1);
    EXPECT_EQ(file, c.files[i]) << "drive " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BatchOutputs, ::testing::ValuesIn(kOutputCases),
                         [](const auto& info) { return std::string(info.param.name); });

class BatchPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("axtune_batch_ports_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  int run(std::vector<std::string> args, std::string& err) {
    std::ostringstream out, errStream;
    CliEnvironment env;
    env.programPath = "/nonexistent/axtune-cli";
    const int code = RunCli(args, out, errStream, env);
    err = errStream.str();
    return code;
  }
  fs::path dir_;
};

TEST_F(BatchPorts, APortsFileThatIsAFolderOrBinaryIsAFileErrorAndOneDeviceIsNamedOnce) {
  std::string err;
  EXPECT_EQ(run({"batch", "--ports", dir_.string(), "--", "identify"}, err), 3);
  EXPECT_THAT(err, HasSubstr("is a folder"));

  const fs::path binary = dir_ / "ports.bin";
  std::ofstream(binary, std::ios::binary) << std::string("/dev/ttyUSB0\n\0\x01\x02/dev/x\n", 22);
  EXPECT_EQ(run({"batch", "--ports", binary.string(), "--", "identify"}, err), 3);
  EXPECT_THAT(err, HasSubstr("is not a text file (byte 13"));

  // A link to a device and the device itself are one port.
  std::ofstream(dir_ / "ttyFAKE0") << "";
  fs::create_symlink(dir_ / "ttyFAKE0", dir_ / "axis-x");
  EXPECT_EQ(run({"batch", "--port", (dir_ / "ttyFAKE0").string(), "--port", (dir_ / "axis-x").string(), "--",
                 "identify"},
                err),
            2);
  EXPECT_THAT(err, HasSubstr("are one device"));
}

TEST(BatchJobsLimit, TheOpenFileLimitCapsTheChildrenAtOnce) {
  std::string note;
  EXPECT_EQ(BatchJobs(0, 3, note), 3);
  EXPECT_EQ(note, "");
  const int many = BatchJobs(0, 1000000, note);
  EXPECT_GE(many, 1);
  EXPECT_LT(many, 1000000);
  EXPECT_THAT(note, HasSubstr("wait their turn"));
}

}  // namespace
}  // namespace axtune::cli
