#include "core/processor_choice.h"

namespace axtune {

ProcessorChoice ChooseUpdateProcessor(std::string_view named, const std::string& driveType,
                                      const std::string& port, const std::vector<UpdateLogEntry>& log) {
  const bool answered = !driveType.empty();
  ProcessorChoice choice;
  if (!named.empty()) {
    choice.processor = FindProcessor(named);
    choice.source = ProcessorChoice::Source::Named;
    return choice;
  }
  // The last update on this port that named its processor: of a drive of this type, or of any drive
  // when this one does not answer (it cannot say what it is).
  const ProcessorFlash* logged = nullptr;
  std::string when;
  const std::string typePrefix = driveType + " ";
  for (auto it = log.rbegin(); it != log.rend() && logged == nullptr; ++it) {
    if (it->port != port || it->processor.empty()) continue;
    const std::string& drive = it->driveAfter.empty() ? it->driveBefore : it->driveAfter;
    if (answered && drive.compare(0, typePrefix.size(), typePrefix) != 0) continue;
    logged = FindProcessor(it->processor);
    when = it->time;
  }
  const ProcessorFlash* family = FindProcessor(kFamilyProcessor);
  const std::string silent =
      "no drive answered on " + port + " (after an interrupted update it waits in its boot loader); ";
  if (logged != nullptr && (logged != family || !answered)) {
    choice.processor = logged;
    choice.source = ProcessorChoice::Source::UpdateLog;
    choice.note = (answered ? std::string() : silent) + "taking the " + std::string(logged->name) +
                  ", as the last update on " + port + " (" + when + ") did; name another with --processor";
    return choice;
  }
  choice.processor = family;
  choice.source = ProcessorChoice::Source::Family;
  if (!answered) {
    choice.note = silent + "taking the " + std::string(family->name) +
                  ", the processor of every QMX10 drive; name another with --processor";
  }
  return choice;
}

}  // namespace axtune
