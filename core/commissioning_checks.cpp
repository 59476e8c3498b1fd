#include "core/commissioning_checks.h"

#include "core/commissioning_report.h"

namespace axtune {
namespace {

constexpr int kHeading = 56000, kStep = 56001, kValues = 56002, kConfirmed = 56003, kWhen = 56004;
constexpr int kBy = 56005, kOpen = 56006;

std::string Cell(const std::string& html, const char* tag = "td") {
  return std::string("<") + tag + ">" + html + "</" + tag + ">";
}

}  // namespace

std::string CommissioningChecksHtml(const std::vector<CommissioningCheck>& checks, Language l) {
  if (checks.empty()) return {};
  auto t = [l](int id) { return HtmlEscaped(Text(id, l)); };
  // The values are the long texts of a row and get the room; a step's name and a date never break.
  auto head = [&](int id, int percent) {
    return "<th width=\"" + std::to_string(percent) + "%\">" + t(id) + "</th>";
  };
  std::string out = "<h2>" + t(kHeading) + "</h2>\n<table width=\"100%\"><tr>" + head(kStep, 17) +
                    head(kValues, 35) + head(kConfirmed, 18) + head(kWhen, 15) + head(kBy, 15) + "</tr>\n";
  for (const CommissioningCheck& c : checks) {
    const std::string confirmed =
        c.passed ? HtmlEscaped(c.confirmed) : "<b>" + t(kOpen) + "</b> " + HtmlEscaped(c.confirmed);
    out += "<tr>" + Cell("<b>" + HtmlEscaped(c.step) + "</b>") + Cell(HtmlEscaped(c.values)) +
           Cell(confirmed) + Cell(HtmlEscaped(c.time)) + Cell(HtmlEscaped(c.by)) + "</tr>\n";
  }
  return out + "</table>\n";
}

}  // namespace axtune
