// Compares a simulated drive's flash with the programmed sections of a firmware file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/firmware_update.h"
#include "sim/boot/boot_processor.h"
#include "sim/simulated_drive.h"

namespace axtune::test {

// Every word of every programmed section is at its load address in the flash; returns how many
// words were compared (0 when the file does not open, which also fails the test).
inline size_t ExpectFlashHoldsFile(sim::SimulatedDrive& drive, const std::string& path) {
  const FirmwareFileCheck check = OpenFirmwareFile(path);
  EXPECT_EQ(check.problem, FirmwareFileProblem::None) << check.message;
  if (check.problem != FirmwareFileProblem::None) return 0;
  size_t compared = 0;
  drive.withProcessor([&](sim::BootProcessor& processor) {
    for (const FirmwareSectionInfo& s : ProgrammedSections(*check.file)) {
      std::vector<uint16_t> words((s.sizeBytes + 1) / 2);
      check.file->readSection(s.number, reinterpret_cast<uint8_t*>(words.data()), s.sizeBytes);
      for (size_t i = 0; i < words.size(); ++i, ++compared) {
        if (processor.flashWord(s.loadAddress + static_cast<uint32_t>(i)) != words[i]) {
          ADD_FAILURE() << s.name << " word " << i << " differs from the file";
          return;
        }
      }
    }
  });
  return compared;
}

}  // namespace axtune::test
