#include "app/save_parameters_command.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <ctime>

#include "app/axtune_dlg.h"
#include "app/file_choosers.h"
#include "app/progress_dialog.h"
#include "app/worker_job.h"
#include "controls/message_box.h"
#include "core/drive_identity.h"
#include "core/parameter_file.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextTitle = 42100;
constexpr int kTextReading = 42103;
constexpr int kTextWriteFailed = 42130;
constexpr int kTextTooManyRecords = 42134;
constexpr int kTextSavedTo = 42613;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

void ShowReading(CProgressDialog& dialog, int done, int total) {
  dialog.SetPhase(Tr(kTextReading).arg(std::min(done + 1, total)).arg(total));
  dialog.SetProgress(static_cast<uint64_t>(done), static_cast<uint64_t>(total));
}

RecordReadResult ReadRecordsWithProgress(CAxtuneDlg& window, int count) {
  RecordReadResult read;
  CProgressDialog dialog(Tr(kTextTitle), false, &window);
  ShowReading(dialog, 0, count);
  LinkParameterRecordAccess access;
  window.PauseDriveTraffic();
  RunWithProgress(dialog, [&] {
    read = ReadParameterRecords(access, count, [&dialog](int done, int total) {
      PostToGui(&dialog, [&dialog, done, total] { ShowReading(dialog, done, total); });
    });
  });
  window.ResumeDriveTraffic();
  return read;
}

}  // namespace

QString RunSaveParametersCommand(CAxtuneDlg& window, const QString& proposedName) {
  const int count = RecordCount();
  const RecordReadResult read = ReadRecordsWithProgress(window, count);
  if (read.countOutOfRange) {
    ShowMessage(&window, Tr(kTextTooManyRecords).arg(count));
    return {};
  }
  if (!read.ok) {
    ShowMessage(&window, Tr(kTextRecordsNotRead));
    return {};
  }

  QString path = ChooseFile(&window, FileChoice::SaveParameters, proposedName);
  if (path.isEmpty()) return {};
  // A name typed without an extension becomes a parameter file that the open dialog lists.
  if (QFileInfo(path).suffix().isEmpty())
    path += QStringLiteral(".") + QString::fromLatin1(kParameterFileSuffix);

  UserIdentity user = window.CurrentUser();
  if (user.name.isEmpty()) {
    window.ShowUserDialog();
    user = window.CurrentUser();
  }

  QApplication::setOverrideCursor(Qt::WaitCursor);
  const std::string file = QFile::encodeName(path).toStdString();
  const ParameterFileTrailer trailer{AbsoluteFilePath(file), FormatSaveDate(std::time(nullptr)),
                                     user.name.toLocal8Bit().toStdString(),
                                     user.company.toLocal8Bit().toStdString()};
  const FileWriteResult written = WriteFileAtomically(file, BuildParameterFile(read.records, trailer));
  QApplication::restoreOverrideCursor();
  if (!written.ok) {
    ShowMessage(&window, Tr(kTextWriteFailed).arg(QString::fromStdString(written.reason)));
    return {};
  }
  window.ShowStatusNote(Tr(kTextSavedTo).arg(QDir::toNativeSeparators(path)));
  return path;
}

}  // namespace axtune
