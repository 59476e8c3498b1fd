#include "app/app_options.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/open_error_text.h"

namespace axtune {
namespace {

TEST(AppOptions, EnglishAnywhereAndOtherArgumentsIgnored) {
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  const char* plain[] = {"axtune", "COM3", "-style", "fusion"};
  AppOptions options = ParseAppOptions(4, plain);
  EXPECT_EQ(options.language, Language::German);
  EXPECT_FALSE(options.simulate);
  EXPECT_TRUE(options.ignored.empty());

  const char* english[] = {"axtune", "--simulate", "--frobnicate", "/english"};
  options = ParseAppOptions(4, english);
  EXPECT_EQ(options.language, Language::English);
  EXPECT_TRUE(options.simulate);
  EXPECT_FALSE(options.help);
  EXPECT_EQ(options.ignored, std::vector<std::string>{"--frobnicate"}) << "reported, not fatal";

  const char* help[] = {"axtune", "--lang=en", "-h", "--screenshot=/tmp/x.png"};
  options = ParseAppOptions(4, help);
  EXPECT_TRUE(options.help);
  EXPECT_EQ(options.language, Language::English);
  EXPECT_EQ(options.screenshot, "/tmp/x.png");
  unsetenv("LC_ALL");
}

TEST(OpenPortFailureText, NamesThePortTheDeviceAndTheReason) {
  SetLanguage(Language::German);
  const std::string busy =
      OpenPortFailureText(3, "/dev/ttyUSB0", PortOpenError::Busy, "Device or resource busy");
  EXPECT_EQ(busy.rfind("Open com port failed\n\nCOM3 (/dev/ttyUSB0):\n", 0), 0u) << busy;
  EXPECT_NE(busy.find("anderes Programm"), std::string::npos) << busy;
  EXPECT_NE(busy.find("Device or resource busy"), std::string::npos);
  // A device that cannot be looked at gets the usual serial group (the group is the device's own
  // when it can, see the core's test).
  const std::string denied =
      OpenPortFailureText(1, "/dev/axtune-no-such-tty", PortOpenError::PermissionDenied, "");
  EXPECT_NE(denied.find("\"dialout\""), std::string::npos) << denied;
  // Without an OS reason and a device the message stays short.
  EXPECT_EQ(OpenPortFailureText(2, "", PortOpenError::Other, ""), "Open com port failed\n\nCOM2");
  SetLanguage(Language::English);
}

}  // namespace
}  // namespace axtune
