// doctor: what keeps the serial ports from working on this Linux machine, one line per check, each
// problem with the command that fixes it. Exit 0 when nothing blocks.
#include <sys/types.h>
#include <unistd.h>

#include <pwd.h>
#include <ostream>

#include "cli/cli_internal.h"
#include "cli/doctor_checks.h"

namespace axtune::cli {

namespace {

DoctorUser CurrentUser() {
  DoctorUser user;
  user.uid = static_cast<uint32_t>(::getuid());
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr) user.name = entry->pw_name;
  if (user.name.empty()) user.name = std::to_string(user.uid);
  user.groups.push_back(static_cast<uint32_t>(::getgid()));
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
      user.groups.push_back(static_cast<uint32_t>(groups[static_cast<size_t>(i)]));
  }
  return user;
}

int ReportDoctor(Context& context, const std::vector<Finding>& findings) {
  const bool blocks = Blocks(findings);
  if (context.options.json) {
    Json checks = Json::array();
    for (const Finding& f : findings) {
      Json c = Json::object();
      c.set("check", f.check).set("status", SeverityName(f.severity)).set("subject", f.subject);
      c.set("message", f.message).set("fix", f.fix);
      checks.push(c);
    }
    Json j = Json::object();
    j.set("ok", !blocks).set("checks", checks);
    j.write(context.out);
  } else {
    for (const Finding& f : findings) {
      const char* label = f.severity == Severity::Ok        ? "OK     "
                          : f.severity == Severity::Warning ? "WARNING"
                                                            : "PROBLEM";
      context.out << label << "  " << f.check;
      if (!f.subject.empty()) context.out << ' ' << f.subject;
      context.out << ": " << f.message << '\n';
      if (!f.fix.empty()) context.out << "         fix: " << f.fix << '\n';
    }
  }
  return blocks ? kExitDrive : kExitOk;
}

}  // namespace

int CmdDoctor(Context& context) {
  DoctorSystem system;
  system.user = CurrentUser();
  system.ownPid = static_cast<int>(::getpid());
  return ReportDoctor(context, RunDoctor(system, context.options.port));
}

}  // namespace axtune::cli
