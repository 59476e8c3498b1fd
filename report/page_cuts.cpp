#include "report/page_cuts.h"

#include <algorithm>

namespace axtune {
namespace {
constexpr double kSlack = 0.5;  // layout rounding
}  // namespace

std::vector<ReportPage> CutReportIntoPages(double reportHeight, double pageHeight,
                                           const std::vector<ReportRow>& rows) {
  std::vector<ReportPage> pages;
  if (pageHeight <= 0) return pages;
  double from = 0;
  int header = -1;
  while (from < reportHeight - kSlack) {
    const double headerHeight =
        header >= 0 ? rows[static_cast<size_t>(header)].bottom - rows[static_cast<size_t>(header)].top : 0;
    double to = from + pageHeight - headerHeight;
    if (to <= from + kSlack) to = from + pageHeight;  // a header as tall as a page is not repeated
    if (to >= reportHeight - kSlack) {
      pages.push_back({from, reportHeight, header});
      break;
    }
    // The row the page end falls into starts the next page, unless it starts this one (taller
    // than a page: it has to be cut somewhere).
    for (const ReportRow& row : rows) {
      if (row.top < to - kSlack && row.bottom > to + kSlack && row.top > from + kSlack) {
        to = row.top;
        break;
      }
    }
    // A heading or a header row never ends a page: it goes with what follows it.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
      if (it->bottom > to + kSlack) continue;
      if (!(it->header || it->keepWithNext) || it->top <= from + kSlack) break;
      to = it->top;
    }
    pages.push_back({from, to, header});
    // The next page repeats the header of a table that goes on below the cut.
    header = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
      const ReportRow& row = rows[i];
      if (!row.header || row.bottom > to + kSlack) continue;
      const bool goesOn = std::any_of(rows.begin(), rows.end(), [&](const ReportRow& other) {
        return other.table == row.table && !other.header && other.top >= to - kSlack;
      });
      if (goesOn) header = static_cast<int>(i);
    }
    from = to;
  }
  return pages;
}

}  // namespace axtune
