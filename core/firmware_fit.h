// Whether a firmware image fits the drive it is meant for, decided before anything is sent: every
// section the update would program must lie inside the flash that the update's erase clears on the
// drive's processor, and no two of them may overlap. The flash programmer can program only flash;
// a section in RAM, in reserved memory or in a sector the erase leaves alone would pass the file
// check and then fail the verification with the flash already erased.
//
// Which processor a drive has comes from one table by drive type (word 0 of record 128). A type the
// table does not know is not guessed: the GUI asks the user, the command-line tool wants
// `--processor`.
//
// Adding a drive type: one row in kDriveTypeProcessors (firmware_fit.cpp) naming a processor of
// kProcessors. Adding a processor: its flash sectors in the order of the erase mask's bits (bit 0 =
// sector A), one row in kProcessors. docs/firmware-fit.md lists both tables.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace axtune {

// The erase mask the programmer sends by default (sectors A..D): the whole flash of the F2808.
inline constexpr uint32_t kUpdateEraseMask = 0x000F;

struct FlashSectorSpan {
  uint32_t start = 0;  // word address
  uint32_t words = 0;
};

struct ProcessorFlash {
  std::string_view name;                     // "F2808"
  std::span<const FlashSectorSpan> sectors;  // bit i of an erase mask clears sectors[i]
  // The erase mask of every update; 0: the sectors the image's sections touch (UpdateEraseMask).
  uint32_t fixedEraseMask = 0;
};

// A range of word addresses, end exclusive.
struct WordRange {
  uint32_t start = 0;
  uint64_t end = 0;
  bool operator==(const WordRange&) const = default;
};

// Every processor the tool knows, and one by name (case does not matter); null for an unknown name.
std::span<const ProcessorFlash> KnownProcessors();
const ProcessorFlash* FindProcessor(std::string_view name);
// "F2808, F28335": for messages and help texts.
std::string KnownProcessorNames();

// The processor of a drive type; null for a type the table does not know.
const ProcessorFlash* ProcessorForDriveType(int driveType);
// The drive types that carry a processor, in table order.
std::vector<int> DriveTypesWithProcessor(std::string_view processor);

// The flash that an erase with `mask` clears, as ascending ranges with neighbours merged.
std::vector<WordRange> ErasedFlash(const ProcessorFlash& processor, uint32_t mask = kUpdateEraseMask);

// Every sector an update may erase on the processor: its fixed mask, else all of its sectors.
uint32_t ErasableMask(const ProcessorFlash& processor);

// One section that an update would write: where it is programmed and how long it is.
struct FitSection {
  int number = 0;
  std::string name;
  uint32_t address = 0;  // load (virtual) word address
  uint32_t words = 0;
};

enum class FitProblem {
  None,
  OutsideErasedFlash,  // in RAM, reserved memory, or flash that the erase does not clear
  Overlap,             // two sections would be programmed at the same address
};

struct FitCheck {
  FitProblem problem = FitProblem::None;
  FitSection section;   // the first section that does not fit (or the first of an overlapping pair)
  FitSection other;     // the second section of an overlapping pair
  std::string message;  // a sentence for the user; empty when the image fits
};

// Checks the sections in their order in the file; the first that does not fit is named, with the
// flash range it would need and the processors whose erased flash holds the whole image.
FitCheck CheckFit(std::span<const FitSection> sections, const ProcessorFlash& processor);
// Overlaps alone (they make a file unusable on every processor).
FitCheck CheckOverlaps(std::span<const FitSection> sections);
// The processors whose erased flash holds every section ("F28335"); empty when none does.
std::vector<std::string> ProcessorsThatFit(std::span<const FitSection> sections);

// The erase mask of an update of these sections: the processor's fixed mask, or else the sectors that
// the sections touch (an empty image touches none: 0).
uint32_t UpdateEraseMask(std::span<const FitSection> sections, const ProcessorFlash& processor);

// "0x338000..0x33ACF7": a range of words as the messages show it (the last word inclusive).
std::string WordRangeText(uint32_t start, uint64_t end);

}  // namespace axtune
