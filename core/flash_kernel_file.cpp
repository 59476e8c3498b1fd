#include "core/flash_kernel_file.h"

#include <cstdio>

#include "core/firmware_file.h"

#ifdef AXTUNE_HAVE_AXPRG
#include "firmware/programmer/kernel_image.h"
#endif

namespace axtune {

namespace {

// The C28x RAM blocks a boot table may load: M0/M1, L0..L7 (H0 on the F280x), and the high mirror.
bool InRam(uint32_t wordAddress, uint32_t words) {
  struct Region {
    uint32_t start;
    uint32_t end;  // one past the last word
  };
  static constexpr Region kRam[] = {{0x000000, 0x000800}, {0x008000, 0x010000}, {0x3F8000, 0x3FA000}};
  const uint64_t end = uint64_t{wordAddress} + words;
  for (const Region& region : kRam) {
    if (wordAddress >= region.start && end <= region.end) return true;
  }
  return false;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", value);
  return text;
}

}  // namespace

KernelFileCheck CheckKernelFile(const std::string& path) {
  KernelFileCheck check;
  // The programmer takes the name in its comma-separated options, at most 260 characters.
  if (path.find(',') != std::string::npos || path.size() > 260) {
    check.message = "flash kernel " + path +
                    ": the programmer cannot take a file name with a comma or longer than 260 characters; "
                    "copy the file to a shorter path";
    return check;
  }
  FirmwareFileCheck file = OpenFirmwareFile(path);
  if (file.problem != FirmwareFileProblem::None) {
    check.message = "flash kernel: " + file.message;
    // The file check's advice names the firmware file; here the user is choosing a kernel.
    const std::string firmwareAdvice = ": choose the drive's firmware";
    const size_t advice = check.message.find(firmwareAdvice);
    if (advice != std::string::npos)
      check.message = check.message.substr(0, advice) + ": choose the drive's flash kernel file";
    return check;
  }
  for (int n = 1; n <= file.file->sectionCount(); ++n) {
    const FirmwareSectionInfo section = file.file->section(n);
    if (!section.loadable || section.sizeBytes == 0) continue;
    const uint32_t words = (section.sizeBytes + 1) / 2;
    if (words > 0xFFFF) {
      check.message = "flash kernel " + path + ": section " + section.name + " has " + std::to_string(words) +
                      " words, more than a boot table block can carry (65535)";
      return check;
    }
    if (!InRam(section.loadAddress, words)) {
      check.message = "flash kernel " + path + ": section " + section.name + " loads at " +
                      Hex(section.loadAddress) +
                      ", outside the processor's RAM: this is a firmware image, not a flash kernel";
      return check;
    }
  }
  check.ok = true;
  return check;
}

bool BuiltInKernelIsStandIn() {
#ifdef AXTUNE_HAVE_AXPRG
  return axprg_kernel_is_stand_in != 0;
#else
  return true;
#endif
}

std::string StandInKernelWarning(const std::string& port, const std::string& howToGive) {
  return "this build carries only the stand-in flash kernel, which programs the simulated drive but no "
         "real one: the update of " +
         port + " will fail once the kernel is loaded. Give the drive's real flash kernel " + howToGive +
         ", or build with -DAXTUNE_FLASH_KERNEL=FILE";
}

}  // namespace axtune
