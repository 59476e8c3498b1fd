// Opening and checking a firmware file: the COFF reader behind the FirmwareFile interface, and the
// checks that refuse a file before the drive is told anything.
#include "core/firmware_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "core/input_file.h"

#ifdef AXTUNE_HAVE_AXCOFF
#include "firmware/coff/coff_reader.h"
#endif

namespace axtune {
namespace {

// No flash of the drive's processors comes near this; a larger size means a damaged file.
constexpr uint32_t kMaxSectionBytes = 16u * 1024 * 1024;

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

std::string HexText(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

uint32_t ReadSectionWords(FirmwareFile& file, const FirmwareSectionInfo& section,
                          std::vector<uint16_t>& words) {
  words.assign((section.sizeBytes + 1) / 2, 0);
  if (section.sizeBytes == 0) return 0;
  return file.readSection(section.number, reinterpret_cast<uint8_t*>(words.data()), section.sizeBytes);
}

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
    check.message = path + " is a COFF file for target " + HexText(file->targetId(), 4) +
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
      check.message = path + ": " + label + " would be programmed at " + HexText(section.loadAddress, 8) +
                      ".." + HexText(section.loadAddress + section.sizeBytes / 2, 8) +
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

}  // namespace axtune
