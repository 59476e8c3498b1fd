#include "core/firmware_update.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>

#include "core/input_file.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/sleeper.h"

#ifdef AXTUNE_HAVE_AXCOFF
#include "firmware/coff/coff_reader.h"
#endif
#ifdef AXTUNE_HAVE_AXPRG
#include "firmware/programmer/flash_programmer.h"
#endif

namespace axtune {
namespace {

constexpr int kHandOverPauseMs = 1000;
// After a reset through DTR the drive's firmware needs its start-up before it takes a request: as
// long as after its carrier came on.
constexpr int kFirmwareStartMs = 3000;
// No flash of the drive's processors comes near this; a larger size means a damaged file.
constexpr uint32_t kMaxSectionBytes = 16u * 1024 * 1024;

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

void Report(const UpdateHooks& hooks, const UpdateProgress& progress) {
  if (hooks.progress) hooks.progress(progress);
}

void Report(const UpdateHooks& hooks, UpdatePhase phase) {
  UpdateProgress progress;
  progress.phase = phase;
  Report(hooks, progress);
}

bool CancelRequested(const UpdateHooks& hooks) {
  return hooks.control != nullptr && hooks.control->cancelRequested();
}

// A pause of the hand-over; in slices that a cancel request cuts short when the caller asked for it.
void HandOverPause(const UpdateHooks& hooks, int milliseconds = kHandOverPauseMs) {
  const int slice = hooks.cancellablePauseSliceMs;
  if (hooks.control == nullptr || slice <= 0) {
    SleepMs(milliseconds);
    return;
  }
  for (int paused = 0; paused < milliseconds && !CancelRequested(hooks); paused += slice)
    SleepMs(std::min(slice, milliseconds - paused));
}

// Reads a whole section into a word buffer (the programmer takes 16-bit words).
uint32_t ReadSectionWords(FirmwareFile& file, const FirmwareSectionInfo& section,
                          std::vector<uint16_t>& words) {
  words.assign((section.sizeBytes + 1) / 2, 0);
  if (section.sizeBytes == 0) return 0;
  return file.readSection(section.number, reinterpret_cast<uint8_t*>(words.data()), section.sizeBytes);
}

#ifdef AXTUNE_HAVE_AXCOFF
class CoffFirmwareFile : public FirmwareFile {
 public:
  explicit CoffFirmwareFile(CoffHandle* handle) : handle_(handle) {}
  ~CoffFirmwareFile() override { COFFR_FileClose(handle_); }
  CoffFirmwareFile(const CoffFirmwareFile&) = delete;
  CoffFirmwareFile& operator=(const CoffFirmwareFile&) = delete;

  uint16_t targetId() const override { return handle_->info->targetId; }
  uint32_t entryPoint() const override { return handle_->info->entryPoint; }
  bool executable() const override {
    return handle_->info->fileHeader.optionalHeaderSize == sizeof(CoffOptionalHeader);
  }
  int sectionCount() const override { return handle_->info->fileHeader.sectionCount; }

  FirmwareSectionInfo section(int number) const override {
    FirmwareSectionInfo info;
    if (number < 1 || number > sectionCount()) return info;
    const CoffSectionHeader& header = handle_->info->sections[number - 1];
    info.number = number;
    info.name = SectionName(header);
    info.runAddress = header.physicalAddress;
    info.loadAddress = header.virtualAddress;
    info.page = header.page;
    info.flags = header.flags;
    info.sizeBytes = CoffUnitsToBytes(targetId(), header.size);
    info.loadable = COFFR_IsLoadSection(handle_, static_cast<uint16_t>(number)) == COFFR_OK;
    return info;
  }

  uint32_t readSection(int number, uint8_t* buffer, uint32_t bytes) override {
    uint32_t read = 0;
    COFFR_GetSectData(handle_, static_cast<uint16_t>(number), buffer, 0, bytes, &read);
    return read;
  }

 private:
  std::string SectionName(const CoffSectionHeader& header) const {
    CoffSymbolEntry symbol{};
    std::memcpy(symbol.name, header.name, sizeof symbol.name);
    char name[256] = {};
    if (COFFR_GetSymbolName(handle_, &symbol, sizeof name, name) != COFFR_OK) return {};
    return name;
  }

  CoffHandle* handle_;
};
#endif

}  // namespace

uint32_t CoffUnitsToBytes(uint16_t target, uint32_t units) {
  uint64_t bytes = 0;
  switch (target) {
    case 0x0090:
      bytes = units >> 3;
      break;
    case 0x0091:
    case 0x0095:
    case 0x0096:
    case 0x0097:
    case 0x0099:
    case 0x009C:
      bytes = units;
      break;
    case 0x0092:
    case 0x0098:
    case 0x009D:
      bytes = uint64_t{units} * 2;
      break;
    case 0x0093:
      bytes = uint64_t{units} * 4;
      break;
    default:
      bytes = 0;
      break;
  }
  return bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes);
}

const char* UpdatePhaseName(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::CheckingFile:
      return "checking file";
    case UpdatePhase::EnteringBootLoader:
      return "entering boot loader";
    case UpdatePhase::Connecting:
      return "connecting";
    case UpdatePhase::Erasing:
      return "erasing";
    case UpdatePhase::Programming:
      return "programming";
    case UpdatePhase::Verifying:
      return "verifying";
    case UpdatePhase::Closing:
      return "closing";
    case UpdatePhase::Finished:
      return "finished";
  }
  return "";
}

const char* UpdateResultText(UpdateResult result) {
  switch (result) {
    case UpdateResult::VerifyOk:
      return kTextVerifyOk;
    case UpdateResult::VerifyFailed:
      return kTextVerifyFailed;
    case UpdateResult::ComOpenFailed:
      return kTextComOpenFailed;
    case UpdateResult::EraseFailed:
      return kTextEraseFailed;
    case UpdateResult::FileRejected:
      return "Firmware file refused";
    case UpdateResult::Cancelled:
      return "Update cancelled";
  }
  return "";
}

void UpdateControl::requestCancel() {
  cancel_ = true;
  if (FlashProgrammer* programmer = programmer_.load()) programmer->abort();
}

void UpdateControl::attach(FlashProgrammer* programmer) {
  programmer_ = programmer;
}

bool FitsC28xMemory(uint32_t wordAddress, uint32_t words) {
  struct Region {
    uint32_t start;
    uint32_t end;  // one past the last word
  };
  static constexpr Region kRegions[] = {
      {0x000000, 0x000800},  // M0, M1 RAM
      {0x008000, 0x010000},  // L0..L7 RAM
      {0x300000, 0x340000},  // F2833x flash
      {0x380400, 0x380800},  // F2833x OTP
      {0x3D7800, 0x3D7C00},  // F280x OTP
      {0x3E8000, 0x3F8000},  // F280x flash
      {0x3F8000, 0x3FA000},  // H0 RAM (F280x), L0..L3 mirror (F2833x)
  };
  const uint64_t end = uint64_t{wordAddress} + words;
  for (const Region& region : kRegions) {
    if (wordAddress >= region.start && end <= region.end) return true;
  }
  return false;
}

bool IsProgrammedSection(const FirmwareSectionInfo& section) {
  return section.loadable && (section.flags & (kSectionText | kSectionData)) != 0;
}

std::vector<FirmwareSectionInfo> ProgrammedSections(const FirmwareFile& file) {
  std::vector<FirmwareSectionInfo> sections;
  for (int number = 1; number <= file.sectionCount(); ++number) {
    FirmwareSectionInfo info = file.section(number);
    if (IsProgrammedSection(info)) sections.push_back(std::move(info));
  }
  return sections;
}

FirmwareFileCheck CheckFirmwareFile(std::unique_ptr<FirmwareFile> file, const std::string& path) {
  FirmwareFileCheck check;
  if (file->targetId() != kC28xTargetId) {
    check.problem = FirmwareFileProblem::WrongTarget;
    check.message = path + " is a COFF file for target " + Hex(file->targetId(), 4) +
                    ", not for the drive's C28x processor (target 0x009D): choose the drive's firmware file";
    return check;
  }
  if (!file->executable()) {
    check.problem = FirmwareFileProblem::NotExecutable;
    check.message =
        path + " is an object file, not a linked firmware image: choose the drive's firmware *.out file";
    return check;
  }
  const std::vector<FirmwareSectionInfo> sections = ProgrammedSections(*file);
  if (sections.empty()) {
    check.problem = FirmwareFileProblem::NoLoadableSections;
    check.message =
        path + " has no loadable code or data section: it is not a firmware image (an object file?)";
    return check;
  }
  // Every section that would be programmed must be there in full, so nothing is erased for a file
  // that cannot be read to its end.
  std::vector<uint16_t> words;
  for (const FirmwareSectionInfo& section : sections) {
    const std::string label =
        "section " + (section.name.empty() ? std::to_string(section.number) : section.name);
    if (!FitsC28xMemory(section.loadAddress, section.sizeBytes / 2)) {
      check.problem = FirmwareFileProblem::AddressOutOfRange;
      check.message = path + ": " + label + " would be programmed at " + Hex(section.loadAddress, 8) + ".." +
                      Hex(section.loadAddress + section.sizeBytes / 2, 8) +
                      ", outside the flash and RAM of the drive's processor: the file is damaged or not "
                      "for this drive";
      return check;
    }
    if (section.sizeBytes > kMaxSectionBytes) {
      check.problem = FirmwareFileProblem::NotCoff;
      check.message = path + ": " + label + " claims " + std::to_string(section.sizeBytes) +
                      " bytes, more than any flash holds: the file is damaged";
      return check;
    }
    if (ReadSectionWords(*file, section, words) != section.sizeBytes) {
      check.problem = FirmwareFileProblem::NotCoff;
      check.message =
          path + ": " + label + " ends past the end of the file: the file is truncated or damaged";
      return check;
    }
  }
  check.file = std::move(file);
  return check;
}

FirmwareFileCheck OpenFirmwareFile(const std::string& path) {
  FirmwareFileCheck check;
  if (std::string problem = NonRegularInputProblem(path); !problem.empty()) {
    check.problem = FirmwareFileProblem::CannotOpen;
    check.message = std::move(problem);
    return check;
  }
#ifdef AXTUNE_HAVE_AXCOFF
  const uint32_t options[4] = {1, 0, 0, 1};
  CoffHandle* handle = nullptr;
  const int32_t rc = COFFR_FileOpen(path.c_str(), options, &handle);
  if (rc != COFFR_OK || handle == nullptr || handle->info == nullptr) {
    COFFR_FileClose(handle);
    if (rc == COFFR_ERR_OPEN) {
      check.problem = FirmwareFileProblem::CannotOpen;
      std::FILE* probe = std::fopen(path.c_str(), "rb");
      const int error = errno;
      if (probe != nullptr) std::fclose(probe);
      check.message =
          "cannot open " + path +
          (probe == nullptr ? ": " + std::error_code(error, std::generic_category()).message() : "");
    } else if (rc == COFFR_ERR_MEMORY) {
      check.problem = FirmwareFileProblem::CannotOpen;
      check.message = "not enough memory to read " + path;
    } else {
      check.problem = FirmwareFileProblem::NotCoff;
      check.message =
          path + " is not a COFF file (or its headers are damaged): choose the drive's firmware *.out file";
    }
    return check;
  }
  return CheckFirmwareFile(std::make_unique<CoffFirmwareFile>(handle), path);
#else
  check.problem = FirmwareFileProblem::CannotOpen;
  check.message = "cannot read " + path + ": this build has no COFF reader";
  return check;
#endif
}

UpdateOutcome ProgramFirmware(FirmwareFile& file, FlashProgrammer& programmer, const UpdateHooks& hooks) {
  UpdateOutcome outcome;
  if (hooks.control != nullptr) hooks.control->attach(&programmer);
  auto finish = [&](UpdateResult result) {
    Report(hooks, UpdatePhase::Closing);
    // Also after a failed open: the programmer may still hold the port, which the link needs again.
    programmer.close();
    if (hooks.control != nullptr) hooks.control->attach(nullptr);
    outcome.result = result;
    outcome.programmerMessages = programmer.messages();
    Report(hooks, UpdatePhase::Finished);
    return outcome;
  };

  // The programmer's own progress moves the current phase: the boot table while connecting, the
  // chunks of a section while programming and verifying (on top of the sections before it).
  UpdateProgress progress;
  uint64_t passBase = 0;
  programmer.setProgress([&](uint32_t done, uint32_t total) {
    if (progress.phase == UpdatePhase::Connecting) {
      progress.bytesDone = done;
      progress.bytesTotal = total;
    } else if (progress.phase == UpdatePhase::Programming || progress.phase == UpdatePhase::Verifying) {
      progress.bytesDone = passBase + done;
    } else {
      return;
    }
    Report(hooks, progress);
  });
  struct Detach {
    FlashProgrammer& programmer;
    ~Detach() { programmer.setProgress({}); }
  } detach{programmer};

  progress.phase = UpdatePhase::Connecting;
  Report(hooks, progress);
  if (CancelRequested(hooks)) {
    outcome.message = "cancelled before the programmer connected";
    return finish(UpdateResult::Cancelled);
  }
  if (!programmer.open()) {
    if (programmer.promptCancelled()) {
      outcome.message = "cancelled at the switch-on prompt; nothing was erased";
      return finish(UpdateResult::Cancelled);
    }
    uint32_t address = 0;
    if (programmer.noAnswer(address)) {
      outcome.driveStoppedAnswering = true;
      outcome.message =
          progress.bytesDone > 0
              ? "the drive stopped answering while its flash kernel was loaded (after " +
                    std::to_string(progress.bytesDone) + " of " + std::to_string(progress.bytesTotal) +
                    " bytes); this run erased nothing: check the cable and the drive's power, then run the "
                    "update again"
              : "the drive's boot loader did not answer, not even after a reset through DTR (this run erased "
                "nothing): check the cable, switch the drive off and on, then run the update again";
    }
    return finish(CancelRequested(hooks) ? UpdateResult::Cancelled : UpdateResult::ComOpenFailed);
  }

  Report(hooks, UpdatePhase::Erasing);
  if (CancelRequested(hooks)) {
    outcome.message = "cancelled before the flash was erased";
    return finish(UpdateResult::Cancelled);
  }
  outcome.flashTouched = true;
  if (!programmer.erase()) {
    uint32_t address = 0;
    if (programmer.noAnswer(address)) {
      outcome.driveStoppedAnswering = true;
      outcome.message =
          "the drive stopped answering while erasing: check the cable and the drive's power, then run "
          "the update again";
    }
    return finish(CancelRequested(hooks) ? UpdateResult::Cancelled : UpdateResult::EraseFailed);
  }

  const std::vector<FirmwareSectionInfo> sections = ProgrammedSections(file);
  progress = UpdateProgress{};
  progress.sectionCount = static_cast<int>(sections.size());
  for (const FirmwareSectionInfo& section : sections) progress.bytesTotal += section.sizeBytes;

  bool ok = true;
  bool cancelled = false;
  bool stopped = false;
  std::vector<uint16_t> words;
  // Two passes over the same sections: program all of them, then verify all of them. A failing
  // section does not stop either pass.
  for (UpdatePhase phase : {UpdatePhase::Programming, UpdatePhase::Verifying}) {
    progress.phase = phase;
    progress.section = 0;
    progress.bytesDone = 0;
    for (const FirmwareSectionInfo& section : sections) {
      if (CancelRequested(hooks)) {
        cancelled = true;
        break;
      }
      ++progress.section;
      progress.sectionName = section.name;
      progress.address = section.loadAddress;
      passBase = progress.bytesDone;
      Report(hooks, progress);
      const uint32_t bytesRead = ReadSectionWords(file, section, words);
      bool done = false;
      if (phase == UpdatePhase::Programming) {
        done = programmer.write(section.loadAddress, 0, bytesRead, words.data());
        if (!done) {
          outcome.failedWrites.push_back(section.number);
        } else {
          ++outcome.sectionsProgrammed;
          outcome.bytesProgrammed += bytesRead;
        }
      } else {
        done = programmer.verify(section.loadAddress, 0, bytesRead, words.data());
        if (!done) outcome.failedVerifies.push_back(section.number);
      }
      ok = ok && done;
      // A drive that stopped answering will not answer the next section either: stop here and say
      // where, instead of waiting out every remaining packet.
      uint32_t address = 0;
      if (!done && programmer.noAnswer(address)) {
        outcome.driveStoppedAnswering = true;
        outcome.noAnswerAddress = address;
        outcome.message = "the drive stopped answering at " + Hex(address, 8) + " (section " +
                          (section.name.empty() ? std::to_string(section.number) : section.name) +
                          ", while " + UpdatePhaseName(phase) +
                          "): check the cable and the drive's power, then run the update again";
        stopped = true;
        break;
      }
      progress.bytesDone = passBase + section.sizeBytes;
      Report(hooks, progress);
    }
    if (cancelled || stopped) break;
  }
  // DTR low on the drive link's port when one is open; the programmer's own port gets its DTR pulse
  // (the processor's reset) from close().
  SetDtr(false);
  // A packet that failed because the cancel closed the programmer's port is the cancel, not a dead line.
  if (!ok && CancelRequested(hooks)) cancelled = true;
  if (cancelled) {
    outcome.driveStoppedAnswering = false;
    outcome.message = "cancelled while " + std::string(UpdatePhaseName(progress.phase)) +
                      ": the flash is incomplete and the drive stays in its boot loader until it is updated";
    return finish(UpdateResult::Cancelled);
  }
  return finish(ok ? UpdateResult::VerifyOk : UpdateResult::VerifyFailed);
}

UpdateOutcome RunFirmwareUpdate(const std::string& path, FlashProgrammer& programmer,
                                const UpdateHooks& hooks, const std::string& portName) {
  UpdateOutcome outcome;
  Report(hooks, UpdatePhase::CheckingFile);
  FirmwareFileCheck check = OpenFirmwareFile(path);
  if (check.problem != FirmwareFileProblem::None) {
    outcome.result = UpdateResult::FileRejected;
    outcome.message = check.message;
    return outcome;
  }
  std::string device = portName;
  if (device.empty() && LinkPort() != nullptr) device = LinkPort()->deviceName();
  if (device.empty()) {
    outcome.result = UpdateResult::ComOpenFailed;
    outcome.message = "no port: open the drive's port before updating its firmware";
    return outcome;
  }
  if (CancelRequested(hooks)) {
    outcome.result = UpdateResult::Cancelled;
    outcome.message = "cancelled before the drive was told anything";
    return outcome;
  }
  if (hooks.beforeHandOver) hooks.beforeHandOver();

  Report(hooks, UpdatePhase::EnteringBootLoader);
  SetDtr(true);
  HandOverPause(hooks);
  if (CancelRequested(hooks)) {
    SetDtr(false);
    outcome.result = UpdateResult::Cancelled;
    outcome.message = "cancelled before the drive was told anything";
    return outcome;
  }
  RecordWords enterBootLoader = CommandRequest(kCmdEnterBootLoader);
  // The reply decides nothing, except that no reply at all means that no firmware runs: an earlier
  // update left the processor in its boot ROM or its flash kernel, and either has taken this request,
  // sent at the link's rate, as garbage (a kernel's receiver stops on it, a ROM takes it as boot
  // table). So the processor is reset through DTR: it starts its firmware when the flash holds a valid
  // one, which then takes the request, or else its boot ROM, which waits for the programmer. (Firmware
  // that jumps to its boot loader without answering costs only the reset's time.)
  bool processorReset = false;
  if (!ExchangeRecord(kObjectRecord, enterBootLoader)) {
    SetDtr(false);  // the falling edge resets the processor
    HandOverPause(hooks, kFirmwareStartMs);
    SetDtr(true);
    enterBootLoader = CommandRequest(kCmdEnterBootLoader);
    ExchangeRecord(kObjectRecord, enterBootLoader);  // this reply is not examined
    processorReset = true;
  }
  HandOverPause(hooks);
  CloseLink();

  programmer.setPortName(device);
  outcome = ProgramFirmware(*check.file, programmer, hooks);
  outcome.driveTouched = true;
  outcome.processorReset = processorReset;
  check.file.reset();  // closes the COFF file
  // The pause lets the drive start before the caller re-opens the link; a cancelled update is not
  // followed by one.
  if (outcome.result != UpdateResult::Cancelled && !CancelRequested(hooks)) SleepMs(kHandOverPauseMs);
  SetDtr(false);
  return outcome;
}

// ---- The PRG_ programmer ------------------------------------------------------------------------

#ifdef AXTUNE_HAVE_AXPRG
namespace {

std::mutex g_messagesMutex;
std::vector<std::string> g_messages;
constexpr size_t kKeptMessages = 64;
// Boot-table bytes on their way at a time. 64 keeps the line busy through a few milliseconds of
// latency (a loaded host, a USB adapter that sends when its 62-byte packet is full); 16 left the line
// idle for most of each round trip on a busy machine.
constexpr int kBootLoadWindow = 64;

extern "C" void CollectProgrammerMessage(PRG_Handle, int32_t kind, const char* text) {
  if (kind != PRG_MSG_TEXT || text == nullptr) return;
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  while (!line.empty() && line.front() == '\n') line.erase(line.begin());
  if (line.empty()) return;
  std::lock_guard<std::mutex> lock(g_messagesMutex);
  if (g_messages.size() == kKeptMessages) g_messages.erase(g_messages.begin());
  g_messages.push_back(std::move(line));
}

class PrgFlashProgrammer : public FlashProgrammer {
 public:
  explicit PrgFlashProgrammer(ProgrammerPrompt prompt) : prompt_(std::move(prompt)) {
    PRG_SetUserInterfaceHooks(prompt_ ? &AskPrompt : nullptr, nullptr, this);
    PRG_SetProgressHook(&ForwardProgress, this);
  }
  ~PrgFlashProgrammer() override {
    PRG_SetProgressHook(nullptr, nullptr);
    PRG_SetUserInterfaceHooks(nullptr, nullptr, nullptr);
  }
  PrgFlashProgrammer(const PrgFlashProgrammer&) = delete;
  PrgFlashProgrammer& operator=(const PrgFlashProgrammer&) = delete;

  void setPortName(const std::string& device) override {
    // Every other option keeps its value (zero in this process: 19200 baud), except the boot-load
    // window: kBootLoadWindow boot-table bytes on their way at a time instead of a round trip per byte.
    PRG_SetOptions(
        nullptr, ("EmuPortName=" + device + ",PrgBootLoadWindow=" + std::to_string(kBootLoadWindow)).c_str());
  }
  bool open() override {
    {
      std::lock_guard<std::mutex> lock(g_messagesMutex);
      g_messages.clear();
    }
    PRG_SetMessageCallBack(nullptr, &CollectProgrammerMessage);
    promptCancelled_ = false;
    return PRG_Open(nullptr) == PRG_DONE;
  }
  void setProgress(Progress progress) override { progress_ = std::move(progress); }
  bool promptCancelled() const override { return promptCancelled_; }
  bool erase() override { return PRG_FlashErase(nullptr) == PRG_DONE; }
  bool write(uint32_t address, uint16_t page, uint32_t bytes, const uint16_t* words) override {
    return PRG_FlashWrite(nullptr, address, page, bytes, words) == PRG_DONE;
  }
  bool verify(uint32_t address, uint16_t page, uint32_t bytes, const uint16_t* words) override {
    return PRG_FlashVerify(nullptr, address, page, bytes, words) == PRG_DONE;
  }
  void close() override { PRG_Close(nullptr); }
  void abort() override { PRG_Close(nullptr); }
  bool noAnswer(uint32_t& address) const override { return PRG_GetNoAnswer(&address) != 0; }
  std::vector<std::string> messages() const override {
    std::lock_guard<std::mutex> lock(g_messagesMutex);
    return g_messages;
  }

 private:
  static int32_t AskPrompt(void* context, const char* title, const char* text) {
    auto* self = static_cast<PrgFlashProgrammer*>(context);
    const bool go = self->prompt_(title != nullptr ? title : "", text != nullptr ? text : "");
    self->promptCancelled_ = !go;
    return go ? 0 : 1;
  }
  // The boot load, the written chunks and the verified bytes; erase and read are not part of the
  // update's moving phases.
  static void ForwardProgress(void* context, int32_t phase, uint32_t done, uint32_t total) {
    auto* self = static_cast<PrgFlashProgrammer*>(context);
    if (!self->progress_) return;
    if (phase == PRG_PROGRESS_BOOT_LOAD || phase == PRG_PROGRESS_WRITE || phase == PRG_PROGRESS_VERIFY)
      self->progress_(done, total);
  }

  ProgrammerPrompt prompt_;
  Progress progress_;
  bool promptCancelled_ = false;
};

}  // namespace

std::unique_ptr<FlashProgrammer> CreatePrgFlashProgrammer(ProgrammerPrompt prompt) {
  return std::make_unique<PrgFlashProgrammer>(std::move(prompt));
}
#else
std::unique_ptr<FlashProgrammer> CreatePrgFlashProgrammer(ProgrammerPrompt) {
  return nullptr;
}
#endif

}  // namespace axtune
