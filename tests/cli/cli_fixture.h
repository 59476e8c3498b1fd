// Runs axtune-cli command lines in-process against a simulated drive that the test keeps, so it can
// look at the drive before and after.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
  }
  void TearDown() override {
    sleeper_.reset();
    sim::unregisterSimulatedDrive(kDevice);
    std::filesystem::remove_all(dir_);
  }

  void makeDrive(sim::SimConfig config) {
    sleeper_.reset();
    drive_ = sim::registerSimulatedDrive(kDevice, config);
    sleeper_ = std::make_unique<ScopedSleeper>(drive_->sleeper());
    env_.simDrive = drive_;
    env_.simDeviceName = kDevice;
  }

  // Runs "axtune-cli --port sim ARGS" (or ARGS alone when withPort is false).
  RunResult run(std::vector<std::string> args, bool withPort = true) {
    if (withPort) args.insert(args.begin(), {"--port", "sim"});
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.code = RunCli(args, out, err, env_);
    result.out = out.str();
    result.err = err.str();
    return result;
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  RecordWords record(int number) {
    RecordWords words{};
    EXPECT_TRUE(drive_->record(number, words));
    return words;
  }

  std::shared_ptr<sim::SimulatedDrive> drive_;
  std::unique_ptr<ScopedSleeper> sleeper_;
  CliEnvironment env_;
  std::filesystem::path dir_;
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
