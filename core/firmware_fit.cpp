#include "core/firmware_fit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace axtune {
namespace {

// Sector A is the highest on both; an erase mask's bit 0 is sector A.
constexpr FlashSectorSpan kF2808Sectors[] = {
    {0x3F4000, 0x4000}, {0x3F0000, 0x4000}, {0x3EC000, 0x4000}, {0x3E8000, 0x4000}};
constexpr FlashSectorSpan kF28335Sectors[] = {{0x338000, 0x8000}, {0x330000, 0x8000}, {0x328000, 0x8000},
                                              {0x320000, 0x8000}, {0x318000, 0x8000}, {0x310000, 0x8000},
                                              {0x308000, 0x8000}, {0x300000, 0x8000}};

// The F2808's four sectors are its whole flash and every update erases them all; an F28335 update
// erases the sectors its image touches.
constexpr ProcessorFlash kProcessors[] = {
    {"F2808", kF2808Sectors, kUpdateEraseMask},
    {"F28335", kF28335Sectors, 0},
};

// Drive type (word 0 of record 128) -> processor. Every drive of the QMX10 family carries an F280x
// (the F2808's flash); an F28335 is taken only when the user names it or the update log does
// (core/processor_choice.h).
struct DriveTypeProcessor {
  int driveType;
  std::string_view processor;
};
constexpr DriveTypeProcessor kDriveTypeProcessors[] = {
    {1025, "F2808"},
    {1026, "F2808"},
    {1027, "F2808"},
    {1028, "F2808"},
};

// RAM of both processors (M0/M1, L0..L7, H0 and its F2833x mirror): a section there is loaded by a
// boot loader, never programmed into flash.
constexpr WordRange kC28xRam[] = {{0x000000, 0x000800}, {0x008000, 0x010000}, {0x3F8000, 0x3FA000}};

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%06llX", static_cast<unsigned long long>(value));
  return text;
}

bool Inside(const WordRange& range, uint32_t start, uint64_t end) {
  return start >= range.start && end <= range.end;
}

bool Touches(const WordRange& range, uint32_t start, uint64_t end) {
  return start < range.end && end > range.start;
}

uint64_t End(const FitSection& section) {
  return uint64_t{section.address} + section.words;
}

std::string Label(const FitSection& section) {
  const std::string name = section.name.empty() ? std::to_string(section.number) : section.name;
  return "section " + name + " (" + WordRangeText(section.address, End(section)) + ")";
}

// Where a section that does not fit would land, in words a technician can act on.
std::string WhereItLies(const FitSection& section, const ProcessorFlash& processor) {
  const uint64_t end = End(section);
  for (size_t i = 0; i < processor.sectors.size(); ++i) {
    const FlashSectorSpan& sector = processor.sectors[i];
    const bool erased = i < 32 && (ErasableMask(processor) & (1u << i)) != 0;
    if (!erased && Touches({sector.start, uint64_t{sector.start} + sector.words}, section.address, end))
      return "reaches flash that the update does not erase on the " + std::string(processor.name);
  }
  for (const WordRange& ram : kC28xRam) {
    if (Touches(ram, section.address, end))
      return "reaches into RAM, which the flash programmer cannot program";
  }
  return "lies outside the " + std::string(processor.name) + "'s flash";
}

std::string RangesText(const std::vector<WordRange>& ranges) {
  std::string text;
  for (const WordRange& range : ranges) {
    if (!text.empty()) text += ", ";
    text += WordRangeText(range.start, range.end);
  }
  return text;
}

std::string FitsText(std::span<const FitSection> sections) {
  const std::vector<std::string> fit = ProcessorsThatFit(sections);
  if (fit.empty()) return "it fits no processor this tool knows (" + KnownProcessorNames() + ")";
  std::string names;
  for (const std::string& name : fit) names += (names.empty() ? "" : ", ") + name;
  return "the file is for a drive with the " + names;
}

}  // namespace

std::span<const ProcessorFlash> KnownProcessors() {
  return kProcessors;
}

const ProcessorFlash* FindProcessor(std::string_view name) {
  auto lower = [](std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  std::string wanted = lower(name);
  // "TMS320F28335" names the same processor.
  if (wanted.rfind("tms320", 0) == 0) wanted.erase(0, 6);
  for (const ProcessorFlash& processor : kProcessors) {
    if (lower(processor.name) == wanted) return &processor;
  }
  return nullptr;
}

std::string KnownProcessorNames() {
  std::string names;
  for (const ProcessorFlash& processor : kProcessors)
    names += (names.empty() ? "" : ", ") + std::string(processor.name);
  return names;
}

const ProcessorFlash* ProcessorForDriveType(int driveType) {
  for (const DriveTypeProcessor& row : kDriveTypeProcessors) {
    if (row.driveType == driveType) return FindProcessor(row.processor);
  }
  return nullptr;
}

std::vector<int> DriveTypesWithProcessor(std::string_view processor) {
  std::vector<int> types;
  const ProcessorFlash* wanted = FindProcessor(processor);
  for (const DriveTypeProcessor& row : kDriveTypeProcessors) {
    if (wanted != nullptr && FindProcessor(row.processor) == wanted) types.push_back(row.driveType);
  }
  return types;
}

std::vector<WordRange> ErasedFlash(const ProcessorFlash& processor, uint32_t mask) {
  std::vector<WordRange> ranges;
  for (size_t i = 0; i < processor.sectors.size() && i < 32; ++i) {
    if ((mask & (1u << i)) == 0) continue;
    const FlashSectorSpan& sector = processor.sectors[i];
    ranges.push_back({sector.start, uint64_t{sector.start} + sector.words});
  }
  std::sort(ranges.begin(), ranges.end(),
            [](const WordRange& a, const WordRange& b) { return a.start < b.start; });
  std::vector<WordRange> merged;
  for (const WordRange& range : ranges) {
    if (!merged.empty() && merged.back().end >= range.start) {
      merged.back().end = std::max(merged.back().end, range.end);
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

std::string WordRangeText(uint32_t start, uint64_t end) {
  return Hex(start) + ".." + Hex(end > start ? end - 1 : start);
}

FitCheck CheckOverlaps(std::span<const FitSection> sections) {
  FitCheck check;
  // Each section against the ones after it, so the pair named is the first one in file order.
  for (size_t i = 0; i < sections.size(); ++i) {
    if (sections[i].words == 0) continue;
    for (size_t j = i + 1; j < sections.size(); ++j) {
      if (sections[j].words == 0) continue;
      if (!Touches({sections[i].address, End(sections[i])}, sections[j].address, End(sections[j]))) continue;
      check.problem = FitProblem::Overlap;
      check.section = sections[i];
      check.other = sections[j];
      check.message = Label(sections[i]) + " and " + Label(sections[j]) +
                      " would be programmed at the same addresses: the file is damaged or wrongly linked";
      return check;
    }
  }
  return check;
}

uint32_t ErasableMask(const ProcessorFlash& processor) {
  if (processor.fixedEraseMask != 0) return processor.fixedEraseMask;
  const size_t count = std::min<size_t>(processor.sectors.size(), 32);
  return count == 32 ? 0xFFFFFFFFu : (1u << count) - 1;
}

uint32_t UpdateEraseMask(std::span<const FitSection> sections, const ProcessorFlash& processor) {
  if (processor.fixedEraseMask != 0) return processor.fixedEraseMask;
  uint32_t mask = 0;
  for (size_t i = 0; i < processor.sectors.size() && i < 32; ++i) {
    const FlashSectorSpan& sector = processor.sectors[i];
    const WordRange range{sector.start, uint64_t{sector.start} + sector.words};
    for (const FitSection& section : sections) {
      if (section.words != 0 && Touches(range, section.address, End(section))) mask |= 1u << i;
    }
  }
  return mask;
}

FitCheck CheckFit(std::span<const FitSection> sections, const ProcessorFlash& processor) {
  const std::vector<WordRange> erased = ErasedFlash(processor, ErasableMask(processor));
  for (const FitSection& section : sections) {
    if (section.words == 0) continue;
    const bool fits = std::any_of(erased.begin(), erased.end(), [&](const WordRange& range) {
      return Inside(range, section.address, End(section));
    });
    if (fits) continue;
    FitCheck check;
    check.problem = FitProblem::OutsideErasedFlash;
    check.section = section;
    check.message = Label(section) + " " + WhereItLies(section, processor) +
                    ": the update erases and programs " + RangesText(erased) + " on the " +
                    std::string(processor.name) + ", and this section needs flash at " +
                    WordRangeText(section.address, End(section)) + "; " + FitsText(sections);
    return check;
  }
  return CheckOverlaps(sections);
}

std::vector<std::string> ProcessorsThatFit(std::span<const FitSection> sections) {
  std::vector<std::string> names;
  bool any = false;
  for (const FitSection& section : sections) any = any || section.words != 0;
  if (!any || CheckOverlaps(sections).problem != FitProblem::None) return names;
  for (const ProcessorFlash& processor : kProcessors) {
    const std::vector<WordRange> erased = ErasedFlash(processor, ErasableMask(processor));
    const bool all = std::all_of(sections.begin(), sections.end(), [&](const FitSection& section) {
      return section.words == 0 || std::any_of(erased.begin(), erased.end(), [&](const WordRange& range) {
               return Inside(range, section.address, End(section));
             });
    });
    if (all) names.emplace_back(processor.name);
  }
  return names;
}

}  // namespace axtune
