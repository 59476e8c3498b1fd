#include "app/parameter_report_commands.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/axtune_dlg.h"
#include "app/compare_dialog.h"
#include "app/connection_state_text.h"
#include "app/file_choosers.h"
#include "app/progress_dialog.h"
#include "app/worker_job.h"
#include "controls/message_box.h"
#include "core/commissioning_report.h"
#include "core/drive_identity.h"
#include "core/save_target.h"
#include "link/drive_link.h"
#include "report/report_pdf.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kTextReading = 42103;
constexpr int kTextCompareTitle = 49160, kTextReportTitle = 49130, kTextConnectedDrive = 49166;
constexpr int kTextSaved = 49175, kTextNotSaved = 49176, kTextChooseReference = 49177;
constexpr int kTextUnreadable = 49179;
constexpr int kTextNoDrive = 49180;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

bool LoadFileSet(CAxtuneDlg& window, const QString& path, ParameterSet& set) {
  std::string error;
  if (LoadParameterSet(QFile::encodeName(path).toStdString(), RecordCount(), set, error)) return true;
  ShowMessage(&window, Tr(kTextUnreadable).arg(QString::fromStdString(error)));
  return false;
}

}  // namespace

bool ReadDriveSet(CAxtuneDlg& window, const QString& title, ParameterSet& set, std::string& error) {
  const int count = RecordCount();
  CProgressDialog dialog(title, false, &window);
  dialog.SetPhase(Tr(kTextReading).arg(1).arg(count));
  dialog.SetBusy();
  LinkParameterRecordAccess access;
  bool ok = false;
  window.PauseDriveTraffic();
  RunWithProgress(dialog, [&] { ok = ReadDriveParameterSet(access, count, set, error); });
  window.ResumeDriveTraffic();
  // Named as the window's title names it: "QMX10-BA 4.1.7 on COM1 (/dev/ttyUSB0)".
  const QString windowTitle = window.windowTitle();
  const qsizetype dash = windowTitle.indexOf(QStringLiteral(" \u2013 "));
  set.source = dash >= 0
                   ? windowTitle.mid(dash + 3).toStdString()
                   : Tr(kTextConnectedDrive).toStdString() + " (" + PortLabel(window.CheckedPort()) + ")";
  return ok;
}

void RunCompareParametersCommand(CAxtuneDlg& window) {
  if (!window.IsConnected()) {
    ShowMessage(&window, Tr(kTextNoDrive));
    return;
  }
  const QString path = ChooseFile(&window, FileChoice::LoadParameters);
  if (path.isEmpty()) return;
  ParameterSet file;
  if (!LoadFileSet(window, path, file)) return;
  file.source = path.toStdString();
  ParameterSet drive;
  std::string error;
  if (!ReadDriveSet(window, Tr(kTextCompareTitle), drive, error)) {
    ShowMessage(&window, Tr(kTextUnreadable).arg(QString::fromStdString(error)));
    return;
  }
  CCompareDialog dialog(
      std::move(drive), std::move(file),
      [&window](const ParamEntry& entry) { window.NotifyParameterWritten(entry); }, &window);
  dialog.exec();
  // The page shown may hold a value the dialog wrote.
  window.RefreshActivePage();
}

bool WriteReportFile(const std::string& html, const QString& path, std::string& error) {
  if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
    return WriteHtmlAsPdf(html, QFile::encodeName(path).toStdString(), error);
  const FileWriteResult written =
      WriteBytesAtomically(QFile::encodeName(path).toStdString(), html.data(), html.size());
  error = written.reason;
  return written.ok;
}

QString RunReportCommand(CAxtuneDlg& window, const std::vector<CommissioningCheck>& checks,
                         const QString& proposedName) {
  if (!window.IsConnected()) {
    ShowMessage(&window, Tr(kTextNoDrive));
    return {};
  }
  ReportData data;
  data.language = CurrentLanguage();
  data.stored = !window.IsModified();
  // A reference file is optional: cancelling its dialog makes a report without differences.
  const QString referencePath = ChooseFile(&window, FileChoice::ReferenceParameters);
  if (!referencePath.isEmpty()) {
    ParameterSet reference;
    if (!LoadFileSet(window, referencePath, reference)) return {};
    reference.source = referencePath.toStdString();
    data.reference = reference;
  }
  QString path = ChooseFile(&window, FileChoice::Report, proposedName);
  if (path.isEmpty()) return {};
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");

  std::string error;
  if (!ReadDriveSet(window, Tr(kTextReportTitle), data.parameters, error)) {
    ShowMessage(&window, Tr(kTextNotSaved).arg(QString::fromStdString(error)));
    return {};
  }
  std::array<int16_t, 15> identification{};
  uint16_t words[kRecordWords];
  if (ReadRecord(128, words)) {
    for (int i = 0; i < kRecordWords; ++i)
      identification[static_cast<size_t>(i)] = static_cast<int16_t>(words[i]);
    data.drive = DecodeIdentification(identification);
  }
  data.port = PortLabel(window.CheckedPort());
  const UserIdentity user = window.CurrentUser();
  data.userName = user.name.toStdString();
  data.company = user.company.toStdString();
  data.dateTime = LocalDateTimeText();
  data.lastUpdate = LastUpdateOfType(ReadUpdateLog(), data.drive.typeText);
  data.checks = checks;

  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool written = WriteReportFile(BuildReportHtml(data), path, error);
  QApplication::restoreOverrideCursor();
  // Saved: said in the status line, as save and load say it; a failure still stops the user.
  if (written) {
    window.ShowStatusNote(Tr(kTextSaved).arg(QDir::toNativeSeparators(path)));
  } else {
    ShowMessage(&window, Tr(kTextNotSaved).arg(QString::fromStdString(error)));
  }
  return written ? path : QString();
}

}  // namespace axtune
