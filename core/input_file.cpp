#include "core/input_file.h"

#include <filesystem>
#include <system_error>

namespace axtune {

std::string NonRegularInputProblem(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);  // follows a symbolic link
  // A name the system cannot even look up (a symbolic link that loops, a name too long, a folder
  // on the way that may not be searched) is named with the system's reason; a missing file is left
  // to the open, which says so.
  if (error && error != std::errc::no_such_file_or_directory)
    return "cannot open " + path + ": " + error.message();
  if (error || !fs::exists(status) || fs::is_regular_file(status)) return {};
  const char* what = "not a regular file";
  switch (status.type()) {
    case fs::file_type::directory:
      what = "a folder";
      break;
    case fs::file_type::fifo:
      what = "a FIFO (named pipe)";
      break;
    case fs::file_type::character:
    case fs::file_type::block:
      what = "a device";
      break;
    case fs::file_type::socket:
      what = "a socket";
      break;
    default:
      break;
  }
  return path + " is " + what + ", not a file: choose a file";
}

}  // namespace axtune
