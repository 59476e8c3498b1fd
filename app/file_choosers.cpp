#include "app/file_choosers.h"

#include <QFileDialog>
#include <QFileInfo>
#include <utility>

#include "res/strings.h"

namespace axtune {
namespace {

FileChooser& Chooser() {
  static FileChooser chooser;
  return chooser;
}

// The folder of the last file chosen, as the system's own file dialog remembers it for a program.
QString& LastFolder() {
  static QString folder;
  return folder;
}

QString RunDialog(QWidget* owner, FileChoice choice, const QString& proposedName) {
  QFileDialog dialog(owner);
  // The initial file name is empty; the list starts in the working directory, later in the folder
  // of the last file chosen.
  if (!LastFolder().isEmpty()) dialog.setDirectory(LastFolder());
  if (choice == FileChoice::Firmware || choice == FileChoice::FlashKernel) {
    dialog.setNameFilter(choice == FileChoice::Firmware ? QStringLiteral("Firmware (*.out)")
                                                        : QStringLiteral("Flash kernel (*.out)"));
    dialog.setDefaultSuffix(QStringLiteral("out"));
  } else if (choice == FileChoice::Report) {
    dialog.setNameFilters({QStringLiteral("PDF (*.pdf)"), QStringLiteral("HTML (*.html)")});
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    // The suffix follows the chosen filter.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
      dialog.setDefaultSuffix(filter.contains(QStringLiteral("html")) ? QStringLiteral("html")
                                                                      : QStringLiteral("pdf"));
    });
  } else if (choice == FileChoice::LoadParameters || choice == FileChoice::ReferenceParameters) {
    // Other installations save with the default extension "dmd"; both are parameter files.
    dialog.setNameFilter(QStringLiteral("Axtune (*.qmx *.dmd)"));
    dialog.setDefaultSuffix(QString::fromLatin1(kParameterFileSuffix));
  } else {
    dialog.setNameFilter(QStringLiteral("Axtune (*.qmx)"));
    dialog.setDefaultSuffix(QString::fromLatin1(kParameterFileSuffix));
  }
  if (choice == FileChoice::ReferenceParameters) dialog.setWindowTitle(QString::fromUtf8(Text(49177)));
  if (choice == FileChoice::Report) dialog.setWindowTitle(QString::fromUtf8(Text(49178)));
  if (choice == FileChoice::SaveParameters || choice == FileChoice::Report) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);  // asks before overwriting
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (!proposedName.isEmpty()) dialog.selectFile(proposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QString chosen = dialog.selectedFiles().first();
  LastFolder() = QFileInfo(chosen).absolutePath();
  return chosen;
}

}  // namespace

QString ChooseFile(QWidget* owner, FileChoice choice, const QString& proposedName) {
  if (Chooser()) return Chooser()(owner, choice);
  return RunDialog(owner, choice, proposedName);
}

FileChooser SetFileChooser(FileChooser chooser) {
  return std::exchange(Chooser(), std::move(chooser));
}

}  // namespace axtune
