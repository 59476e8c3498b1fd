// Writes an HTML page (the commissioning report) as an A4 PDF with Qt's own text layout and PDF
// writer: no browser and no other dependency. Works in a program without a window system: when no
// Qt application object exists, it makes one on the off-screen platform for the time of the call.
#pragma once

#include <string>

namespace axtune {

// False with the reason (in English) when the file cannot be written.
bool WriteHtmlAsPdf(const std::string& html, const std::string& path, std::string& error);

}  // namespace axtune
