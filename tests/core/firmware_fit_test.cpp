// The fit of an image to the flash that the update erases: a section at each edge of the erased
// flash of the F2808 and the F28335, sections in RAM and in flash the erase leaves alone, overlaps,
// and the drive-type table.
#include "core/firmware_fit.h"

#include <gtest/gtest.h>

namespace axtune {
namespace {

struct EdgeCase {
  const char* processor;
  uint32_t address;
  uint32_t words;
  bool fits;
  const char* where;  // part of the message when it does not fit
};

class FitEdges : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(FitEdges, SectionFitsOnlyInsideTheErasedFlash) {
  const EdgeCase& c = GetParam();
  const ProcessorFlash* processor = FindProcessor(c.processor);
  ASSERT_NE(processor, nullptr);
  const FitSection sections[] = {{3, ".text", c.address, c.words}};
  const FitCheck check = CheckFit(sections, *processor);
  EXPECT_EQ(check.problem == FitProblem::None, c.fits);
  if (c.fits) return;
  EXPECT_EQ(check.problem, FitProblem::OutsideErasedFlash);
  EXPECT_EQ(check.section.name, ".text");
  EXPECT_NE(check.message.find(".text (" + WordRangeText(c.address, uint64_t{c.address} + c.words) + ")"),
            std::string::npos)
      << check.message;
  EXPECT_NE(check.message.find(c.where), std::string::npos) << check.message;
}

INSTANTIATE_TEST_SUITE_P(
    F2808AndF28335, FitEdges,
    ::testing::Values(EdgeCase{"F2808", 0x3E8000, 1, true, ""},        // first word of sector D
                      EdgeCase{"F2808", 0x3F7FFF, 1, true, ""},        // last word of sector A
                      EdgeCase{"F2808", 0x3E8000, 0x10000, true, ""},  // the whole flash
                      EdgeCase{"F2808", 0x3E7FFF, 2, false, "outside the F2808's flash"},
                      EdgeCase{"F2808", 0x3F7FFF, 2, false, "into RAM"},      // runs into H0
                      EdgeCase{"F2808", 0x00A000, 0x100, false, "into RAM"},  // code linked to L-RAM
                      EdgeCase{"F2808", 0x338000, 0x2CF8, false, "0x3E8000..0x3F7FFF"},
                      EdgeCase{"F28335", 0x320000, 1, true, ""},        // first word of sector D
                      EdgeCase{"F28335", 0x33FFFF, 1, true, ""},        // last word of sector A
                      EdgeCase{"F28335", 0x31FFFF, 2, true, ""},        // sectors E and D
                      EdgeCase{"F28335", 0x300000, 0x40000, true, ""},  // the whole flash
                      EdgeCase{"F28335", 0x2FFFFF, 2, false, "outside the F28335's flash"},
                      EdgeCase{"F28335", 0x33FFFF, 2, false, "outside the F28335's flash"},
                      EdgeCase{"F28335", 0x00A000, 0x100, false, "into RAM"},
                      EdgeCase{"F28335", 0x3E8000, 0x100, false, "0x300000..0x33FFFF"},
                      EdgeCase{"F28335", 0xFFFFFFFF, 2, false, "outside"}));  // would wrap round

TEST(FirmwareFit, OverlapsAreRefusedOnEveryProcessorAndNeighboursAreNot) {
  const FitSection neighbours[] = {{1, ".text", 0x338000, 0x100}, {2, ".econst", 0x338100, 0x10}};
  const FitSection overlapping[] = {
      {1, ".text", 0x338000, 0x100}, {2, ".cinit", 0x339000, 4}, {3, ".econst", 0x3380FF, 0x10}};
  const ProcessorFlash& f28335 = *FindProcessor("F28335");
  EXPECT_EQ(CheckFit(neighbours, f28335).problem, FitProblem::None);
  const FitCheck check = CheckFit(overlapping, f28335);
  ASSERT_EQ(check.problem, FitProblem::Overlap);
  EXPECT_EQ(check.section.name, ".text");
  EXPECT_EQ(check.other.name, ".econst");
  EXPECT_TRUE(ProcessorsThatFit(overlapping).empty());
  const FitSection empty[] = {{1, ".pinit", 0x338000, 0}, {2, ".text", 0x338000, 8}};
  EXPECT_EQ(CheckFit(empty, f28335).problem, FitProblem::None) << "an empty section takes no flash";
}

TEST(FirmwareFit, NamesTheProcessorsAnImageFits) {
  const FitSection f28335Image[] = {{1, ".text", 0x338000, 0x2CF8}, {2, "ramfuncs", 0x320000, 0x1F}};
  const FitSection f2808Image[] = {{1, ".text", 0x3F0000, 0x1000}};
  const FitSection ramImage[] = {{1, ".text", 0x00A000, 0x100}};
  EXPECT_EQ(ProcessorsThatFit(f28335Image), std::vector<std::string>{"F28335"});
  EXPECT_EQ(ProcessorsThatFit(f2808Image), std::vector<std::string>{"F2808"});
  EXPECT_TRUE(ProcessorsThatFit(ramImage).empty());
  const FitCheck check = CheckFit(f28335Image, *FindProcessor("F2808"));
  EXPECT_NE(check.message.find("for a drive with the F28335"), std::string::npos) << check.message;
  EXPECT_NE(CheckFit(ramImage, *FindProcessor("F2808")).message.find("fits no processor"), std::string::npos);
}

TEST(FirmwareFit, DriveTypesAndProcessorNames) {
  // Every QMX10 type carries an F280x; an F28335 is only ever named (core/processor_choice.h).
  const std::pair<int, const char*> table[] = {{1025, "F2808"}, {1026, "F2808"}, {1027, "F2808"},
                                               {1028, "F2808"}, {1024, nullptr}, {0, nullptr}};
  for (const auto& [type, name] : table) {
    SCOPED_TRACE(type);
    const ProcessorFlash* processor = ProcessorForDriveType(type);
    if (name == nullptr) {
      EXPECT_EQ(processor, nullptr);
    } else {
      ASSERT_NE(processor, nullptr);
      EXPECT_EQ(processor->name, name);
    }
  }
  EXPECT_EQ(FindProcessor("tms320f28335"), FindProcessor("F28335"));
  EXPECT_EQ(FindProcessor("F2809"), nullptr);
  EXPECT_EQ(ErasedFlash(*FindProcessor("F28335")), (std::vector<WordRange>{{0x320000, 0x340000}}));
  EXPECT_EQ(ErasedFlash(*FindProcessor("F2808"), 0b0101),
            (std::vector<WordRange>{{0x3EC000, 0x3F0000}, {0x3F4000, 0x3F8000}}));
}

// The F28335's erase covers exactly the sectors its image touches (sector A is bit 0, H bit 7); the
// F2808 always erases its whole flash.
struct MaskCase {
  uint32_t address;
  uint32_t words;
  uint32_t mask;
};

class F28335EraseMask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(F28335EraseMask, CoversTheSectorsTheSectionsTouch) {
  const MaskCase& c = GetParam();
  const FitSection sections[] = {{1, ".text", c.address, c.words}, {2, ".pinit", 0x300000, 0}};
  EXPECT_EQ(UpdateEraseMask(sections, *FindProcessor("F28335")), c.mask);
  EXPECT_EQ(CheckFit(sections, *FindProcessor("F28335")).problem, FitProblem::None);
  EXPECT_EQ(UpdateEraseMask(sections, *FindProcessor("F2808")), 0x000Fu);
}

INSTANTIATE_TEST_SUITE_P(EachSector, F28335EraseMask,
                         ::testing::Values(MaskCase{0x338000, 0x8000, 0x01}, MaskCase{0x330000, 0x8000, 0x02},
                                           MaskCase{0x328000, 0x10, 0x04}, MaskCase{0x327FFF, 1, 0x08},
                                           MaskCase{0x318000, 0x8000, 0x10}, MaskCase{0x310000, 0x100, 0x20},
                                           MaskCase{0x30FFF0, 0x10, 0x40}, MaskCase{0x300000, 1, 0x80},
                                           MaskCase{0x307FFF, 2, 0xC0},       // the edge of H and G
                                           MaskCase{0x300000, 190000, 0xFC},  // H..C, as a large image lies
                                           MaskCase{0x300000, 0x40000, 0xFF}));  // the whole flash

}  // namespace
}  // namespace axtune
