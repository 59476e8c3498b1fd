// A folder on a full file system, for the tests of what a write does when the disk fills: a tmpfs of
// a few KB mounted on the folder where the test may mount one (as root on Linux), otherwise an
// ordinary folder in which the one atomic writer is told to fail as a full disk does.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/save_target.h"

#ifdef __linux__
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace axtune::test {

class FullDiskFolder {
 public:
  explicit FullDiskFolder(const std::filesystem::path& folder) : folder_(folder) {
    std::filesystem::create_directories(folder_);
#ifdef __linux__
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k,mode=0755") == 0;
#endif
  }
  ~FullDiskFolder() {
    InjectWriteErrorForTesting(0);
#ifdef __linux__
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
#endif
  }
  FullDiskFolder(const FullDiskFolder&) = delete;
  FullDiskFolder& operator=(const FullDiskFolder&) = delete;

  const std::filesystem::path& path() const {
    return folder_;
  }
  bool mounted() const {
    return mounted_;
  }

  // Takes the last free byte: a filler file on the tmpfs, else the injected error.
  void fill() {
#ifdef __linux__
    if (mounted_) {
      const int fd = ::open((folder_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ASSERT_GE(fd, 0);
      char block[512] = {};
      while (::write(fd, block, sizeof block) > 0) {
      }
      EXPECT_EQ(errno, ENOSPC);
      ::close(fd);
      return;
    }
#endif
    InjectWriteErrorForTesting(ENOSPC);
  }

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
};

inline std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace axtune::test
