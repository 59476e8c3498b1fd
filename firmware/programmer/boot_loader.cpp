#include "firmware/programmer/boot_loader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

#include "firmware/coff/coff_reader.h"
#include "firmware/programmer/kernel_image.h"
#include "firmware/programmer/prg_port.h"
#include "firmware/programmer/prg_state.h"

namespace axtune::prg {
namespace {

constexpr int kAutobaudAttempts = 21;
constexpr int kAutobaudRates[] = {115200, 56000, 57600, 38400, 19200, 14400, 9600, 4800, 2400};

// Counts the boot table's bytes as they are echoed and tells the progress hook.
class BootTableProgress {
 public:
  static constexpr uint32_t kDataStep = 256;  // report within a block after this many bytes
  explicit BootTableProgress(uint32_t total) : total_(total) { report(); }
  void add(uint32_t bytes) { done_ = std::min(total_, done_ + bytes); }
  void report() const { Progress(PRG_PROGRESS_BOOT_LOAD, done_, total_); }

 private:
  uint32_t done_ = 0;
  uint32_t total_;
};

constexpr uint32_t kBootHeaderBytes = 22;
constexpr uint32_t kBlockHeaderBytes = 6;
constexpr uint32_t kEndMarkBytes = 2;

std::string PathToUtf8(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

EchoedStream::EchoedStream(int window)
    : window_(static_cast<size_t>(std::clamp(window, 1, PRG_MAX_BOOT_LOAD_WINDOW))) {}

bool EchoedStream::send(const uint8_t* data, size_t n) {
  size_t sent = 0;
  while (sent < n && !failed_) {
    // Fill the window in one write, then wait for room.
    const size_t room = std::min(window_ - count_, n - sent);
    if (room > 0) {
      if (Port().write(data + sent, room) != room) return failed_ = true, false;
      for (size_t i = 0; i < room; ++i) pending_[(first_ + count_ + i) % window_] = data[sent + i];
      count_ += room;
      sent += room;
    }
    if (count_ == window_ && !receive()) return false;
  }
  return !failed_;
}

bool EchoedStream::sendWord(uint16_t word) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
  return send(bytes, 2);
}

bool EchoedStream::sendLong(uint32_t value) {
  return sendWord(static_cast<uint16_t>(value >> 16)) && sendWord(static_cast<uint16_t>(value & 0xFFFF));
}

bool EchoedStream::drain() {
  while (count_ > 0 && !failed_) {
    if (!receive()) return false;
  }
  return !failed_;
}

bool EchoedStream::receive() {
  uint8_t echoes[PRG_MAX_BOOT_LOAD_WINDOW];
  // The oldest echo is waited for as a read of one byte; whatever else came is checked with it.
  const size_t got = Port().readSome(echoes, 1, count_);
  State().lastReadSilent = got == 0;  // the boot ROM stopped answering
  if (got == 0) return failed_ = true, false;
  for (size_t i = 0; i < got; ++i) {
    if (echoes[i] != pending_[first_]) return failed_ = true, false;
    first_ = (first_ + 1) % window_;
    --count_;
    ++echoed_;
  }
  return true;
}

namespace {

// A block's data through the stream; the progress moves every kDataStep bytes sent (at most a window
// ahead of their echoes) and when the block's last echo is in.
bool SendBlockData(EchoedStream& stream, const uint8_t* data, uint64_t n, BootTableProgress& progress) {
  for (uint64_t i = 0; i < n; i += BootTableProgress::kDataStep) {
    const auto piece = static_cast<uint32_t>(std::min<uint64_t>(BootTableProgress::kDataStep, n - i));
    if (!stream.send(data + i, piece)) return false;
    if (i + piece == n && !stream.drain()) return false;
    progress.add(piece);
    progress.report();
  }
  return true;
}

}  // namespace

bool Autobaud(int rate) {
  int use = rate;
  for (int known : kAutobaudRates) {
    if (known == rate) use = known;
  }
  State().lastReadSilent = true;
  if (!Port().setRate(use)) return false;
  for (int attempt = 0; attempt < kAutobaudAttempts; ++attempt) {
    uint8_t cell = 0;
    const uint8_t a = 'A';
    if (Port().write(&a, 1) != 1 || Port().read(&cell, 1) != 1) continue;
    State().lastReadSilent = false;
    if (cell == 'A') return true;
  }
  return false;
}

bool StreamBootImage(const std::string& path, int window, size_t* echoed) {
  EchoedStream stream(window);
  struct Count {
    const EchoedStream& stream;
    size_t* echoed;
    ~Count() {
      if (echoed != nullptr) *echoed = stream.echoed();
    }
  } count{stream, echoed};
  if (path.empty()) return false;
  uint32_t zeroOptions[4] = {0, 0, 0, 0};
  CoffHandle* handle = nullptr;
  if (COFFR_FileOpen(path.c_str(), zeroOptions, &handle) != 0 || handle == nullptr ||
      handle->info == nullptr) {
    COFFR_FileClose(handle);
    return false;
  }
  struct Closer {
    CoffHandle* handle;
    ~Closer() { COFFR_FileClose(handle); }
  } closer{handle};

  const CoffImageInfo& info = *handle->info;
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(static_cast<size_t>(std::max<int32_t>(info.maxLoadSectionBytes, 0)) + 10);
  } catch (const std::bad_alloc&) {
    return false;
  }

  Message("\nLoading %s\n", path.c_str());
  Message("Entry point 0x%08lx\n", static_cast<unsigned long>(info.entryPoint));

  // The whole table's size up front, so the progress has a fixed end.
  uint64_t tableBytes = kBootHeaderBytes + kEndMarkBytes;
  for (uint16_t section = 1; section <= info.fileHeader.sectionCount; ++section) {
    if (COFFR_IsLoadSection(handle, section) != 0) continue;
    tableBytes += kBlockHeaderBytes + uint64_t{info.sections[section - 1].size} * 2;
  }
  BootTableProgress progress(static_cast<uint32_t>(std::min<uint64_t>(tableBytes, UINT32_MAX)));

  // Each step waits for its last echo before the next begins, so a failure names the step it hit.
  bool headerSent = stream.sendWord(0x08AA);
  for (int i = 0; i < 8 && headerSent; ++i) headerSent = stream.sendWord(0);
  if (headerSent) headerSent = stream.sendLong(info.entryPoint) && stream.drain();
  if (!headerSent) {
    Message("Error writing boot header\n");
    return false;
  }
  progress.add(kBootHeaderBytes);
  progress.report();

  for (uint16_t section = 1; section <= info.fileHeader.sectionCount; ++section) {
    if (State().abort) return false;
    if (COFFR_IsLoadSection(handle, section) != 0) continue;
    const CoffSectionHeader& header = info.sections[section - 1];
    // For the C28x a unit is one 16-bit word; the boot table counts words in 16 bits.
    const uint64_t byteSize = static_cast<uint64_t>(header.size) * 2;
    if (header.size > 0xFFFF || byteSize + 1 > buffer.size()) {
      Message("Section Address = 0x%08lx is too large for the boot loader\n",
              static_cast<unsigned long>(header.virtualAddress));
      return false;
    }
    std::fill(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(byteSize + 1), 0);
    uint32_t bytesRead = 0;
    int32_t rc =
        COFFR_GetSectData(handle, section, buffer.data(), 0, static_cast<uint32_t>(byteSize), &bytesRead);
    Message("Section Address = 0x%08lx, Number of words = %d%s",
            static_cast<unsigned long>(header.virtualAddress), static_cast<int>(bytesRead / 2),
            (bytesRead % 2) != 0 ? ", Pad section\n" : "\n");
    if (rc != 0 || bytesRead != byteSize) {
      // A section that cannot be read whole would be loaded with zeros in place of its code.
      Message("Error reading section data\n");
      return false;
    }
    bool sent = stream.sendWord(static_cast<uint16_t>(header.size)) &&
                stream.sendLong(header.virtualAddress) && stream.drain();
    if (!sent) {
      Message("Error writing section header\n");
      return false;
    }
    progress.add(kBlockHeaderBytes);
    progress.report();
    if (!SendBlockData(stream, buffer.data(), byteSize, progress)) {
      Message("Error writing section data\n");
      return false;
    }
  }
  // Block size 0 ends the table; its outcome does not change the result.
  if (stream.sendWord(0)) stream.drain();
  progress.add(kEndMarkBytes);
  progress.report();
  return true;
}

TemporaryKernelFile::TemporaryKernelFile() {
  static std::atomic<unsigned> counter{0};
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) return;
  std::random_device random;
  const uint64_t nonce = (static_cast<uint64_t>(random()) << 32) ^ random() ^
                         static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 16; ++attempt) {
    char name[96];
    std::snprintf(name, sizeof name, "axtune-flash-kernel-%016llx-%u.out",
                  static_cast<unsigned long long>(nonce), counter.fetch_add(1));
    std::filesystem::path candidate = dir / name;
    if (std::filesystem::exists(candidate, ec)) continue;
    std::ofstream file(candidate, std::ios::binary | std::ios::trunc);
    if (!file) return;
    path_ = PathToUtf8(candidate);  // from here on the destructor removes it
    file.write(reinterpret_cast<const char*>(axprg_kernel_image),
               static_cast<std::streamsize>(axprg_kernel_image_size));
    file.close();
    if (!file) {
      std::filesystem::remove(candidate, ec);
      path_.clear();
    }
    return;
  }
}

TemporaryKernelFile::~TemporaryKernelFile() {
  if (path_.empty()) return;
  std::error_code ec;
  std::u8string u8(path_.begin(), path_.end());
  std::filesystem::remove(std::filesystem::path(u8), ec);
}

}  // namespace axtune::prg
