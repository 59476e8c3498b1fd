// save FILE, load FILE: parameter files.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <vector>

#include "cli/cli_internal.h"
#include "core/parameter_file.h"
#include "core/record_word_labels.h"
#include "core/save_target.h"

namespace axtune::cli {
namespace {

constexpr size_t kNameFileBytes = 60;
constexpr const char* kExpertCode = "{Wartung}";

// The user name and company of the user dialog, from "name.dat" in the working directory: the name,
// a zero byte, the company, a zero byte. The expert code never goes into a parameter file.
void ReadNameFile(std::string& name, std::string& company) {
  std::vector<uint8_t> bytes;
  std::string reason;
  if (!ReadWholeFile("name.dat", bytes, reason)) return;
  if (bytes.size() > kNameFileBytes) bytes.resize(kNameFileBytes);
  const std::string text(bytes.begin(), bytes.end());
  const size_t end = text.find('\0');
  name = text.substr(0, end);
  if (end != std::string::npos) {
    company = text.substr(end + 1);
    company = company.substr(0, company.find('\0'));
  }
  if (const size_t code = company.find(kExpertCode); code != std::string::npos) company.resize(code);
}

}  // namespace

int CmdSave(Context& context) {
  const std::string& path = context.options.args[0];
  // A name the system cannot look up, or a folder that cannot take the file, is told before the
  // drive is read, not after all its records.
  std::string problem = SaveTargetLookupProblem(path, path);
  if (problem.empty()) problem = TargetFolderProblem(path);
  if (!problem.empty()) return Fail(context, kExitFile, problem + "; nothing was read from the drive");
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  Identity id;
  if (const int code = session.requireDrive(id); code != kExitOk) return code;

  ProgressPrinter progress(context);
  LinkParameterRecordAccess access;
  const CancelCheck cancelled = [&context] { return context.stopRequested(); };
  const RecordReadResult read = ReadParameterRecords(
      access, id.recordCount,
      [&](int done, int total) {
        progress.update("reading records", static_cast<uint64_t>(done), static_cast<uint64_t>(total));
      },
      cancelled);
  progress.finish();
  // Nothing has been written yet: an existing file keeps what it held.
  std::error_code statusError;
  const std::string unchanged =
      std::filesystem::exists(path, statusError) ? " (" + path + " is unchanged)" : "";
  if (read.cancelled || (!read.ok && context.stopRequested()))
    return Cancelled(context, "nothing was saved" + unchanged);
  if (!read.ok) {
    return Fail(context, kExitDrive,
                std::string(Text(kTextRecordsNotRead)) + " (record " + std::to_string(read.failedRecord) +
                    ": " + LinkErrorText(read.linkError) + ")");
  }
  std::string name;
  std::string company;
  ReadNameFile(name, company);
  if (context.options.user) name = *context.options.user;
  if (context.options.company) company = *context.options.company;

  const ParameterFileTrailer trailer{AbsoluteFilePath(path), FormatSaveDate(std::time(nullptr)), name,
                                     company};
  RemoveStaleSaveTemporaries(path);  // what an earlier save, killed while it wrote, left beside the file
  const FileWriteResult written =
      WriteFileAtomically(path, BuildParameterFile(read.records, trailer), cancelled);
  if (written.cancelled) return Cancelled(context, "nothing was saved" + unchanged);
  if (!written.ok) return Fail(context, kExitFile, written.reason + "; the file was not saved");

  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("file", trailer.path).set("records", id.recordCount);
    j.set("bytes", static_cast<unsigned long long>(written.bytesWritten)).set("date", trailer.date);
    j.set("user", name).set("company", company);
    j.write(context.out);
  } else {
    context.out << "saved " << id.recordCount << " records to " << trailer.path << " ("
                << written.bytesWritten << " bytes)\n";
  }
  return kExitOk;
}

int CmdLoad(Context& context) {
  const std::string& path = context.options.args[0];
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  Identity id;
  if (const int code = session.requireDrive(id); code != kExitOk) return code;

  ProgressPrinter progress(context);
  LoadHooks hooks;
  hooks.progress = [&](int done, int total) {
    progress.update("sending records", static_cast<uint64_t>(done), static_cast<uint64_t>(total));
  };
  hooks.cancelled = [&context] { return context.stopRequested(); };
  LinkParameterRecordAccess access;
  const LoadOutcome outcome = LoadParameterFile(access, id.recordCount, path, hooks);
  progress.finish();

  const std::string drive = "the drive has " + std::to_string(id.recordCount) + " records";
  const std::string saved =
      outcome.savedRecordCount >= 0
          ? "it was saved from a drive with " + std::to_string(outcome.savedRecordCount) + " records"
          : "it holds " + std::to_string(outcome.recordsInFile) + " whole records";
  // A refused file sends no record; the end-of-load command still goes out, as after every load
  // (it ends the drive's load mode and changes no parameter), and the message says so.
  const std::string notLoaded =
      outcome.endOfLoadSent
          ? "; no record was sent (the end-of-load command was, as after every load: it changes no parameter)"
          : "; nothing was sent";
  switch (outcome.result) {
    case LoadResult::OpenFailed:
      return Fail(context, kExitFile, outcome.reason);
    case LoadResult::BadIdentification:
      return Fail(context, kExitFile,
                  std::string(Text(kTextUnknownFileFormat)) + " (" + path +
                      " does not start with \"LWB V2.0\")" + notLoaded);
    case LoadResult::TooShort:
      return Fail(context, kExitFile,
                  path + " ends before the drive's last record (" + drive + ", " + saved + ")" + notLoaded);
    case LoadResult::CountMismatch:
      return Fail(context, kExitFile,
                  path + " was saved from another kind of drive (" + drive + ", " + saved + ")" + notLoaded);
    case LoadResult::CountOutOfRange:
      return Fail(context, kExitDrive, drive + ", more than a parameter file can carry" + notLoaded);
    case LoadResult::TooLarge:
      return Fail(context, kExitFile,
                  path + " is longer than any parameter file for this drive can be (" + drive + "; at most " +
                      std::to_string(MaxParameterFileBytes(id.recordCount)) + " bytes)" + notLoaded);
    case LoadResult::UnknownTrailer:
      return Fail(context, kExitFile,
                  path + ": what follows the records is no parameter file trailer, so there is no telling " +
                      "where the records end (" + drive + ")" + notLoaded);
    case LoadResult::Loaded:
      break;
  }
  // Words the drive holds other than the file: reported, not a failure.
  const RecordWordLabeller labels = RecordWordLabels();
  if (!outcome.differences.empty() && !context.options.json) {
    const bool one = outcome.differences.size() == 1;
    context.out << "the drive holds "
                << (one ? std::string("one value") : std::to_string(outcome.differences.size()) + " values")
                << " other than the file's (it limited " << (one ? "it" : "them") << " or does not let "
                << (one ? "it" : "them") << " be changed):\n";
    for (const std::string& line : DescribeDifferences(outcome.differences, labels))
      context.out << "  " << line << "\n";
  }
  const std::string took = "the drive on " + session.portLabel() + " took " +
                           std::to_string(outcome.recordsTaken) + " of " +
                           std::to_string(outcome.recordsToSend) + " records";
  // A stop that cut a record's wait short is the user's cancel, not a silent drive.
  if (outcome.cancelled || context.stopRequested()) {
    return Cancelled(context, took + " (" + std::to_string(outcome.recordsSent) +
                                  " sent); the others keep their values: load the file again");
  }
  if (outcome.silentRecord >= 0) {
    return Fail(context, kExitDrive,
                took + "; record " + std::to_string(outcome.silentRecord) + " got no answer" +
                    (outcome.endOfLoadSent ? " (the end-of-load command was sent)" : "") +
                    ": check that the drive is switched on and the cable is plugged in, then load the file "
                    "again");
  }
  if (!outcome.refusedRecords.empty()) {
    std::string which;
    for (size_t i = 0; i < outcome.refusedRecords.size() && i < 10; ++i)
      which += (i ? ", " : "") + std::to_string(outcome.refusedRecords[i]);
    if (outcome.refusedRecords.size() > 10) which += ", ...";
    return Fail(context, kExitDrive,
                took + "; record" + (outcome.refusedRecords.size() > 1 ? "s " : " ") + which +
                    " got no proper answer after " + std::to_string(kRecordWriteAttempts) +
                    " attempts: load the file again");
  }
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("file", path).set("recordsSent", outcome.recordsSent);
    // "recordsConfirmed" is the older name of the same count; scripts may still read it.
    j.set("recordsTaken", outcome.recordsTaken).set("recordsConfirmed", outcome.recordsTaken);
    Json differences = Json::array();
    for (const RecordWordDifference& d : outcome.differences) {
      Json item = Json::object();
      item.set("record", d.record).set("word", d.word).set("file", static_cast<int>(d.fileValue));
      item.set("drive", static_cast<int>(d.driveValue));
      if (labels) {
        const RecordWordLabel label = labels(d.record, d.word);
        if (!label.name.empty()) item.set("name", label.name).set("unit", label.unit);
      }
      differences.push(std::move(item));
    }
    j.set("differences", std::move(differences));
    j.set("endOfLoadSent", outcome.endOfLoadSent).set("stored", false);
    j.write(context.out);
  } else {
    context.out << "sent " << outcome.recordsSent << " records from " << path << "; run '" << kProgram
                << " store' to keep them over a power cycle\n";
  }
  return kExitOk;
}

}  // namespace axtune::cli
