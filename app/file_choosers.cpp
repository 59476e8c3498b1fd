#include "app/file_choosers.h"

#include <QFileDialog>
#include <utility>

namespace axtune {
namespace {

FileChooser& Chooser() {
  static FileChooser chooser;
  return chooser;
}

QString RunDialog(QWidget* owner, FileChoice choice) {
  QFileDialog dialog(owner);
  // The initial file name is empty; the list starts in the working directory.
  if (choice == FileChoice::Firmware) {
    dialog.setNameFilter(QStringLiteral("Firmware (*.out)"));
    dialog.setDefaultSuffix(QStringLiteral("out"));
  } else if (choice == FileChoice::LoadParameters) {
    // Other installations save with the default extension "dmd"; both are parameter files.
    dialog.setNameFilter(QStringLiteral("Axtune (*.qmx *.dmd)"));
    dialog.setDefaultSuffix(QString::fromLatin1(kParameterFileSuffix));
  } else {
    dialog.setNameFilter(QStringLiteral("Axtune (*.qmx)"));
    dialog.setDefaultSuffix(QString::fromLatin1(kParameterFileSuffix));
  }
  if (choice == FileChoice::SaveParameters) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);  // asks before overwriting
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

}  // namespace

QString ChooseFile(QWidget* owner, FileChoice choice) {
  if (Chooser()) return Chooser()(owner, choice);
  return RunDialog(owner, choice);
}

FileChooser SetFileChooser(FileChooser chooser) {
  return std::exchange(Chooser(), std::move(chooser));
}

}  // namespace axtune
