// diff A B: two parameter sets by name, each a parameter file or the connected drive.
#include <cstdio>
#include <ostream>

#include "cli/cli_internal.h"
#include "core/parameter_compare.h"

namespace axtune::cli {
namespace {

constexpr const char* kDriveWord = "drive";
// As diff does: 0 equal, 1 different; trouble above (2 usage, 3 file, 4 drive).
constexpr int kExitDifferent = 1;
constexpr int kExitDiffDrive = 4;

std::string HexWords(const std::vector<uint16_t>& words) {
  std::string out;
  for (auto it = words.rbegin(); it != words.rend(); ++it) {  // high word first, as one number
    char text[8];
    std::snprintf(text, sizeof text, "%04X", *it);
    out += text;
  }
  return out.empty() ? "-" : "0x" + out;
}

Json SideJson(const ParamDifference& d, bool in, uint32_t raw, const std::vector<uint16_t>& words,
              const std::optional<ReadFailure>& failed) {
  Json j = Json::object();
  const Language l = CurrentLanguage();
  if (failed) {
    j.set("unreadable", ReadFailureText(*failed, l));
    if (failed->abortCode != 0) j.set("abort", static_cast<unsigned long long>(failed->abortCode));
    return j;
  }
  if (!in) return Json();
  if (d.entry.kind == ParamKind::Number) {
    j.set("value", UserNumber(d.entry, raw));
  } else {
    j.set("value", FormatUserValue(d.entry, raw, l));
  }
  j.set("raw", static_cast<unsigned long long>(raw));
  Json w = Json::array();
  for (uint16_t word : words) w.push(static_cast<int>(word));
  j.set("words", w);
  return j;
}

}  // namespace

int CmdDiff(Context& context) {
  const std::string& a = context.options.args[0];
  const std::string& b = context.options.args[1];
  const Language l = CurrentLanguage();
  std::optional<DriveSession> session;
  Identity id;
  ParameterSet drive;
  if (a == kDriveWord || b == kDriveWord) {
    session.emplace(context);
    int code = session->open();
    if (code == kExitOk) code = session->requireDrive(id);
    if (code != kExitOk) return code == kExitDrive ? kExitDiffDrive : code;
    LinkParameterRecordAccess access;
    std::string error;
    if (!ReadDriveParameterSet(access, id.recordCount, drive, error)) {
      Fail(context, kExitDrive, "the drive on " + session->portLabel() + ": " + error);
      return kExitDiffDrive;
    }
    drive.source = std::string(Text(49166, l)) + " (" + session->portLabel() + ")";
  }
  ParameterSet sets[2];
  for (int i = 0; i < 2; ++i) {
    const std::string& which = i == 0 ? a : b;
    if (which == kDriveWord) {
      sets[i] = drive;
      continue;
    }
    std::string error;
    if (!LoadParameterSet(which, id.recordCount, sets[i], error))
      return Fail(context, kExitFile, which + ": " + error);
  }
  const std::vector<ParamDifference> diffs = CompareParameterSets(sets[0], sets[1], context.options.all);
  size_t different = 0;
  for (const ParamDifference& d : diffs) different += d.equal() ? 0 : 1;

  if (context.options.json) {
    Json list = Json::array();
    for (const ParamDifference& d : diffs) {
      Json j = Json::object();
      j.set("name", d.entry.name)
          .set("label", ParameterLabel(d.entry, l))
          .set("page", PageTitle(d.entry.page, l));
      j.set("unit", ParameterUnit(d.entry, l)).set("equal", d.equal());
      j.set("a", SideJson(d, d.inA, d.rawA, d.wordsA, d.failedA))
          .set("b", SideJson(d, d.inB, d.rawB, d.wordsB, d.failedB));
      list.push(j);
    }
    Json j = Json::object();
    j.set("ok", true).set("equal", different == 0).set("a", sets[0].source).set("b", sets[1].source);
    j.set("differences", static_cast<unsigned long long>(different)).set("parameters", list);
    j.write(context.out);
  } else {
    context.out << "A: " << sets[0].source << "\nB: " << sets[1].source << '\n';
    std::optional<ParamPage> page;
    for (const ParamDifference& d : diffs) {
      if (page != d.entry.page) {
        page = d.entry.page;
        context.out << PageTitle(*page, l) << '\n';
      }
      auto side = [&](bool in, uint32_t raw, const std::optional<ReadFailure>& failed) {
        if (failed) return "(" + ReadFailureText(*failed, l) + ")";
        return in ? FormatUserValue(d.entry, raw, l) : std::string(Text(49167, l));
      };
      const std::string unit = ParameterUnit(d.entry, l);
      context.out << (d.equal() ? "  " : "! ") << d.entry.name << "  " << ParameterLabel(d.entry, l) << ": "
                  << side(d.inA, d.rawA, d.failedA) << " -> " << side(d.inB, d.rawB, d.failedB)
                  << (unit.empty() ? "" : " " + unit) << "  [" << HexWords(d.wordsA) << " -> "
                  << HexWords(d.wordsB) << "]\n";
    }
    context.out << (different == 0 ? "equal" : std::to_string(different) + " different") << '\n';
  }
  return different == 0 ? kExitOk : kExitDifferent;
}

}  // namespace axtune::cli
