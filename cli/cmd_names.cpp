// get NAME..., set NAME=VALUE..., params: parameters by name from the parameter dictionary, in the
// user's units with the pages' limits and scales.
#include <cstdio>
#include <ostream>

#include "cli/cli_internal.h"
#include "core/parameter_access.h"
#include "core/parameter_dictionary.h"

namespace axtune::cli {
namespace {

Language OutputLanguage() {
  return CurrentLanguage();
}

std::string HexWords(const ParamEntry& e, uint32_t raw) {
  char text[24];
  if (e.isLong) {
    std::snprintf(text, sizeof text, "0x%08X", raw);
  } else {
    std::snprintf(text, sizeof text, "0x%04X", raw);
  }
  return text;
}

// What `set` takes back: a number, or the ASCII form of a list entry.
std::string SettableValue(const ParamEntry& e, uint32_t raw) {
  const std::string shown = FormatUserValue(e, raw, Language::English);
  if (e.kind == ParamKind::Number) return shown;
  if (e.kind == ParamKind::Flag && e.items.empty()) return std::to_string(raw);
  return AsciiName(shown);
}

Json ValueJson(const ParamEntry& e, uint32_t raw) {
  Json j = Json::object();
  const Language l = OutputLanguage();
  j.set("name", e.name).set("label", ParameterLabel(e, l));
  if (e.kind == ParamKind::Number) {
    j.set("value", UserNumber(e, raw));
  } else {
    j.set("value", SettableValue(e, raw)).set("text", FormatUserValue(e, raw, l));
  }
  j.set("unit", ParameterUnit(e, l)).set("raw", static_cast<unsigned long long>(raw));
  return j;
}

void PrintValue(std::ostream& out, const ParamEntry& e, uint32_t raw) {
  const Language l = OutputLanguage();
  std::string comment = ParameterLabel(e, l);
  const std::string unit = ParameterUnit(e, l);
  if (e.kind != ParamKind::Number) comment += ": " + FormatUserValue(e, raw, l);
  if (!unit.empty()) comment += " [" + unit + "]";
  out << e.name << '=' << SettableValue(e, raw) << "  # " << comment << " (raw " << HexWords(e, raw) << ")\n";
}

bool LookUp(Context& context, const std::string& name, ParamEntry& entry, int& code) {
  std::optional<ParamEntry> found = FindParameter(name);
  if (!found) {
    code = UsageError(context, "unknown parameter \"" + name + "\" ('" + std::string(kProgram) +
                                   " params' lists the names; other words are record-R-word-W)");
    return false;
  }
  entry = *found;
  return true;
}

std::string LocationText(const ParamEntry& e) {
  std::string where;
  char text[48];
  if (e.HasRecord()) {
    std::snprintf(text, sizeof text, "record %d word %d%s", e.record, e.word, e.isLong ? "-" : "");
    where = text;
    if (e.isLong) where += std::to_string(e.word + 1);
  }
  if (e.HasObject()) {
    std::snprintf(text, sizeof text, "object 0x%04X/%d", e.index, e.subindex);
    where += (where.empty() ? "" : ", ") + std::string(text);
  }
  return where;
}

}  // namespace

int CmdGet(Context& context) {
  std::vector<ParamEntry> entries(context.options.args.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    int code = kExitOk;
    if (!LookUp(context, context.options.args[i], entries[i], code)) return code;
  }
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  Identity id;
  if (const int code = session.requireDrive(id); code != kExitOk) return code;
  Json list = Json::array();
  for (const ParamEntry& e : entries) {
    uint32_t raw = 0;
    uint32_t abort = 0;
    if (!ReadParameter(e, &raw, &abort)) {
      if (abort != 0) {
        return Fail(context, kExitDrive,
                    "the drive on " + session.portLabel() + " refused the read of " + e.name + " (" +
                        AbortText(abort) + ")");
      }
      return Fail(context, kExitDrive,
                  e.name + " could not be read from the drive on " + session.portLabel() + ": " +
                      LinkErrorText(LinkError.load()));
    }
    if (context.options.json) {
      list.push(ValueJson(e, raw));
    } else {
      PrintValue(context.out, e, raw);
    }
  }
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("parameters", list);
    j.write(context.out);
  }
  return kExitOk;
}

int CmdSet(Context& context) {
  // Every value is checked before anything is written: one bad value writes nothing.
  struct Assignment {
    ParamEntry entry;
    uint32_t raw = 0;
  };
  std::vector<Assignment> assignments;
  for (const std::string& arg : context.options.args) {
    const size_t equals = arg.find('=');
    if (equals == std::string::npos || equals == 0)
      return UsageError(context, "set takes NAME=VALUE, not \"" + arg + "\"; nothing was written");
    Assignment a;
    int code = kExitOk;
    if (!LookUp(context, arg.substr(0, equals), a.entry, code)) return code;
    const RawResult parsed = ParseUserValue(a.entry, arg.substr(equals + 1), OutputLanguage());
    if (!parsed.ok) {
      return UsageError(context, a.entry.name + "=" + arg.substr(equals + 1) + ": the value " + parsed.error +
                                     "; nothing was written");
    }
    a.raw = parsed.raw;
    assignments.push_back(a);
  }
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  Identity id;
  if (const int code = session.requireDrive(id); code != kExitOk) return code;

  Json list = Json::array();
  std::vector<std::string> written;
  auto failed = [&](const std::string& what) {
    std::string done = written.empty() ? "nothing was written" : "written before: ";
    for (size_t i = 0; i < written.size(); ++i) done += (i ? ", " : "") + written[i];
    return Fail(context, kExitDrive, what + "; " + done);
  };
  for (const Assignment& a : assignments) {
    uint32_t abort = 0;
    if (!WriteParameter(a.entry, a.raw, &abort)) {
      if (abort != 0) {
        return failed("the drive refused " + a.entry.name + " = " +
                      FormatUserValue(a.entry, a.raw, OutputLanguage()) + " (" + AbortText(abort) + ")");
      }
      return failed("the drive on " + session.portLabel() + " did not take " + a.entry.name + " (" +
                    LinkErrorText(LinkError.load()) + ")");
    }
    uint32_t back = a.raw;
    if (!context.options.noVerify) {
      if (!ReadParameter(a.entry, &back))
        return failed(a.entry.name + " was written but could not be read back");
      if (back != a.raw) {
        return failed(a.entry.name + " reads back as " + FormatUserValue(a.entry, back, OutputLanguage()) +
                      " after writing " + FormatUserValue(a.entry, a.raw, OutputLanguage()));
      }
    }
    written.push_back(a.entry.name);
    if (context.options.json) {
      list.push(ValueJson(a.entry, back));
    } else {
      PrintValue(context.out, a.entry, back);
    }
  }
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("verified", !context.options.noVerify).set("parameters", list).set("stored", false);
    j.write(context.out);
  } else {
    context.out << "run '" << kProgram << " store' to keep the values over a power cycle\n";
  }
  return kExitOk;
}

int CmdParams(Context& context) {
  const Language l = OutputLanguage();
  Json list = Json::array();
  for (const ParamEntry& e : ParameterDictionary()) {
    if (!context.options.json) {
      std::string unit = ParameterUnit(e, l);
      context.out << e.name << "  " << ParameterLabel(e, l) << (unit.empty() ? "" : " [" + unit + "]")
                  << "  (" << PageTitle(e.page, l) << "; " << LocationText(e) << ")\n";
      continue;
    }
    Json j = Json::object();
    j.set("name", e.name).set("label", ParameterLabel(e, l)).set("unit", ParameterUnit(e, l));
    j.set("page", PageTitle(e.page, l));
    j.set("kind", e.kind == ParamKind::Number ? "number" : e.kind == ParamKind::List ? "list" : "flag");
    if (e.HasRecord()) j.set("record", e.record).set("word", e.word);
    if (e.HasObject())
      j.set("index", static_cast<int>(e.index)).set("subindex", static_cast<int>(e.subindex));
    j.set("bits", e.isLong ? 32 : 16).set("signed", e.isSigned);
    if (e.kind == ParamKind::Number) {
      j.set("scale", e.scale).set("max", UserNumber(e, e.limit));
      j.set("min", e.isSigned ? -UserNumber(e, e.limit) : 0.0);
    }
    if (!e.items.empty()) {
      Json items = Json::array();
      for (const ParamListItem& item : e.items) {
        Json it = Json::object();
        it.set("code", item.code).set("value", AsciiName(Text(item.textId, Language::English)));
        it.set("text", Text(item.textId, l));
        items.push(it);
      }
      j.set("items", items);
    }
    list.push(j);
  }
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("parameters", list);
    j.write(context.out);
  } else {
    context.out << "other words: record-R-word-W (R 0..126, W 0..14), raw 16-bit values\n";
  }
  return kExitOk;
}

}  // namespace axtune::cli
