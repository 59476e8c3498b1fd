#include "core/commissioning_report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace axtune {
namespace {

constexpr int kTitle = 49130, kDrive = 49131, kType = 49132, kVersion = 49133, kRecords = 49134;
constexpr int kDateTime = 49135, kUser = 49136, kCompany = 49137, kPort = 49138, kParameter = 49139;
constexpr int kValuesStored = 51040, kValuesNotStored = 51041;
constexpr int kValue = 49140, kUnit = 49141, kDifferences = 49142, kNoDifferences = 49143;
constexpr int kLastUpdate = 49144, kNoUpdate = 49145, kFile = 49146, kSize = 49147, kSections = 49148;
constexpr int kOutcome = 49149, kRate = 49150, kDuration = 49151, kTime = 49152, kReferenceFile = 49153;
constexpr int kRawWords = 49154, kNumber = 49155, kSignature = 49156, kBeforeAfter = 49157, kBytes = 49158;
constexpr int kNotReadable = 49159, kMissing = 49167, kFlagSet = 49181;

// Print-friendly: black on white, small type for the wide profile table, tables kept together.
constexpr const char* kStyle =
    "body{font-family:sans-serif;font-size:9pt;color:#000;background:#fff}"
    "h1{font-size:16pt;margin:0 0 6pt 0}h2{font-size:12pt;margin:12pt 0 4pt 0;border-bottom:1px solid #444}"
    "table{border-collapse:collapse;margin:2pt 0}td,th{border:1px solid #888;padding:2px 5px;text-align:left;"
    "vertical-align:top}th{background:#e4e4e4}td.n{text-align:right}td.c{text-align:center}table.id "
    "td{border:none;padding:1px 8px "
    "1px 0}"
    "table.profiles td,table.profiles th{font-size:7pt;padding:1px 3px}table.profiles th{font-size:6pt}"
    "table.diffs td,table.diffs th{font-size:8pt;padding:1px 3px}"
    "p.legend{font-size:7pt;margin:2pt 0}.raw{font-family:monospace;color:#333}";

std::string T(int id, Language l) {
  return HtmlEscaped(Text(id, l));
}

// The words as one hex number, high word first ("0x00266666"); "-" for none.
std::string Hex(const std::vector<uint16_t>& words) {
  std::string out;
  for (auto it = words.rbegin(); it != words.rend(); ++it) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", *it);
    out += text;
  }
  return out.empty() ? "-" : "0x" + out;
}

std::string Row(const std::vector<std::string>& cells, const char* tag = "td") {
  std::string out = "<tr>";
  for (const std::string& c : cells) out += std::string("<") + tag + ">" + c + "</" + tag + ">";
  return out + "</tr>\n";
}

std::string ValueText(const ParamEntry& e, const ParameterSet& set, Language l) {
  uint32_t raw = 0;
  if (!RawInSet(e, set, &raw)) return T(kNotReadable, l);
  return HtmlEscaped(DisplayUserValue(e, raw, l));
}

// The characters of the longest word in an HTML text (tags and entities count as one character),
// for the width a table column needs so that the text layout does not break inside a word.
size_t LongestWordChars(const std::string& html) {
  size_t longest = 0, current = 0;
  bool inTag = false, inEntity = false;
  for (unsigned char c : html) {
    if (inTag) {
      inTag = c != '>';
      continue;
    }
    if (c == '<') {
      inTag = true;
    } else if (c == ' ') {
      current = 0;
    } else if (inEntity) {
      inEntity = c != ';';
    } else if ((c & 0xC0) != 0x80) {  // a UTF-8 character's first byte
      inEntity = c == '&';
      longest = std::max(longest, ++current);
    }
  }
  return longest;
}

// The profile entries without their "Profile n:" prefix, for the column heads. A flag column is
// headed by what its mark means ("Relativ", "Geschwindigkeit des Folgeauftrags").
std::string ShortLabel(const ParamEntry& e, Language l) {
  std::string label = Text(e.labelId, l);
  if (e.kind == ParamKind::Flag && e.items.size() == 2) label = Text(e.items[1].textId, l);
  const std::string unit = ParameterUnit(e, l);
  if (!unit.empty()) label += " [" + unit + "]";
  return HtmlEscaped(label);
}

// What the pages never offer is not in the report either: the profile's SI-units flag and the
// Settings page's enable inversion, kept only in the layout of the drive's words.
constexpr int kControlSiUnits = 1240;
constexpr int kControlInvertEnable = 1107;
bool ShownOnItsPage(const ParamEntry& e) {
  return !(e.page == ParamPage::Profiles && e.controlId == kControlSiUnits) &&
         !(e.page == ParamPage::Settings && e.controlId == kControlInvertEnable);
}

bool EndsWith(const std::string& text, const char* end) {
  const std::string tail(end);
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The position of a relative profile is the distance it moves: a column of its own.
constexpr int kTextDistance = 57672;

std::string ProfilesTable(const ParameterSet& set, Language l) {
  std::vector<const ParamEntry*> columns;
  std::map<int, std::vector<const ParamEntry*>> rows;
  for (const ParamEntry& e : ParameterDictionary()) {
    if (e.page != ParamPage::Profiles || !ShownOnItsPage(e)) continue;
    if (e.profile == 0) columns.push_back(&e);
    rows[e.profile].push_back(&e);
  }
  // Numbers get the room, the flag marks a narrow column each. A flag's heading would break letter
  // by letter in a narrow column, so it is headed by a key letter, explained below the table.
  // The text layout breaks a word that does not fit anywhere in it ("Accelerati|on", "1|0"), so each
  // column gets a share of the line after the longest word of its heading (or the widest number).
  const auto flags = std::count_if(columns.begin(), columns.end(),
                                   [](const ParamEntry* c) { return c->kind == ParamKind::Flag; });
  constexpr int kFlagPercent = 2;
  constexpr size_t kNumberChars = 7;   // "-100000", the widest value a profile usually holds
  constexpr size_t kPaddingChars = 2;  // a cell's padding and border, in characters
  const std::string distanceLabel =
      HtmlEscaped(std::string(Text(kTextDistance, l)) + " [" + Text(columns.front()->unitId, l) + "]");
  std::vector<size_t> weights{std::max<size_t>(LongestWordChars(T(kNumber, l)), 2) + kPaddingChars};
  for (const ParamEntry* c : columns) {
    if (c->kind != ParamKind::Flag)
      weights.push_back(std::max(LongestWordChars(ShortLabel(*c, l)), kNumberChars) + kPaddingChars);
    if (EndsWith(c->name, "-position"))
      weights.push_back(std::max(LongestWordChars(distanceLabel), kNumberChars) + kPaddingChars);
  }
  size_t totalWeight = 0;
  for (size_t w : weights) totalWeight += w;
  const double percentPerChar =
      (100.0 - kFlagPercent * static_cast<double>(flags)) / static_cast<double>(totalWeight);
  auto width = [&](size_t column) {
    return std::to_string(static_cast<int>(static_cast<double>(weights[column]) * percentPerChar)) + "%";
  };
  std::string out = "<table class=\"profiles\" width=\"100%\"><thead><tr><th width=\"" + width(0) + "\">" +
                    T(kNumber, l) + "</th>";
  std::string legend;
  char key = 'A';
  size_t numberColumn = 1;
  for (const ParamEntry* c : columns) {
    if (c->kind == ParamKind::Flag) {
      out += "<th width=\"" + std::to_string(kFlagPercent) + "%\" class=\"c\">" + key + "</th>";
      legend += std::string(legend.empty() ? "" : " &nbsp; ") + "<b>" + key + "</b>: " + ShortLabel(*c, l);
      ++key;
    } else {
      out += "<th width=\"" + width(numberColumn++) + "\">" + ShortLabel(*c, l) + "</th>";
    }
    if (EndsWith(c->name, "-position"))
      out += "<th width=\"" + width(numberColumn++) + "\">" + distanceLabel + "</th>";
  }
  out += "</tr></thead>\n";
  for (const auto& [profile, entries] : rows) {
    out += "<tr><td class=\"n\">" + std::to_string(profile) + "</td>";
    uint32_t relative = 0;
    for (const ParamEntry* e : entries) {
      if (EndsWith(e->name, "-relative") && !RawInSet(*e, set, &relative)) relative = 0;
    }
    for (const ParamEntry* e : entries) {
      uint32_t raw = 0;
      if (EndsWith(e->name, "-position")) {
        // Absolute: the target position; relative: the distance, each in its own column.
        const std::string value = "<td class=\"n\">" + ValueText(*e, set, l) + "</td>";
        out += relative != 0 ? "<td></td>" + value : value + "<td></td>";
        continue;
      }
      // Flags as a mark, so the table of fifty profiles stays one line per profile.
      if (e->kind == ParamKind::Flag && RawInSet(*e, set, &raw)) {
        out += std::string("<td class=\"c\">") + (raw != 0 ? "x" : "") + "</td>";
      } else {
        out += "<td class=\"n\">" + ValueText(*e, set, l) + "</td>";
      }
    }
    out += "</tr>\n";
  }
  out += "</table>\n";
  if (!legend.empty()) out += "<p class=\"legend\">" + legend + " (x: " + T(kFlagSet, l) + ")</p>\n";
  return out;
}

std::string PageTable(ParamPage page, const ParameterSet& set, Language l) {
  // A unit column only where a value of the page has a unit (the Inputs page's functions have none).
  bool units = false;
  for (const ParamEntry& e : ParameterDictionary())
    units = units || (e.page == page && ShownOnItsPage(e) && !ParameterUnit(e, l).empty());
  std::vector<std::string> heads{T(kParameter, l), T(kValue, l)};
  if (units) heads.push_back(T(kUnit, l));
  // The header row in <thead>: the PDF repeats it where the table goes on over a page break.
  std::string out = "<table width=\"100%\"><thead>" + Row(heads, "th") + "</thead>";
  for (const ParamEntry& e : ParameterDictionary()) {
    if (e.page != page || !ShownOnItsPage(e)) continue;
    std::vector<std::string> cells{HtmlEscaped(ParameterLabel(e, l)), ValueText(e, set, l)};
    if (units) cells.push_back(HtmlEscaped(ParameterUnit(e, l)));
    out += Row(cells);
  }
  return out + "</table>\n";
}

std::string DifferencesTable(const ReportData& d, Language l) {
  const std::vector<ParamDifference> diffs = CompareParameterSets(*d.reference, d.parameters);
  std::string out = "<p>" + T(kReferenceFile, l) + ": " + HtmlEscaped(d.reference->source) + "</p>\n";
  if (diffs.empty()) return out + "<p>" + T(kNoDifferences, l) + "</p>\n";
  const std::vector<std::string> heads{T(49162, l),  T(kParameter, l), T(kReferenceFile, l),
                                       T(kDrive, l), T(kUnit, l),      T(kRawWords, l)};
  std::vector<std::vector<std::string>> rows;
  for (const ParamDifference& diff : diffs) {
    auto value = [&](bool in, uint32_t raw, const std::optional<ReadFailure>& failed) {
      if (failed) return HtmlEscaped(ReadFailureText(*failed, l));
      return in ? HtmlEscaped(FormatUserValue(diff.entry, raw, l)) : T(kMissing, l);
    };
    rows.push_back({HtmlEscaped(PageTitle(diff.entry.page, l)), HtmlEscaped(ParameterLabel(diff.entry, l)),
                    value(diff.inA, diff.rawA, diff.failedA), value(diff.inB, diff.rawB, diff.failedB),
                    HtmlEscaped(ParameterUnit(diff.entry, l)),
                    "<span class=\"raw\">" + Hex(diff.wordsA) + " &rarr; " + Hex(diff.wordsB) + "</span>"});
  }
  // As in the profile table: each column at least as wide as its longest word ("Einstellungen",
  // "Schritte/s²"), so the text layout never breaks inside one; the parameter's label and the raw
  // words (monospace, wider letters) get more, since they are the long texts of a row.
  const size_t least[] = {0, 20, 0, 0, 0, 14};
  std::vector<size_t> weights;
  size_t total = 0;
  for (size_t c = 0; c < heads.size(); ++c) {
    // Headings are bold: a fifth wider than the cells' letters.
    size_t longest = std::max((LongestWordChars(heads[c]) * 6 + 4) / 5, least[c]);
    for (const auto& row : rows) longest = std::max(longest, LongestWordChars(row[c]));
    weights.push_back(longest + 2);
    total += weights.back();
  }
  out += "<table class=\"diffs\" width=\"100%\"><thead><tr>";
  for (size_t c = 0; c < heads.size(); ++c) {
    const int percent =
        static_cast<int>(100.0 * static_cast<double>(weights[c]) / static_cast<double>(total));
    out += "<th width=\"" + std::to_string(percent) + "%\">" + heads[c] + "</th>";
  }
  out += "</tr></thead>\n";
  for (const auto& row : rows) out += Row(row);
  return out + "</table>\n";
}

std::string UpdateTable(const UpdateLogEntry& u, Language l) {
  char size[48], rate[48], duration[48];
  std::snprintf(size, sizeof size, "%llu %s", static_cast<unsigned long long>(u.fileSize), Text(kBytes, l));
  std::snprintf(rate, sizeof rate, "%.0f %s/s", u.bytesPerSecond(), Text(kBytes, l));
  std::snprintf(duration, sizeof duration, "%.1f s", u.seconds);
  std::string out = "<table class=\"id\">";
  out += Row({T(kTime, l), HtmlEscaped(u.time)});
  out += Row({T(kFile, l), HtmlEscaped(u.file)});
  out += Row({T(kSize, l), size});
  out += Row({"SHA-256", "<span class=\"raw\">" + HtmlEscaped(u.sha256) + "</span>"});
  out += Row({T(kSections, l), std::to_string(u.sections)});
  out += Row({T(kOutcome, l), "<b>" + HtmlEscaped(u.outcome) + "</b>"});
  out += Row({T(kRate, l), rate});
  out += Row({T(kDuration, l), duration});
  out += Row({T(kPort, l), HtmlEscaped(u.port)});
  auto drive = [](const std::string& text) {
    return text.empty() ? std::string("&ndash;") : HtmlEscaped(text);
  };
  out += Row({T(kBeforeAfter, l), drive(u.driveBefore) + " / " + drive(u.driveAfter)});
  return out + "</table>\n";
}

}  // namespace

std::string HtmlEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string LocalDateTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

std::string BuildReportHtml(const ReportData& d) {
  const Language l = d.language;
  std::string html = "<!DOCTYPE html>\n<html lang=\"";
  html += l == Language::German ? "de" : "en";
  html += "\"><head><meta charset=\"utf-8\"><title>" + T(kTitle, l) + " " + HtmlEscaped(d.drive.typeText) +
          "</title><style>" + kStyle + "</style></head><body>\n";
  html += "<h1>" + T(kTitle, l) + "</h1>\n<table class=\"id\">";
  html += Row({T(kDrive, l) + " / " + T(kType, l), "<b>" + HtmlEscaped(d.drive.typeText) + "</b>"});
  html += Row({T(kVersion, l), HtmlEscaped(d.drive.versionText)});
  html += Row({T(kRecords, l), std::to_string(d.drive.recordCount)});
  html += Row({T(kPort, l), HtmlEscaped(d.port)});
  html += Row({T(kDateTime, l), HtmlEscaped(d.dateTime)});
  html += Row({T(kUser, l), HtmlEscaped(d.userName)});
  html += Row({T(kCompany, l), HtmlEscaped(d.company)});
  html += "</table>\n";
  // A report of values the drive would forget at its next power-down must say so on its first page.
  if (d.stored)
    html +=
        *d.stored ? "<p>" + T(kValuesStored, l) + "</p>\n" : "<p><b>" + T(kValuesNotStored, l) + "</b></p>\n";

  html += "<h2>" + T(kLastUpdate, l) + "</h2>\n";
  html += d.lastUpdate ? UpdateTable(*d.lastUpdate, l) : "<p>" + T(kNoUpdate, l) + "</p>\n";
  if (d.reference) html += "<h2>" + T(kDifferences, l) + "</h2>\n" + DifferencesTable(d, l);
  html += CommissioningChecksHtml(d.checks, l);

  for (ParamPage page :
       {ParamPage::Settings, ParamPage::Inputs, ParamPage::Outputs, ParamPage::Homing, ParamPage::Profiles}) {
    html += "<h2>" + HtmlEscaped(PageTitle(page, l)) + "</h2>\n";
    html += page == ParamPage::Profiles ? ProfilesTable(d.parameters, l) : PageTable(page, d.parameters, l);
  }
  html += "<p style=\"margin-top:24pt\">" + T(kSignature, l) + ": ______________________________</p>\n";
  return html + "</body></html>\n";
}

}  // namespace axtune
