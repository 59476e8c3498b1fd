// report FILE.pdf|FILE.html: the commissioning report of the connected drive; history: the local
// log of firmware updates.
#include <cctype>
#include <cstdio>
#include <ostream>

#include "cli/cli_internal.h"
#include "core/commissioning_report.h"
#include "core/parameter_file.h"
#include "core/save_target.h"
#include "core/user_file.h"

namespace axtune::cli {
namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  std::string tail = text.substr(text.size() - suffix.size());
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == suffix;
}

Json EntryJson(const UpdateLogEntry& e) {
  Json j = Json::object();
  j.set("time", e.time).set("program", e.program).set("port", e.port);
  j.set("driveBefore", e.driveBefore).set("driveAfter", e.driveAfter).set("file", e.file);
  j.set("fileSize", static_cast<unsigned long long>(e.fileSize)).set("sha256", e.sha256);
  j.set("sections", e.sections).set("bytes", static_cast<unsigned long long>(e.bytes));
  j.set("outcome", e.outcome).set("seconds", e.seconds).set("bytesPerSecond", e.bytesPerSecond());
  return j;
}

}  // namespace

int CmdReport(Context& context) {
  const std::string& path = context.options.args[0];
  const bool pdf = EndsWith(path, ".pdf");
  if (!pdf && !EndsWith(path, ".html") && !EndsWith(path, ".htm"))
    return UsageError(context, "report writes FILE.pdf or FILE.html, not \"" + path + "\"");
  if (pdf && !context.env.writePdf)
    return Fail(context, kExitFile, "this build of axtune-cli writes no PDF (it has no Qt): write FILE.html");

  // A target the writer would refuse is told before the drive is read.
  if (const std::string problem = SaveTargetLookupProblem(path, path); !problem.empty())
    return Fail(context, kExitFile, problem);
  ReportData data;
  data.language = CurrentLanguage();
  if (context.options.reference) {
    ParameterSet reference;
    std::string error;
    // The reference's record count is checked against the drive's below, once it is known.
    if (!LoadParameterSet(*context.options.reference, 0, reference, error))
      return Fail(context, kExitFile, *context.options.reference + ": " + error);
    data.reference = reference;
  }
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  Identity id;
  if (const int code = session.requireDrive(id); code != kExitOk) return code;
  data.drive.typeText = id.typeText;
  data.drive.versionText = id.versionText;
  data.drive.versionNumber = id.versionNumber;
  data.drive.recordCount = id.recordCount;
  data.port = session.portLabel();
  LinkParameterRecordAccess access;
  std::string error;
  if (!ReadDriveParameterSet(access, id.recordCount, data.parameters, error))
    return Fail(context, kExitDrive, "the drive on " + session.portLabel() + ": " + error);
  data.parameters.source = id.typeText;

  UserEntry user;
  LoadUserFile(UserFilePath("."), user);
  data.userName = context.options.user.value_or(user.name);
  data.company = context.options.company.value_or(CheckExpertMode(user.company).shownCompany);
  data.dateTime = LocalDateTimeText();
  data.lastUpdate = LastUpdateOfType(ReadUpdateLog(), data.drive.typeText);

  const std::string html = BuildReportHtml(data);
  if (pdf) {
    if (!context.env.writePdf(html, path, error)) return Fail(context, kExitFile, error);
  } else {
    const FileWriteResult written = WriteFileAtomically(path, std::vector<uint8_t>(html.begin(), html.end()));
    if (!written.ok) return Fail(context, kExitFile, written.reason + "; the report was not written");
  }
  size_t differences = 0;
  if (data.reference) {
    for (const ParamDifference& d : CompareParameterSets(*data.reference, data.parameters))
      differences += !d.equal();
  }
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("file", AbsoluteFilePath(path)).set("format", pdf ? "pdf" : "html");
    j.set("drive", id.typeText).set("differences", static_cast<unsigned long long>(differences));
    j.set("lastUpdate", data.lastUpdate ? EntryJson(*data.lastUpdate) : Json());
    j.write(context.out);
  } else {
    context.out << "wrote the commissioning report of the " << id.typeText << " on " << session.portLabel()
                << " to " << AbsoluteFilePath(path);
    if (data.reference) context.out << " (" << differences << " differences to the reference)";
    context.out << '\n';
  }
  return kExitOk;
}

int CmdHistory(Context& context) {
  const std::string path = UpdateLogPath();
  const std::vector<UpdateLogEntry> log = ReadUpdateLog(path);
  if (context.options.json) {
    Json list = Json::array();
    for (const UpdateLogEntry& e : log) list.push(EntryJson(e));
    Json j = Json::object();
    j.set("ok", true).set("log", path).set("updates", list);
    j.write(context.out);
    return kExitOk;
  }
  if (log.empty()) context.out << "no firmware update logged yet (" << path << ")\n";
  for (const UpdateLogEntry& e : log) {
    char figures[96];
    std::snprintf(figures, sizeof figures, "%llu bytes, %d sections, %.1f s, %.0f bytes/s",
                  static_cast<unsigned long long>(e.fileSize), e.sections, e.seconds, e.bytesPerSecond());
    context.out << e.time << "  " << e.outcome << "  " << e.port << "  " << e.file << " (" << figures << ")\n"
                << "    sha256 " << e.sha256 << "\n    drive "
                << (e.driveBefore.empty() ? "?" : e.driveBefore) << " -> "
                << (e.driveAfter.empty() ? "?" : e.driveAfter) << "  (" << e.program << ")\n";
  }
  return kExitOk;
}

}  // namespace axtune::cli
