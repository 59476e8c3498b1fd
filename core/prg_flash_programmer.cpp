// The flash programmer behind the PRG_ interface, as the update uses it.
#include <cstdio>
#include <mutex>

#include "core/firmware_update.h"

#ifdef AXTUNE_HAVE_AXPRG
#include "firmware/programmer/flash_programmer.h"
#endif

namespace axtune {

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
    PRG_SetOptions(nullptr, ("EmuPortName=" + device + ",PrgBootLoadWindow=" +
                             std::to_string(kBootLoadWindow) + ",PrgKernelFileName=" + kernelFile_)
                                .c_str());
  }
  void setKernelFile(const std::string& path) override { kernelFile_ = path; }
  void setBaudRates(int bootBaud, int kernelBaud) override {
    // The kernel's rate goes by "EmuBaudRate"; the erase's rate code ("PrgEraseOption3") keeps its
    // value, as a C caller's would.
    PRG_SetOptions(nullptr, ("EmuBaudRate=" + std::to_string(kernelBaud) +
                             ",PrgBootBaudRate=" + std::to_string(bootBaud))
                                .c_str());
  }
  void setEraseMask(uint32_t mask) override {
    char text[40];
    std::snprintf(text, sizeof text, "PrgEraseSectorMask=%08x", static_cast<unsigned>(mask));
    PRG_SetOptions(nullptr, text);
  }
  bool kernelRateFailed() const override { return PRG_GetKernelRateFailed() != 0; }
  bool closeReset() const override { return PRG_GetLastCloseReset() != 0; }
  bool open() override {
    {
      std::lock_guard<std::mutex> lock(g_messagesMutex);
      g_messages.clear();
    }
    PRG_SetMessageCallBack(nullptr, &CollectProgrammerMessage);
    promptCancelled_ = false;
    retryingRate_ = kernelRateFailed();
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
  bool read(uint32_t address, uint16_t page, uint32_t bytes, uint16_t* words) override {
    return PRG_FlashRead(nullptr, address, page, bytes, words) == PRG_DONE;
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
    // The drive was switched on for the open before; the retry at a lower rate does not ask again.
    if (self->retryingRate_) return 0;
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
  std::string kernelFile_;
  bool retryingRate_ = false;  // this open follows one whose kernel failed its rate
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
