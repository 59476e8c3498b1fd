// The fit check (core/firmware_fit.h) applied to an opened firmware file.
#pragma once

#include <string>
#include <vector>

#include "core/firmware_fit.h"
#include "core/firmware_file.h"

namespace axtune {

// The sections the check weighs: every loadable section with content. The update programs those
// with the text or data bit; one without them would be left out of the flash, so it must lie in
// flash all the same.
std::vector<FitSection> FitSectionsOf(const FirmwareFile& file);

// Overlaps always; the erased flash of `processor` too when one is given.
FitCheck CheckImageFit(const FirmwareFile& file, const ProcessorFlash* processor);

// "F28335 (QMX10-ET)": the processors a file fits with the drive types that carry them; empty when
// it fits none.
std::string FittingProcessorsText(const FirmwareFile& file);

}  // namespace axtune
