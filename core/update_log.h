// The local log of firmware updates: every update that either front end runs appends one JSON line
// to updates.jsonl in the user's data folder (~/.local/share/axtune on Linux, %LOCALAPPDATA%\axtune
// on Windows), so a production line can tell later which drive got which firmware file, when, and
// with what outcome. The commissioning report reads its last line; `axtune-cli history` prints it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace axtune {

struct UpdateLogEntry {
  std::string time;     // UTC, "2026-12-07T18:04:05Z"
  std::string program;  // "axtune" or "axtune-cli"
  std::string port;
  std::string driveBefore;  // identification before and after ("QMX10-BA 4.1.7, 65 records"), or ""
  std::string driveAfter;
  std::string file;  // full path
  uint64_t fileSize = 0;
  std::string sha256;
  int sections = 0;       // sections programmed
  uint64_t bytes = 0;     // bytes programmed
  std::string outcome;    // "Verify ok", "Verify failed", ...
  std::string processor;  // the processor the update took ("F2808"); "" in lines of older versions
  double seconds = 0;     // duration of the whole update
  double bytesPerSecond() const { return seconds > 0 ? static_cast<double>(bytes) / seconds : 0; }
  friend bool operator==(const UpdateLogEntry&, const UpdateLogEntry&) = default;
};

// The folder for the program's data ($XDG_DATA_HOME/axtune, ~/.local/share/axtune;
// %LOCALAPPDATA%\axtune on Windows). Empty when neither is known.
std::string AxtuneDataDirectory();
// The log file in it.
std::string UpdateLogPath();

// One line of JSON (without the newline), and back; nullopt for a line that is not one.
std::string UpdateLogLine(const UpdateLogEntry& entry);
std::optional<UpdateLogEntry> ParseUpdateLogLine(const std::string& line);

// Appends the entry, creating the folder; false with the reason when that fails.
bool AppendUpdateLog(const UpdateLogEntry& entry, std::string* error,
                     const std::string& path = UpdateLogPath());
// Every readable line, oldest first; lines that cannot be read are skipped.
std::vector<UpdateLogEntry> ReadUpdateLog(const std::string& path = UpdateLogPath());

// The time now as the log writes it.
std::string UtcTimestamp();

// The last update of a drive of this type ("QMX10-BA"): the one it ended as, or began as when it did
// not answer afterwards. The log names drives only by type and version, so an update of a drive of
// another type, or of one that never answered, is not this drive's.
std::optional<UpdateLogEntry> LastUpdateOfType(const std::vector<UpdateLogEntry>& log,
                                               const std::string& type);

// "QMX10-BA 4.1.7, 65 records", or "" for a drive that did not answer (empty type).
std::string DriveIdentificationText(const std::string& type, const std::string& version, int recordCount);

// What the front ends do around an update: construct it before the update starts (time, file, the
// drive as it was), Finish after it (outcome, sections, bytes, the drive as it is, the duration, and
// the file's size and SHA-256 once the update has checked it) appends the line. A log that cannot be written
// does not fail the update: Finish returns false with the reason for a warning.
class UpdateLogRecorder {
 public:
  UpdateLogRecorder(const std::string& program, const std::string& port, const std::string& file,
                    const std::string& driveBefore);
  bool Finish(const std::string& outcome, int sections, uint64_t bytes, const std::string& driveAfter,
              std::string* error, const std::string& path = UpdateLogPath());
  // The update's own time ends here: what Finish waits for afterwards (a message the user has to
  // close, the search for the restarted drive) does not count into its duration and rate.
  void Stop();
  // The processor the update takes (written with the entry).
  void SetProcessor(const std::string& processor) { entry_.processor = processor; }
  // The update's own time starts here (the user's answer to the switch-on prompt): the wait for the
  // answer does not count into its duration and rate.
  void Restart();
  // Seconds from the start (or Restart) to Stop, or to now before Stop.
  double Seconds() const;
  const UpdateLogEntry& entry() const { return entry_; }

 private:
  UpdateLogEntry entry_;
  double started_ = 0;
  double stopped_ = -1;  // < 0: not stopped, Finish takes the time
};

}  // namespace axtune
