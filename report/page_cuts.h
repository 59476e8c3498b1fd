// Where a long report is cut into pages: never through a table row or a line of text (what does not
// fit moves to the next page whole), never right below a heading or a table's header row, and the
// header row of a table that goes on over a cut is repeated at the top of the next page. Qt-free: it
// works on the heights of the rows and lines as the layout measured them.
#pragma once

#include <vector>

namespace axtune {

struct ReportRow {
  double top = 0;  // from the top of the whole report, in the layout's units
  double bottom = 0;
  int table = 0;              // rows of one table share the number; -1: a line of text
  bool header = false;        // a table's header row: repeated where its table goes on over a cut
  bool keepWithNext = false;  // a heading (and a header row): never the last on a page
};

struct ReportPage {
  double from = 0;  // the part of the report on this page
  double to = 0;
  int repeatedHeader = -1;  // index into the rows of the header row drawn above it; -1: none
};

// `rows` in order from the top, not overlapping; a row taller than a page is cut where the page ends.
std::vector<ReportPage> CutReportIntoPages(double reportHeight, double pageHeight,
                                           const std::vector<ReportRow>& rows);

}  // namespace axtune
