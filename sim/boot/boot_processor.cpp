// The processor's SCI boot ROM and what runs after it.
//
// Boot ROM: waits for "A" (autobaud) and echoes it; from then on echoes every byte and reads the boot
// table, 16-bit words low byte first: key 0x08AA, eight reserved words, the entry point (high word,
// then low word), then blocks of size, address (high word, low word) and size words of data, until a
// block size of 0. Data go to RAM; words addressed outside RAM are dropped, as the ROM cannot write
// flash. A wrong key stops the load: the ROM jumps to the flash entry point, so a drive with valid
// firmware starts it; without, the processor runs into erased code, the watchdog resets it and the
// ROM waits for "A" again (a stray "AAA" of the drive link cannot lock a drive out). After the table the ROM
// jumps to the entry point: when RAM holds the stand-in flash kernel there, the kernel starts (it autobauds
// on "A" again, then speaks the packet protocol); anything else leaves the processor silent until reset. A
// byte that comes at another rate than the one locked (the drive link at 38400 talking to a kernel locked
// at 19200) reaches the locked party as garbage with framing errors and breaks: the boot ROM takes it as
// table data and the kernel's receiver stops, so either falls silent until reset. A rate change alone
// puts nothing on the wire and changes nothing.
#include "sim/boot/boot_processor.h"

#include <cstring>

#include "sim/boot/flash_kernel.h"
#include "sim/boot/processor_memory.h"
#include "sim/boot/standin_kernel.h"

namespace axtune::sim {

namespace {

enum class Mode {
  Firmware,        // the drive firmware runs; the processor does not own the line
  RomAutobaud,     // boot ROM waiting for "A"
  RomTable,        // boot ROM reading the boot table
  Halted,          // something that does not talk runs; silent until reset
  KernelAutobaud,  // the flash kernel waiting for "A"
  Kernel,          // the flash kernel's packet protocol
};

}  // namespace

struct BootProcessor::Impl {
  explicit Impl(FlashGeometry geometry) : memory(std::move(geometry)), kernel(memory) {}

  ProcessorMemory memory;
  FlashKernel kernel;
  Mode mode = Mode::RomAutobaud;
  int hostRate = 0;
  int lockedRate = 0;
  int autobaudLimit = 0;

  // Boot table reader.
  uint32_t tableWordIndex = 0;  // words read so far in the current field sequence
  bool haveLowByte = false;
  uint8_t lowByte = 0;
  enum class Field {
    Key,
    Reserved,
    EntryHigh,
    EntryLow,
    BlockSize,
    AddressHigh,
    AddressLow,
    Data
  } field = Field::Key;
  uint32_t entryPoint = 0;
  uint32_t blockWordsLeft = 0;
  uint32_t blockAddress = 0;

  void startRom() {
    mode = Mode::RomAutobaud;
    field = Field::Key;
    tableWordIndex = 0;
    haveLowByte = false;
  }

  // Valid firmware starts; erased or half-programmed flash runs into an illegal instruction and the
  // watchdog resets the processor, so the boot ROM waits for "A" again.
  void jumpToFlash() {
    if (memory.firmwareValid()) {
      mode = Mode::Firmware;
    } else {
      startRom();
    }
  }

  bool kernelAt(uint32_t entry) const {
    for (uint32_t i = 0; i < kStandInKernelSignatureWords; ++i) {
      const uint16_t expected =
          static_cast<uint16_t>(static_cast<uint8_t>(kStandInKernelSignature[2 * i]) |
                                (static_cast<uint8_t>(kStandInKernelSignature[2 * i + 1]) << 8));
      if (memory.ramWord(entry + i) != expected) return false;
    }
    return true;
  }

  void onTableWord(uint16_t word) {
    switch (field) {
      case Field::Key:
        if (word != 0x08AA) {
          jumpToFlash();
          return;
        }
        field = Field::Reserved;
        tableWordIndex = 0;
        return;
      case Field::Reserved:
        if (++tableWordIndex == 8) field = Field::EntryHigh;
        return;
      case Field::EntryHigh:
        entryPoint = uint32_t{word} << 16;
        field = Field::EntryLow;
        return;
      case Field::EntryLow:
        entryPoint |= word;
        field = Field::BlockSize;
        return;
      case Field::BlockSize:
        if (word == 0) {
          if (kernelAt(entryPoint)) {
            mode = Mode::KernelAutobaud;
            kernel.start();
          } else {
            mode = Mode::Halted;
          }
          return;
        }
        blockWordsLeft = word;
        field = Field::AddressHigh;
        return;
      case Field::AddressHigh:
        blockAddress = uint32_t{word} << 16;
        field = Field::AddressLow;
        return;
      case Field::AddressLow:
        blockAddress |= word;
        field = Field::Data;
        return;
      case Field::Data:
        memory.setRamWord(blockAddress++, word);
        if (--blockWordsLeft == 0) field = Field::BlockSize;
        return;
    }
  }

  void onByte(uint8_t byte, std::vector<uint8_t>& out) {
    switch (mode) {
      case Mode::Firmware:
      case Mode::Halted:
        return;
      case Mode::RomAutobaud:
      case Mode::KernelAutobaud:
        if (byte != 'A') return;  // anything else does not lock the baud-rate detector
        if (autobaudLimit > 0 && hostRate > autobaudLimit) return;  // edges too blurred to measure
        out.push_back(byte);
        lockedRate = hostRate;
        mode = mode == Mode::RomAutobaud ? Mode::RomTable : Mode::Kernel;
        return;
      case Mode::RomTable:
        if (hostRate != lockedRate) {
          mode = Mode::Halted;
          return;
        }
        out.push_back(byte);
        if (!haveLowByte) {
          lowByte = byte;
          haveLowByte = true;
          return;
        }
        haveLowByte = false;
        onTableWord(static_cast<uint16_t>(lowByte | (byte << 8)));
        return;
      case Mode::Kernel:
        if (hostRate != lockedRate) {
          mode = Mode::Halted;
          return;
        }
        kernel.onByte(byte, out);
        return;
    }
  }
};

BootProcessor::BootProcessor(FlashGeometry geometry) : impl_(std::make_unique<Impl>(std::move(geometry))) {}
BootProcessor::~BootProcessor() = default;

void BootProcessor::enterBootRom() {
  impl_->startRom();
}

void BootProcessor::reset() {
  impl_->startRom();
  if (impl_->memory.firmwareValid()) impl_->mode = Mode::Firmware;
}

bool BootProcessor::active() const {
  return impl_->mode != Mode::Firmware;
}

bool BootProcessor::firmwareValid() const {
  return impl_->memory.firmwareValid();
}

void BootProcessor::setFactoryFirmware() {
  impl_->memory.setFactoryFirmware();
  if (impl_->mode == Mode::RomAutobaud) impl_->mode = Mode::Firmware;
}

uint16_t BootProcessor::flashWord(uint32_t address) const {
  return impl_->memory.flashWord(address);
}

const FlashGeometry& BootProcessor::geometry() const {
  return impl_->memory.geometry();
}

bool BootProcessor::writeFlashIntelHex(const std::string& path, std::string* error) const {
  return impl_->memory.writeIntelHex(path, error);
}

bool BootProcessor::writeFlashBinary(const std::string& path, std::string* error) const {
  return impl_->memory.writeBinary(path, error);
}

void BootProcessor::onByte(uint8_t byte, std::vector<uint8_t>& out) {
  impl_->onByte(byte, out);
}

void BootProcessor::onHostBaudRate(int rate) {
  Impl& p = *impl_;
  p.hostRate = rate;  // what the next bytes are sent at
}

void BootProcessor::setAutobaudLimit(int rate) {
  impl_->autobaudLimit = rate;
}

void BootProcessor::advance(uint64_t /*microseconds*/) {}

bool BootProcessor::kernelRunning() const {
  return impl_->mode == Mode::Kernel || impl_->mode == Mode::KernelAutobaud;
}

bool BootProcessor::halted() const {
  return impl_->mode == Mode::Halted;
}

uint16_t BootProcessor::ramWord(uint32_t address) const {
  return impl_->memory.ramWord(address);
}

}  // namespace axtune::sim
