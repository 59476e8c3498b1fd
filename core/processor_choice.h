// Which processor a firmware update takes, when the user does not name one.
//
// Every drive of the QMX10 family carries an F280x (the F2808's flash geometry), whatever its type.
// An F28335 is taken only when the user names it, or when the last update on the same port named it
// for a drive of the same type (the update log keeps the processor of every update), so a drive
// fitted with one is updated again the same way. A drive that answers nothing (it waits in its boot loader
// after an interrupted update) takes the processor of the last update on its port, else the F2808; the note
// says which, so a plain retry finishes what the interrupted update began.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/firmware_fit.h"
#include "core/update_log.h"

namespace axtune {

// The processor of the QMX10 family.
inline constexpr std::string_view kFamilyProcessor = "F2808";

struct ProcessorChoice {
  enum class Source { Named, UpdateLog, Family };
  const ProcessorFlash* processor = nullptr;  // null only for a name no processor has
  Source source = Source::Family;
  std::string note;  // English, for the user when the choice is not plain (empty otherwise)
};

// `named`: the user's choice ("" = none). `driveType`: the type the drive answered with
// ("QMX10-ET"), "" when it did not answer. `port`: the port as the update log names it. `log`: the
// update log, oldest first.
ProcessorChoice ChooseUpdateProcessor(std::string_view named, const std::string& driveType,
                                      const std::string& port, const std::vector<UpdateLogEntry>& log);

}  // namespace axtune
