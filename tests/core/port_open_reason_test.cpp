// The sentence for a port that did not open: the same for the window and axtune-cli, in the current
// language, and the permission advice names the group that owns the device.
#include "core/port_open_reason.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>

#include "res/strings.h"

namespace axtune {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32  // device groups and modes are a POSIX matter
class DeviceFile {
 public:
  explicit DeviceFile(mode_t mode)
      : path_(fs::temp_directory_path() / ("axtune_port_" + std::to_string(getpid()))) {
    std::ofstream(path_.string()) << "";
    ::chmod(path_.c_str(), mode);
  }
  ~DeviceFile() { fs::remove(path_); }
  std::string path() const { return path_.string(); }
  std::string groupName() const {
    struct stat info {};
    ::stat(path_.c_str(), &info);
    const struct group* g = ::getgrgid(info.st_gid);
    return g != nullptr ? g->gr_name : "";
  }

 private:
  fs::path path_;
};

TEST(PortOpenReason, PermissionAdviceNamesTheGroupThatOwnsTheDevice) {
  SetLanguage(Language::English);
  DeviceFile readWrite(0660);
  const std::string group = readWrite.groupName();
  ASSERT_FALSE(group.empty());
  EXPECT_EQ(DeviceAccessGroup(readWrite.path()), group);
  const std::string text = PortOpenReason(PortOpenError::PermissionDenied, readWrite.path());
  EXPECT_NE(text.find("\"" + group + "\" group"), std::string::npos) << text;
  EXPECT_NE(text.find("usermod -aG " + group + " $USER"), std::string::npos) << text;

  // A group that may only write (a terminal's) would not help: the advice names the device instead.
  DeviceFile writeOnly(0620);
  EXPECT_EQ(DeviceAccessGroup(writeOnly.path()), "");
  const std::string admin = PortOpenReason(PortOpenError::PermissionDenied, writeOnly.path());
  EXPECT_NE(admin.find("you may not open " + writeOnly.path()), std::string::npos) << admin;

  // A device that cannot be looked at: the usual serial group.
  EXPECT_EQ(DeviceAccessGroup("/dev/axtune-no-such-device"), "dialout");
}

#endif

TEST(PortOpenReason, EachCauseHasItsSentenceInBothLanguages) {
  SetLanguage(Language::German);
  EXPECT_NE(PortOpenReason(PortOpenError::Busy, "/dev/ttyUSB0").find("anderes Programm"), std::string::npos);
  EXPECT_NE(PortOpenReason(PortOpenError::NotFound, "").find("existiert nicht"), std::string::npos);
  SetLanguage(Language::English);
  EXPECT_NE(PortOpenReason(PortOpenError::Busy, "/dev/ttyUSB0").find("another program holds it"),
            std::string::npos);
  EXPECT_NE(PortOpenReason(PortOpenError::NotFound, "").find("does not exist"), std::string::npos);
  EXPECT_NE(PortOpenReason(PortOpenError::BadSettings, "").find("line settings"), std::string::npos);
  // Where nothing more is known, only the operating system's text can say it.
  EXPECT_EQ(PortOpenReason(PortOpenError::Other, "/dev/ttyS0"), "");
}

}  // namespace
}  // namespace axtune
