// The question asked before the values of a parameter file go into the drive, by File -> Load and
// by the compare dialog's "Write all to drive": the file, the drive it was saved from (its record
// count), when and by whom, and how many values differ from the drive's; asked once.
#pragma once

#include <QString>

#include "core/parameter_compare.h"

class QWidget;

namespace axtune {

// The question's text; `differing` < 0 when the drive could not be read (shown as "?").
QString ParameterFilePreviewText(const QString& path, const ParameterSet& file, int differing);

// Asks it with "Cancel" (the default: it changes nothing) and `writeLabel`; true for the latter.
bool AskWriteParameterFile(QWidget* owner, const QString& path, const ParameterSet& file, int differing,
                           const QString& writeLabel);

}  // namespace axtune
