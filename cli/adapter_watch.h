// status --watch with a USB adapter that is pulled out and plugged back in: a line when it goes, no
// polls of a dead port meanwhile, and a line when the same adapter is back (under whatever device
// name the system gives it then), after which the watch goes on.
#pragma once

#include <string>

#include "cli/cli_internal.h"

namespace axtune::cli {

class AdapterWatch {
 public:
  // Notes what the opened port's device is known by (its by-id name), to find it again.
  explicit AdapterWatch(const DriveSession& session);
  // After a poll without an answer: true when the adapter is gone (the first time with a line and
  // the port closed); `why` then says so. False for a drive that merely did not answer.
  bool explainFailure(Context& context, std::string& why);
  // While the adapter is gone: opens it again once it is back, with a line. Nothing otherwise.
  void comeBack(Context& context);
  bool away() const { return away_; }

 private:
  void line(Context& context, const std::string& event, const std::string& text);
  std::string currentDevice() const;

  std::string label_;
  std::string linkName_;
  std::string key_;  // by-id name; empty when the device has none
  bool away_ = false;
};

}  // namespace axtune::cli
