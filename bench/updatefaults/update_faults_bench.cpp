// The firmware update with the cable pulled once in each phase (boot load, ping and autobaud,
// erase, a chunk in the middle of a section, verify, the closing reset), then the cable back and the
// update run again on the same drive, which was never switched off, as a new process would run it
// (the programmer's options reset). Prints per phase: the outcome and its message, how long after
// the pull the update reported (on the drive's clock, i.e. on a real line), where the pull left the
// processor, the retry's outcome and how it got there (the processor reset through DTR or not, the
// kernel loaded again or found still running), how long the retry took on the drive's clock, and
// whether the flash then holds exactly the file's programmed sections.
//
//   update_faults_bench [COFF file]     default: the F28335 flash image of the shared test data
//
// Prints a Markdown table. Nothing is asserted: the figures go into docs/reliability.md.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/firmware_update.h"
#include "firmware/programmer/flash_programmer.h"
#include "link/drive_link.h"
#include "link/sleeper.h"
#include "sim/boot/boot_processor.h"
#include "sim/simulated_drive.h"

namespace {

using namespace axtune;

constexpr const char* kDevice = "sim:update-faults-bench";

struct Phase {
  const char* name;
  std::function<bool(const UpdateProgress&)> pullAt;  // true at the progress report where the cable goes
};

// The middle of the first programmed section that takes several packets: its number within the
// pass and the pass's byte count halfway through it.
struct MidSection {
  int section = 0;
  uint64_t halfway = 0;
};

MidSection findMidSection(const std::string& path) {
  MidSection mid;
  const FirmwareFileCheck check = OpenFirmwareFile(path);
  if (check.problem != FirmwareFileProblem::None) return mid;
  uint64_t before = 0;
  int k = 0;
  for (const FirmwareSectionInfo& s : ProgrammedSections(*check.file)) {
    ++k;
    if (s.sizeBytes >= 4 * 228) {
      mid.section = k;
      mid.halfway = before + s.sizeBytes / 2;
      return mid;
    }
    before += s.sizeBytes;
  }
  return mid;
}

std::vector<Phase> phases(const MidSection& mid) {
  return {
      {"boot load",
       [](const UpdateProgress& p) { return p.phase == UpdatePhase::Connecting && p.bytesDone > 1000; }},
      {"ping and autobaud", [](const UpdateProgress& p) { return p.phase == UpdatePhase::Connecting; }},
      {"erase", [](const UpdateProgress& p) { return p.phase == UpdatePhase::Erasing; }},
      {"a chunk in the middle of a section",
       [mid](const UpdateProgress& p) {
         return p.phase == UpdatePhase::Programming && p.section == mid.section && p.bytesDone >= mid.halfway;
       }},
      {"verify", [](const UpdateProgress& p) { return p.phase == UpdatePhase::Verifying && p.section == 2; }},
      {"the closing reset", [](const UpdateProgress& p) { return p.phase == UpdatePhase::Closing; }},
  };
}

bool flashEqualsFile(sim::SimulatedDrive& drive, const std::string& path) {
  const FirmwareFileCheck check = OpenFirmwareFile(path);
  if (check.problem != FirmwareFileProblem::None) return false;
  bool equal = true;
  drive.withProcessor([&](sim::BootProcessor& processor) {
    for (const FirmwareSectionInfo& s : ProgrammedSections(*check.file)) {
      std::vector<uint16_t> words((s.sizeBytes + 1) / 2);
      check.file->readSection(s.number, reinterpret_cast<uint8_t*>(words.data()), s.sizeBytes);
      for (size_t i = 0; i < words.size() && equal; ++i) {
        equal = processor.flashWord(s.loadAddress + static_cast<uint32_t>(i)) == words[i];
      }
    }
  });
  return equal;
}

// Where the processor is now.
std::string processorState(sim::SimulatedDrive& drive) {
  std::string state;
  drive.withProcessor([&](sim::BootProcessor& processor) {
    if (!processor.active()) {
      state = "firmware";
    } else if (processor.kernelRunning()) {
      state = "flash kernel";
    } else if (processor.halted()) {
      state = "halted";
    } else {
      state = "boot ROM";
    }
  });
  return state;
}

bool saw(const UpdateOutcome& outcome, const char* start) {
  for (const std::string& line : outcome.programmerMessages) {
    if (line.rfind(start, 0) == 0) return true;
  }
  return false;
}

// How the retry reached a kernel.
std::string retryWay(const UpdateOutcome& retry) {
  std::string way = retry.processorReset ? "no firmware answered: reset through DTR, " : "";
  if (saw(retry, "Resetting the drive's processor")) way += "the programmer reset it, ";
  if (saw(retry, "A flash kernel still runs")) return way + "kernel still running, used again";
  if (saw(retry, "Loading ")) return way + "kernel loaded";
  return way + "no kernel reached";
}

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '|') c = ' ';
  }
  return text.empty() ? "(none)" : text;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : std::string(AXTUNE_TESTDATA_DIR) + "/coff/c28x_f28335_debug_flash.out";
  if (!std::filesystem::exists(path)) {
    std::fprintf(stderr, "update_faults_bench: no firmware file at %s\n", path.c_str());
    return 2;
  }
  std::printf(
      "| Cable pulled during | Outcome | Message | Reported after (s) | Processor left in | Retry | Retry's "
      "way "
      "| Retry took (s) | Flash = file |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (const Phase& phase : phases(findMidSection(path))) {
    sim::SimConfig config = sim::SimConfig::unitTest();
    config.flashGeometry = "F28335";
    auto drive = sim::registerSimulatedDrive(kDevice, config);
    ScopedSleeper sleeper(drive->sleeper());
    if (!OpenLink(kDevice)) {
      std::fprintf(stderr, "update_faults_bench: cannot open the simulated drive\n");
      return 2;
    }
    PRG_Handle handle = nullptr;
    PRG_Init(&handle);  // each phase as a process of its own
    std::unique_ptr<FlashProgrammer> programmer = CreatePrgFlashProgrammer();
    bool pulled = false;
    uint64_t pulledAtUs = 0;
    UpdateHooks hooks;
    hooks.progress = [&](const UpdateProgress& p) {
      if (!pulled && phase.pullAt(p)) {
        drive->unplug();
        pulled = true;
        pulledAtUs = drive->nowUs();
      }
    };
    const UpdateOutcome broken = RunFirmwareUpdate(path, *programmer, hooks);
    const double reportedAfter = pulled ? static_cast<double>(drive->nowUs() - pulledAtUs) / 1e6 : -1;

    const std::string left = processorState(*drive);
    drive->replug();
    PRG_Init(&handle);  // a new process: the programmer's options as at start
    OpenLink(kDevice);
    const uint64_t retryStartUs = drive->nowUs();
    const UpdateOutcome retry = RunFirmwareUpdate(path, *programmer, {});
    const double retryTook = static_cast<double>(drive->nowUs() - retryStartUs) / 1e6;
    const bool equal = flashEqualsFile(*drive, path);
    CloseLink();
    sim::unregisterSimulatedDrive(kDevice);

    std::printf("| %s | %s | %s | %s | %s | %s | %s | %.1f | %s |\n", phase.name,
                pulled ? UpdateResultText(broken.result) : "(phase not reached)",
                oneLine(broken.message).c_str(),
                pulled ? std::to_string(reportedAfter).substr(0, 6).c_str() : "-", left.c_str(),
                UpdateResultText(retry.result), retryWay(retry).c_str(), retryTook, equal ? "yes" : "no");
    std::fflush(stdout);
  }
  return 0;
}
