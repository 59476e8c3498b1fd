// The commissioning report of one drive as a self-contained HTML page (no external resources): its
// identification, when and by whom, every parameter page by page in user units, the differences to
// a reference file, and the last firmware update this program recorded. Both front ends write it as
// HTML; the GUI and, where Qt is present, the command-line tool turn the same HTML into a PDF.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/commissioning_checks.h"
#include "core/drive_identity.h"
#include "core/parameter_compare.h"
#include "core/update_log.h"
#include "res/strings.h"

namespace axtune {

struct ReportData {
  Language language = Language::English;
  DriveIdentity drive;
  std::string port;
  std::string dateTime;  // as it stands on the report, local time
  std::string userName;
  std::string company;
  ParameterSet parameters;                // the drive's, with its object values
  std::optional<ParameterSet> reference;  // a reference file, when one is given
  std::optional<UpdateLogEntry> lastUpdate;
  // Whether the values shown are stored in the drive (false: written since the last store, lost at
  // its next power-down); unknown to a program that did not write them.
  std::optional<bool> stored;
  std::vector<CommissioningCheck> checks;  // from the commissioning assistant; none: no section
};

std::string BuildReportHtml(const ReportData& data);

// "2026-12-07 19:04" in local time.
std::string LocalDateTimeText();

// Escapes &, <, > and quotes for HTML text.
std::string HtmlEscaped(const std::string& text);

}  // namespace axtune
