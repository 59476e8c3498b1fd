// "speichern" / "Save" (command 32778): the drive's parameter records into a parameter file.
#pragma once

#include <QString>

namespace axtune {

class CAxtuneDlg;

// Reads records 0..count-1 on a worker thread (with progress), then asks for the file name; a
// failed read says so (text 119) and asks for nothing. The user dialog comes up when the user name
// is empty. The file is written whole or not at all. The file dialog proposes `proposedName` when
// one is given. Returns the file written, empty when none was.
QString RunSaveParametersCommand(CAxtuneDlg& window, const QString& proposedName = {});

}  // namespace axtune
