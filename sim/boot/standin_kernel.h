// The stand-in flash kernel: the image the build embeds in the flash programmer when no real kernel
// is given. It has the layout of the real kernel (COFF version 2, target 0x009D, ".text" 3489 words at
// the entry point, ".cinit" 90, ".econst" 37, "ramfuncs" 4 words) and starts with a signature that the
// simulated processor looks for at the entry point after the boot ROM's jump. The generator
// (firmware/programmer/make_kernel_image.py) writes the same values.
#pragma once

#include <cstdint>

namespace axtune::sim {

inline constexpr uint32_t kStandInKernelEntryPoint = 0x008000;
inline constexpr uint32_t kStandInKernelTextWords = 3489;
// The first words of ".text": these characters, two to a word, the first one in the low byte.
inline constexpr char kStandInKernelSignature[] = "AXTUNE STAND-IN FLASH KERNEL 1.0";
inline constexpr uint32_t kStandInKernelSignatureWords = (sizeof(kStandInKernelSignature) - 1) / 2;

}  // namespace axtune::sim
