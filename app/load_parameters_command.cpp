#include "app/load_parameters_command.h"

#include <QFile>
#include <QStringList>
#include <atomic>

#include "app/axtune_dlg.h"
#include "app/file_choosers.h"
#include "app/parameter_file_preview.h"
#include "app/parameter_report_commands.h"
#include "app/progress_dialog.h"
#include "app/unstored_changes.h"
#include "app/worker_job.h"
#include "controls/message_box.h"
#include "core/drive_identity.h"
#include "core/parameter_compare.h"
#include "core/parameter_file.h"
#include "core/record_word_labels.h"
#include "link/drive_link.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextTitle = 42101;
constexpr int kTextSending = 42104;
constexpr int kTextDriveTakesOver = 42105;
constexpr int kTextReadingFile = 42106;
constexpr int kTextCannotRead = 42131;
constexpr int kTextTooShort = 42132;
constexpr int kTextOtherDrive = 42133;
constexpr int kTextTooManyRecords = 42134;
constexpr int kTextRefused = 42135;
constexpr int kTextDoesNotFit = 42136;
constexpr int kTextDifferences = 42139;
constexpr int kTextOneDifference = 42195;
constexpr int kTextSilent = 42188;
constexpr int kTextCancelled = 42189;
// A message box has room for a screenful of differences; the rest are counted.
constexpr size_t kDifferenceLinesShown = 20;
constexpr int kTextLoaded = 42614;
constexpr int kTextTooLarge = 50000;
constexpr int kTextUnknownTrailer = 50001;
constexpr int kTextLoadButton = 51062;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

QString DifferenceList(const LoadOutcome& outcome) {
  QStringList lines;
  for (const std::string& line :
       DescribeDifferences(outcome.differences, RecordWordLabels(), kDifferenceLinesShown))
    lines << QString::fromStdString(line);
  return lines.join(QLatin1Char('\n'));
}

// What the user is told after the load; empty when all went well.
QString OutcomeText(const LoadOutcome& outcome, int count) {
  switch (outcome.result) {
    case LoadResult::Loaded: {
      QStringList parts;
      if (outcome.silentRecord >= 0) {
        parts
            << Tr(kTextSilent).arg(outcome.recordsTaken).arg(outcome.recordsToSend).arg(outcome.silentRecord);
      } else if (outcome.cancelled) {
        parts << Tr(kTextCancelled).arg(outcome.recordsTaken).arg(outcome.recordsToSend);
      }
      if (!outcome.refusedRecords.empty())
        parts << Tr(kTextRefused).arg(outcome.refusedRecords.size()).arg(outcome.recordsSent);
      if (!outcome.differences.empty())
        parts << (outcome.differences.size() == 1
                      ? Tr(kTextOneDifference).arg(DifferenceList(outcome))
                      : Tr(kTextDifferences).arg(outcome.differences.size()).arg(DifferenceList(outcome)));
      return parts.join(QStringLiteral("\n\n"));
    }
    case LoadResult::OpenFailed:
      return Tr(kTextCannotRead).arg(QString::fromStdString(outcome.reason));
    case LoadResult::BadIdentification:
      return Tr(kTextUnknownFileFormat);
    case LoadResult::TooShort:
      return Tr(kTextTooShort).arg(count);
    case LoadResult::CountMismatch:
      if (outcome.savedRecordCount < 0) return Tr(kTextDoesNotFit).arg(outcome.recordsInFile).arg(count);
      return Tr(kTextOtherDrive).arg(outcome.savedRecordCount).arg(count);
    case LoadResult::CountOutOfRange:
      return Tr(kTextTooManyRecords).arg(count);
    case LoadResult::TooLarge:
      return Tr(kTextTooLarge).arg(count).arg(MaxParameterFileBytes(count));
    case LoadResult::UnknownTrailer:
      return Tr(kTextUnknownTrailer).arg(count);
  }
  return {};
}

}  // namespace

// What the load will write, asked once: the file, where it comes from (the record count of the drive
// it was saved from, when and by whom) and how many values differ from the drive's. A drive that
// cannot be read leaves the count unknown.
bool ConfirmLoad(CAxtuneDlg& window, const QString& path) {
  if (!window.IsConnected()) return true;
  ParameterSet file;
  std::string error;
  // A file that does not read, or that is of another drive type, is refused by the load itself.
  if (!LoadParameterSet(QFile::encodeName(path).toStdString(), RecordCount(), file, error) ||
      static_cast<int>(file.records.size()) != RecordCount())
    return true;
  ParameterSet drive;
  int differing = -1;
  if (ReadDriveSet(window, Tr(kTextTitle), drive, error)) {
    differing = 0;
    for (const ParamDifference& d : CompareParameterSets(drive, file)) differing += d.equal() ? 0 : 1;
  }
  return AskWriteParameterFile(&window, path, file, differing, Tr(kTextLoadButton));
}

void RunLoadParametersCommand(CAxtuneDlg& window) {
  const QString path = ChooseFile(&window, FileChoice::LoadParameters);
  if (path.isEmpty()) return;
  // The file's values replace the drive's, unstored changes among them.
  if (!SettleUnstoredChanges(window, UnstoredReason::Load)) return;
  if (!ConfirmLoad(window, path)) return;
  const int count = RecordCount();

  CProgressDialog dialog(Tr(kTextTitle), true, &window);
  dialog.SetPhase(Tr(kTextReadingFile));
  // Cancel stops before the next record; a wait for a silent drive ends within one slice of it.
  std::atomic<bool> cancel{false};
  QObject::connect(&dialog, &CProgressDialog::CancelRequested, [&cancel] { cancel = true; });
  LoadHooks hooks;
  hooks.cancelled = [&cancel] { return cancel.load(); };
  hooks.progress = [&dialog](int done, int total) {
    PostToGui(&dialog, [&dialog, done, total] {
      dialog.SetPhase(Tr(kTextSending).arg(done).arg(total));
      dialog.SetProgress(static_cast<uint64_t>(done), static_cast<uint64_t>(total));
    });
  };
  // Between the records and the drive's pause: the GUI thread re-reads the active page and marks the
  // parameters as changed while the worker waits for it.
  // The cancel hook of the link stays off while the page reads: after a Cancel every wait would end
  // at once, and the page would show empty fields for a drive that answers.
  hooks.afterRecordsSent = [&window, &dialog, &cancel] {
    SetLinkCancel({});
    RunOnGui(&window, [&window, &dialog] {
      window.RefreshActivePage();
      window.NotifyParameterChanged(0);
      dialog.SetPhase(Tr(kTextDriveTakesOver));
      dialog.SetBusy();
    });
    SetLinkCancel([&cancel] { return cancel.load(); });
  };

  LoadOutcome outcome;
  LinkParameterRecordAccess access;
  const std::string file = QFile::encodeName(path).toStdString();
  window.PauseDriveTraffic();
  RunWithProgress(dialog, [&] {
    SetLinkCancel([&cancel] { return cancel.load(); });
    outcome = LoadParameterFile(access, count, file, hooks);
    SetLinkCancel({});
  });
  window.ResumeDriveTraffic();

  // A file with the identification counts as a change even when nothing was sent.
  if (outcome.markChanged) window.NotifyParameterChanged(0);
  const QString text = OutcomeText(outcome, count);
  if (!text.isEmpty()) {
    ShowMessage(&window, text);
  } else if (outcome.result == LoadResult::Loaded) {
    window.ShowStatusNote(Tr(kTextLoaded).arg(outcome.recordsSent));
  }
}

}  // namespace axtune
