// Firmware updates through qmx-sim (default options) with the update's default rates, as axtune-cli
// runs them (no rate set here): the drive firmware is told to enter its boot loader, the programmer
// loads the kernel through the boot ROM at the boot rate with a boot-load window of 64, and the
// kernel erases, programs and verifies at its own rate. Each image is updated twice: once with the
// fixed pauses of the sequence (kernel start, settling, erase wait, hand-over and reset pauses), once
// with them skipped, which leaves what the line and both ends cost. Each row says the rates it ran at.
#include <filesystem>
#include <memory>

#include "bench/table/bench_support.h"
#include "coff_writer.h"
#include "core/firmware_fit.h"
#include "core/firmware_update.h"
#include "firmware/programmer/flash_programmer.h"
#include "link/drive_link.h"
#include "link/sleeper.h"
#include "tests/firmware/programmer/qmx_sim_process.h"

namespace axtune::bench {
namespace {

// About 194,000 words in 9 sections, the size of a real F28335 image with a 145,264-word .text, from
// the bottom of the flash: sectors H to C (E to H among them), erased by the mask 0x00FC.
std::unique_ptr<coff::testing::TempFile> GeneratedImage() {
  const struct {
    const char* name;
    uint32_t words;
    uint32_t flags;
  } parts[] = {{".text", 145264, 0x20},  {".econst", 20000, 0x40}, {".cinit", 12000, 0x40},
               {"ramfuncs", 8000, 0x20}, {".switch", 4000, 0x40},  {".text2", 2736, 0x20},
               {".pinit", 1000, 0x40},   {".data1", 500, 0x40},    {".data2", 500, 0x40}};
  coff::testing::Image image;
  image.entryPoint = 0x300000;
  uint32_t address = 0x300000;
  uint8_t seed = 1;
  for (const auto& part : parts) {
    image.sections.emplace_back(part.name, address, address, part.words,
                                coff::testing::pattern(size_t{part.words} * 2, seed++), false, part.flags);
    address += part.words;
  }
  return std::make_unique<coff::testing::TempFile>(coff::testing::build(image));
}

struct Update {
  bool ok = false;
  std::string error;
  double seconds = 0;
  uint64_t programmed = 0;
  int kernelBaud = 0;
  LineCount count;
};

Update RunUpdate(const Programs& programs, const std::string& file, bool pauses, bool readBack = false) {
  Update update;
  test::QmxSimProcess sim;
  if (!sim.start(programs.qmxSim, {"--quiet", "--flash-geometry", "F28335"}, update.error)) return update;
  const std::string name = "bench:update";
  RegisterCountedDevice(name, sim.device(), &update.count);
  std::unique_ptr<ScopedSleeper> noPauses;
  if (!pauses) noPauses = std::make_unique<ScopedSleeper>([](int) {});
  // Each row loads the kernel afresh, as a new axtune-cli process would.
  PRG_SetOptions(nullptr, "PrgSkipBootLoad=NO");
  std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
  const auto start = Clock::now();
  if (!OpenLink(name)) {
    update.error = "the drive link did not open";
  } else {
    UpdateHooks hooks;
    if (readBack) hooks.readBack = [] { return true; };  // axtune-cli flash --verify=readback
    // The simulated drive's F28335, named as a user names it: the erase covers the image's sectors.
    hooks.processor = FindProcessor("F28335");
    const UpdateOutcome outcome = RunFirmwareUpdate(file, *programmer, hooks, name);
    update.ok = outcome.result == UpdateResult::VerifyOk;
    update.programmed = outcome.bytesProgrammed;
    update.kernelBaud = outcome.kernelBaud;
    if (!update.ok) {
      update.error = UpdateResultText(outcome.result);
      if (!outcome.programmerMessages.empty()) update.error += ": " + outcome.programmerMessages.back();
    }
  }
  update.seconds = Seconds(start, Clock::now());
  CloseLink();
  unregisterInProcessPort(name);
  return update;
}

Row UpdateRow(const Programs& programs, const std::string& label, const std::string& file, bool pauses,
              bool readBack = false, double* seconds = nullptr) {
  Row row;
  const Update u = RunUpdate(programs, file, pauses, readBack);
  if (seconds) *seconds = u.ok ? u.seconds : 0;
  row.what =
      Format("update %s, boot ROM at %d baud, kernel at %d baud, %s%s", label.c_str(), kDefaultBootBaud,
             u.kernelBaud, pauses ? "with the fixed pauses" : "without the fixed pauses",
             readBack ? ", then read back word by word" : "");
  if (!u.ok) {
    row.measured = "failed: " + u.error;
    row.ok = false;
    return row;
  }
  row.measured =
      Format("%.2f s (%llu bytes programmed)", u.seconds, static_cast<unsigned long long>(u.programmed));
  row.reference =
      Format("%.2f s (%llu + %llu bytes)", u.count.wireSeconds,
             static_cast<unsigned long long>(u.count.written), static_cast<unsigned long long>(u.count.read));
  row.ratio = u.seconds / u.count.wireSeconds;
  if (readBack) {
    row.goal = "(cost of the read-back)";
  } else if (!pauses) {
    row.goal = "<= 1.15";
    row.ok = row.ratio <= 1.15;
  } else if (label.rfind("generated", 0) == 0) {
    row.goal = "< 55 s";
    row.ok = u.seconds < 55;
  }
  return row;
}

}  // namespace

std::vector<Row> UpdateRows(const Programs& programs, bool bigImage) {
  std::vector<Row> rows;
  if (std::filesystem::exists(programs.firmware)) {
    rows.push_back(UpdateRow(programs, "c28x_f28335_debug_flash.out", programs.firmware, true));
    double plain = 0, compared = 0;
    rows.push_back(
        UpdateRow(programs, "c28x_f28335_debug_flash.out", programs.firmware, false, false, &plain));
    // --verify=readback: what the word-by-word comparison adds to the same update.
    rows.push_back(
        UpdateRow(programs, "c28x_f28335_debug_flash.out", programs.firmware, false, true, &compared));
    if (plain > 0 && compared > 0) {
      rows.back().measured += Format(", +%.2f s (+%.0f %%) over the sum check alone", compared - plain,
                                     100.0 * (compared - plain) / plain);
    }
  } else {
    Row row;
    row.what = "update of c28x_f28335_debug_flash.out";
    row.measured = "left out: no file at " + programs.firmware;
    rows.push_back(row);
  }
  if (bigImage) {
    const auto image = GeneratedImage();
    rows.push_back(
        UpdateRow(programs, "generated image (194,000 words, 9 sections, sectors C-H)", image->path(), true));
    double plain = 0, compared = 0;
    rows.push_back(UpdateRow(programs, "generated image (194,000 words, 9 sections, sectors C-H)",
                             image->path(), false, false, &plain));
    rows.push_back(UpdateRow(programs, "generated image (194,000 words, 9 sections, sectors C-H)",
                             image->path(), false, true, &compared));
    if (plain > 0 && compared > 0) {
      rows.back().measured += Format(", +%.2f s (+%.0f %%) over the sum check alone", compared - plain,
                                     100.0 * (compared - plain) / plain);
    }
  }
  return rows;
}

}  // namespace axtune::bench
