// Writes an HTML page (the commissioning report) as an A4 PDF with Qt's own text layout and PDF
// writer: no browser and no other dependency. Works in a program without a window system: when no
// Qt application object exists, it makes one on the off-screen platform for the time of the call.
#pragma once

#include <string>
#include <vector>

#include "report/page_cuts.h"

class QPaintDevice;
class QTextDocument;

namespace axtune {

// Lays the document out for `device` as one long page `pageWidth` wide and cuts it into pages of
// `pageHeight` (CutReportIntoPages); the table rows it measured go to `rows` when given.
std::vector<ReportPage> LayOutReportPages(QTextDocument& document, QPaintDevice& device, double pageWidth,
                                          double pageHeight, std::vector<ReportRow>* rows = nullptr);

// False with the reason (in English) when the file cannot be written.
bool WriteHtmlAsPdf(const std::string& html, const std::string& path, std::string& error);

}  // namespace axtune
