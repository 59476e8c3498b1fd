// coff FILE [--symbols]: what a COFF file holds, through the COFF reader's C interface.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>

#include "cli/cli_internal.h"
#include "core/firmware_image_fit.h"
#include "core/firmware_update.h"
#include "core/input_file.h"
#include "firmware/coff/coff_reader.h"

namespace axtune::cli {
namespace {

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

const char* TargetName(uint16_t target) {
  switch (target) {
    case 0x0097:
      return "TMS470";
    case 0x0098:
      return "C54x";
    case 0x0099:
      return "C6000";
    case 0x009C:
      return "C55x";
    case 0x009D:
      return "C28x";
    default:
      return "";
  }
}

std::string FlagNames(uint32_t flags) {
  static const struct {
    uint32_t bit;
    const char* name;
  } kNames[] = {{COFFR_SECT_DUMMY, "dummy"}, {COFFR_SECT_NOLOAD, "noload"}, {COFFR_SECT_COPY, "copy"},
                {COFFR_SECT_TEXT, "text"},   {COFFR_SECT_DATA, "data"},     {COFFR_SECT_BSS, "bss"}};
  std::string names;
  for (const auto& n : kNames) {
    if ((flags & n.bit) == 0) continue;
    if (!names.empty()) names += ",";
    names += n.name;
  }
  return names;
}

std::string SymbolName(CoffHandle* handle, const char name[8]) {
  CoffSymbolEntry symbol{};
  std::memcpy(symbol.name, name, sizeof symbol.name);
  char text[256] = {};
  if (COFFR_GetSymbolName(handle, &symbol, sizeof text, text) != COFFR_OK) return {};
  return text;
}

// A COFF time stamp (seconds since 1970, UTC) as "2019-05-03 10:22:01 UTC"; empty for 0.
std::string TimeStampDate(uint32_t stamp) {
  if (stamp == 0) return {};
  const std::time_t seconds = static_cast<std::time_t>(stamp);
  std::tm utc{};
#ifdef _WIN32
  if (gmtime_s(&utc, &seconds) != 0) return {};
#else
  if (gmtime_r(&seconds, &utc) == nullptr) return {};
#endif
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc) == 0) return {};
  return text;
}

class CoffFile {
 public:
  ~CoffFile() { COFFR_FileClose(handle_); }
  int32_t open(const std::string& path) {
    const uint32_t options[4] = {0, 0, 0, 0};
    return COFFR_FileOpen(path.c_str(), options, &handle_);
  }
  CoffHandle* handle() const { return handle_; }

 private:
  CoffHandle* handle_ = nullptr;
};

}  // namespace

int CmdCoff(Context& context) {
  const std::string& path = context.options.args[0];
  if (const std::string problem = NonRegularInputProblem(path); !problem.empty())
    return Fail(context, kExitFile, problem);
  CoffFile file;
  const int32_t rc = file.open(path);
  if (rc != COFFR_OK || file.handle() == nullptr || file.handle()->info == nullptr) {
    if (rc == COFFR_ERR_OPEN)
      return Fail(context, kExitFile, "cannot open " + path + ": check the name and its permissions");
    if (rc == COFFR_ERR_NOT_COFF) return Fail(context, kExitFile, path + " is not a COFF file");
    return Fail(context, kExitFile,
                path + " is not a readable COFF file: its headers are truncated or damaged (code " +
                    std::to_string(rc) + ")");
  }
  CoffHandle* handle = file.handle();
  const CoffImageInfo& info = *handle->info;
  const CoffFileHeader& header = info.fileHeader;
  const int version = info.version - 0x00C0;
  // Whether flash would take the file: the update's own check, so both always agree.
  const FirmwareFileCheck firmware = OpenFirmwareFile(path);
  // ... and which processors' erased flash holds it: a file that fits none cannot be flashed.
  std::string firmwareProblem = firmware.message;
  std::vector<std::string> fits;
  std::string fitsText;
  if (firmware.file) {
    const FitCheck overlaps = CheckImageFit(*firmware.file, nullptr);
    fits = ProcessorsThatFit(FitSectionsOf(*firmware.file));
    fitsText = FittingProcessorsText(*firmware.file);
    if (overlaps.problem != FitProblem::None) {
      firmwareProblem = overlaps.message;
    } else if (fits.empty()) {
      firmwareProblem = CheckFit(FitSectionsOf(*firmware.file), KnownProcessors().front()).message;
    }
  }
  const bool firmwareForDrive = firmware.problem == FirmwareFileProblem::None && !fits.empty();
  const std::string date = TimeStampDate(header.timeStamp);

  Json sections = Json::array();
  char line[256];
  std::string table;
  std::snprintf(line, sizeof line, "  %3s %-20s %-10s %-10s %10s %4s %-24s %s\n", "#", "name", "run", "load",
                "bytes", "page", "flags", "load");
  table += line;
  for (int n = 1; n <= header.sectionCount; ++n) {
    const CoffSectionHeader& s = info.sections[n - 1];
    const bool loadable = COFFR_IsLoadSection(handle, static_cast<uint16_t>(n)) == COFFR_OK;
    const bool programmed = loadable && (s.flags & (COFFR_SECT_TEXT | COFFR_SECT_DATA)) != 0;
    const std::string name = SymbolName(handle, s.name);
    const uint32_t sizeBytes = CoffUnitsToBytes(info.targetId, s.size);
    Json entry = Json::object();
    entry.set("number", n).set("name", name).set("runAddress", static_cast<long long>(s.physicalAddress));
    entry.set("loadAddress", static_cast<long long>(s.virtualAddress))
        .set("size", static_cast<long long>(s.size))
        .set("bytes", static_cast<long long>(sizeBytes));
    entry.set("page", static_cast<int>(s.page)).set("flags", static_cast<long long>(s.flags));
    entry.set("flagNames", FlagNames(s.flags)).set("loadable", loadable).set("programmed", programmed);
    sections.push(entry);
    std::snprintf(line, sizeof line, "  %3d %-20s %-10s %-10s %10llu %4u %-24s %s\n", n, name.c_str(),
                  Hex(s.physicalAddress, 8).c_str(), Hex(s.virtualAddress, 8).c_str(),
                  static_cast<unsigned long long>(sizeBytes), s.page,
                  (Hex(s.flags, 4) + " " + FlagNames(s.flags)).c_str(),
                  programmed ? "yes *" : (loadable ? "yes" : ""));
    table += line;
  }
  const std::string largestName = info.maxLoadSection > 0
                                      ? SymbolName(handle, info.sections[info.maxLoadSection - 1].name)
                                      : std::string();

  Json symbols = Json::array();
  std::string symbolTable;
  if (context.options.symbols) {
    uint32_t index = 0;
    while (index < header.symbolCount) {
      const uint32_t at = index;
      int32_t kind = 0;
      CoffSymbolEntry symbol{};
      CoffAuxEntry aux{};
      if (COFFR_GetSymbolTableEntry(handle, &index, &kind, &symbol, &aux) != COFFR_OK) {
        Warn(context, "the symbol table ends early at entry " + std::to_string(at));
        break;
      }
      const std::string name = SymbolName(handle, symbol.name);
      Json entry = Json::object();
      entry.set("index", static_cast<long long>(at))
          .set("name", name)
          .set("value", static_cast<long long>(symbol.value));
      entry.set("section", static_cast<int>(symbol.sectionNumber)).set("type", static_cast<int>(symbol.type));
      entry.set("storageClass", static_cast<int>(symbol.storageClass)).set("auxKind", static_cast<int>(kind));
      symbols.push(entry);
      std::snprintf(line, sizeof line, "  %6u %-32s %-10s %5d %5u %4u\n", at, name.c_str(),
                    Hex(symbol.value, 8).c_str(), symbol.sectionNumber, symbol.storageClass, symbol.type);
      symbolTable += line;
    }
  }

  if (context.options.json) {
    Json fileHeader = Json::object();
    fileHeader.set("version", version).set("targetId", static_cast<int>(info.targetId));
    fileHeader.set("targetName", TargetName(info.targetId))
        .set("sectionCount", static_cast<int>(header.sectionCount));
    fileHeader.set("timeStamp", static_cast<long long>(header.timeStamp));
    fileHeader.set("timeStampDate", date.empty() ? Json() : Json(date));
    fileHeader.set("symbolCount", static_cast<long long>(header.symbolCount));
    fileHeader.set("flags", static_cast<int>(header.flags)).set("byteSwapped", info.byteSwapped != 0);
    fileHeader.set("optionalHeader", header.optionalHeaderSize == 28);
    Json largest = Json::object();
    largest.set("number", static_cast<int>(info.maxLoadSection)).set("name", largestName);
    largest.set("bytes", static_cast<long long>(info.maxLoadSectionBytes));
    Json j = Json::object();
    j.set("file", path)
        .set("fileHeader", fileHeader)
        .set("entryPoint", static_cast<long long>(info.entryPoint));
    j.set("sections", sections).set("largestLoadableSection", largest);
    j.set("firmwareForDrive", firmwareForDrive);
    j.set("firmwareProblem", firmwareForDrive ? Json() : Json(firmwareProblem));
    Json processors = Json::array();
    for (const std::string& name : fits) processors.push(Json(name));
    j.set("fitsProcessors", processors);
    if (context.options.symbols) j.set("symbols", symbols);
    j.write(context.out);
    return kExitOk;
  }
  std::ostream& out = context.out;
  out << "File:          " << path << '\n'
      << "COFF version:  " << version << (info.byteSwapped ? " (big-endian headers)" : "") << '\n'
      << "Target:        " << Hex(info.targetId, 4) << ' ' << TargetName(info.targetId) << '\n'
      << "Sections:      " << header.sectionCount << '\n'
      << "Symbols:       " << header.symbolCount << '\n'
      << "Time stamp:    " << (date.empty() ? "none" : date) << " (" << header.timeStamp << ")\n"
      << "Flags:         " << Hex(header.flags, 4) << '\n'
      << "Entry point:   "
      << (header.optionalHeaderSize == 28 ? Hex(info.entryPoint, 8) : "none (no optional header)") << '\n'
      << "Largest loadable section: "
      << (info.maxLoadSection > 0 ? std::to_string(info.maxLoadSection) + " " + largestName + ", " +
                                        std::to_string(info.maxLoadSectionBytes) + " bytes"
                                  : "none")
      << "\n\n"
      << table << "  (* = programmed by flash)\n"
      << "Firmware for the drive: "
      << (firmwareForDrive ? "yes, for a drive with the " + fitsText : "no: " + firmwareProblem) << '\n';
  if (context.options.symbols) {
    std::snprintf(line, sizeof line, "\n  %6s %-32s %-10s %5s %5s %4s\n", "index", "name", "value", "sect",
                  "class", "type");
    out << line << symbolTable;
  }
  return kExitOk;
}

}  // namespace axtune::cli
