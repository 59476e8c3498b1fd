// A firmware file as the update sees it: its sections, where they are programmed, and the checks
// that refuse a damaged or foreign file before the drive is told anything.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace axtune {

inline constexpr uint16_t kC28xTargetId = 0x009D;
inline constexpr uint32_t kSectionText = 0x0020;
inline constexpr uint32_t kSectionData = 0x0040;

// A section's load addresses must lie in the C28x memory that an update can write: the flash (F280x
// and F2833x) and their RAM blocks. Anything else (0xFFFFFFFF, say) comes from a damaged or foreign
// file and is refused before the drive is told anything.
bool FitsC28xMemory(uint32_t wordAddress, uint32_t words);

// One section of a firmware file as the update sees it.
struct FirmwareSectionInfo {
  int number = 0;  // 1..count
  std::string name;
  uint32_t runAddress = 0;   // physical address
  uint32_t loadAddress = 0;  // virtual address: where the section is programmed
  uint16_t page = 0;
  uint32_t flags = 0;
  uint32_t sizeBytes = 0;
  bool loadable = false;  // the reader's loadable test (raw data present, not dummy, no-load or copy)
};

// An opened firmware file.
class FirmwareFile {
 public:
  virtual ~FirmwareFile() = default;
  virtual uint16_t targetId() const = 0;
  virtual uint32_t entryPoint() const = 0;
  // A linked image (it has the optional header with the entry point); object files are not.
  virtual bool executable() const = 0;
  virtual int sectionCount() const = 0;
  virtual FirmwareSectionInfo section(int number) const = 0;
  // Reads up to `bytes` bytes of the section from its start; returns the number read.
  virtual uint32_t readSection(int number, uint8_t* buffer, uint32_t bytes) = 0;
};

// Why a firmware file was refused before anything was sent to the drive.
enum class FirmwareFileProblem {
  None,
  CannotOpen,
  NotCoff,
  WrongTarget,
  NotExecutable,
  NoLoadableSections,
  AddressOutOfRange,  // a section would be programmed outside the processor's flash and RAM
};

struct FirmwareFileCheck {
  FirmwareFileProblem problem = FirmwareFileProblem::None;
  std::string message;                 // a sentence for the user, naming the file
  std::unique_ptr<FirmwareFile> file;  // set when problem is None
};

// Opens a COFF file through the COFF reader (options 1, 0, 0, 1) and checks that it is a linked
// image for target 0x009D with at least one section that the update would program, every one of
// them readable to its end.
FirmwareFileCheck OpenFirmwareFile(const std::string& path);
// The same check on a file that is already open.
FirmwareFileCheck CheckFirmwareFile(std::unique_ptr<FirmwareFile> file, const std::string& path);

// A section size in target units as bytes, by the target table of the COFF format (0 for targets
// the table does not know).
uint32_t CoffUnitsToBytes(uint16_t targetId, uint32_t units);

// The sections the update programs and verifies: loadable, and with the text or the data bit.
bool IsProgrammedSection(const FirmwareSectionInfo& section);
std::vector<FirmwareSectionInfo> ProgrammedSections(const FirmwareFile& file);

// Reads a whole section into a word buffer (the programmer takes 16-bit words); returns the bytes read.
uint32_t ReadSectionWords(FirmwareFile& file, const FirmwareSectionInfo& section,
                          std::vector<uint16_t>& words);

// "0x" and `digits` upper-case hex digits, for addresses and target ids in messages.
std::string HexText(uint32_t value, int digits);

}  // namespace axtune
