// The two File commands that read the whole parameter set of the connected drive by name:
// "Vergleichen mit Datei..." (the compare dialog against a parameter file) and
// "Inbetriebnahmeprotokoll..." (the commissioning report as PDF or HTML).
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "core/commissioning_checks.h"

#include "core/parameter_compare.h"

namespace axtune {

class CAxtuneDlg;

// Their commands in the File menu; captions are texts 100000 + id.
inline constexpr int kCommandCompareParameters = 32810;  // "Vergleichen mit Datei..."
inline constexpr int kCommandReport = 32811;             // "Inbetriebnahmeprotokoll..."

void RunCompareParametersCommand(CAxtuneDlg& window);
// The report of the connected drive; the commissioning assistant adds its checks and proposes a file
// name. Returns the file written, empty when none was.
QString RunReportCommand(CAxtuneDlg& window, const std::vector<CommissioningCheck>& checks = {},
                         const QString& proposedName = {});

// Reads the connected drive's records and object values on a worker thread, with a progress
// window titled `title`. False with the reason.
bool ReadDriveSet(CAxtuneDlg& window, const QString& title, ParameterSet& set, std::string& error);

// Writes the report file: PDF when the name ends in .pdf, else HTML. False with the reason.
bool WriteReportFile(const std::string& html, const QString& path, std::string& error);

}  // namespace axtune
