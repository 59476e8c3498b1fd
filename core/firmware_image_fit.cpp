#include "core/firmware_image_fit.h"

#include "core/drive_identity.h"

namespace axtune {

std::vector<FitSection> FitSectionsOf(const FirmwareFile& file) {
  std::vector<FitSection> sections;
  for (int number = 1; number <= file.sectionCount(); ++number) {
    const FirmwareSectionInfo info = file.section(number);
    if (!info.loadable || info.sizeBytes == 0) continue;
    sections.push_back({info.number, info.name, info.loadAddress, (info.sizeBytes + 1) / 2});
  }
  return sections;
}

FitCheck CheckImageFit(const FirmwareFile& file, const ProcessorFlash* processor) {
  const std::vector<FitSection> sections = FitSectionsOf(file);
  return processor != nullptr ? CheckFit(sections, *processor) : CheckOverlaps(sections);
}

std::string FittingProcessorsText(const FirmwareFile& file) {
  std::string text;
  for (const std::string& name : ProcessorsThatFit(FitSectionsOf(file))) {
    std::string types;
    for (int type : DriveTypesWithProcessor(name)) types += (types.empty() ? "" : ", ") + DriveTypeText(type);
    if (!text.empty()) text += ", ";
    text += name + (types.empty() ? "" : " (" + types + ")");
  }
  return text;
}

}  // namespace axtune
