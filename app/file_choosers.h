// The file dialogs of the parameter file and firmware update commands. Tests install a chooser that
// answers without a window.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace axtune {

enum class FileChoice {
  SaveParameters,  // save dialog, filter "Axtune (*.qmx)", default extension "qmx", asks before overwriting
  LoadParameters,  // open dialog, the same filter, the file must exist
  Firmware,        // open dialog, filter "Firmware (*.out)", default extension "out", the file must exist
  FlashKernel,     // open dialog, filter "Flash kernel (*.out)", the file must exist
  ReferenceParameters,  // as LoadParameters, titled "Choose a reference file (Cancel: none)"
  Report,               // save dialog, filters "PDF (*.pdf)" and "HTML (*.html)", default extension "pdf"
};

// The chosen path, or an empty string when the user cancelled. A save dialog starts with
// `proposedName` in its name field when one is given (a chooser installed by a test does not see it).
QString ChooseFile(QWidget* owner, FileChoice choice, const QString& proposedName = {});

using FileChooser = std::function<QString(QWidget* owner, FileChoice choice)>;
// Installs a chooser (empty: the real dialogs again); returns the previous one.
FileChooser SetFileChooser(FileChooser chooser);

// The default extension of parameter files (the name typed without one gets it).
inline constexpr const char* kParameterFileSuffix = "qmx";

}  // namespace axtune
