// Runs axtune-cli command lines in-process against a simulated drive that the test keeps, so it can
// look at the drive before and after.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "link/sleeper.h"
#include "sim/simulated_drive.h"
#include "tests/cli/json_reader.h"
#include "tests/support/reply_styles.h"
#include "tests/support/test_env.h"

namespace axtune::cli::testing {

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;
  JsonValue json() const { return JsonReader::parse(out); }
};

// Where the user's data folder (and in it the update log) is found.
#ifdef _WIN32
inline constexpr const char* kDataHomeVariable = "LOCALAPPDATA";
#else
inline constexpr const char* kDataHomeVariable = "XDG_DATA_HOME";
#endif

class CliTest : public ::testing::Test {
 protected:
  static constexpr const char* kDevice = "sim:cli-test";

  void SetUp() override {
    axtune::test::UnsetEnv("AXTUNE_PORT");
    makeDrive(sim::SimConfig::unitTest());
    dir_ = std::filesystem::temp_directory_path() /
           ("axtune_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    // Each test its own update log: the processor of a retried update comes from it, and every test
    // runs on the port "sim".
    const char* data = std::getenv(kDataHomeVariable);
    dataHome_ = data != nullptr ? data : "";
    axtune::test::SetEnv(kDataHomeVariable, (dir_ / "data").string());
  }
  void TearDown() override {
    sleeper_.reset();
    sim::unregisterSimulatedDrive(kDevice);
    if (dataHome_.empty()) {
      axtune::test::UnsetEnv(kDataHomeVariable);
    } else {
      axtune::test::SetEnv(kDataHomeVariable, dataHome_);
    }
    std::filesystem::remove_all(dir_);
  }

  void makeDrive(sim::SimConfig config) {
    sleeper_.reset();
    drive_ = sim::registerSimulatedDrive(kDevice, config);
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    env_.simDrive = drive_;
    env_.simDeviceName = kDevice;
    // Every QMX10 type is an F280x: a simulated F28335 is one the user names.
    namedProcessor_ = config.flashGeometry == "F28335" ? "F28335" : "";
  }

  // Runs "axtune-cli --port sim ARGS" (or ARGS alone when withPort is false).
  // A flash on a simulated F28335 names it (unless the test names one or turns nameProcessor_ off).
  RunResult run(std::vector<std::string> args, bool withPort = true) {
    if (nameProcessor_ && !namedProcessor_.empty() && !args.empty() && args.front() == "flash" &&
        std::find(args.begin(), args.end(), "--processor") == args.end())
      args.insert(args.end(), {"--processor", namedProcessor_});
    if (withPort) args.insert(args.begin(), {"--port", "sim"});
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.code = RunCli(args, out, err, env_);
    result.out = out.str();
    result.err = err.str();
    return result;
  }

  std::string path(const std::string& name) const {
    return (dir_ / name).string();
  }

  RecordWords record(int number) {
    RecordWords words{};
    EXPECT_TRUE(drive_->record(number, words));
    return words;
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  CliEnvironment env_;
  std::filesystem::path dir_;
  std::string namedProcessor_;
  bool nameProcessor_ = true;
  std::string dataHome_;
};

// The same, once per reply style of the drive (tests that write).
class CliStylesTest : public CliTest, public ::testing::WithParamInterface<axtune::test::SimReplyStyle> {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    sim::unregisterSimulatedDrive(kDevice);
    makeDrive(axtune::test::WithReplyStyle(sim::SimConfig::unitTest(), GetParam()));
  }
};

}  // namespace axtune::cli::testing
