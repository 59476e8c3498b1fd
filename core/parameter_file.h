// Parameter files (*.qmx): a raw image of the drive's parameter records behind a short
// identification, followed by a trailer that says where, when and by whom the file was written.
//
//   offset 0             "LWB V2.0" and a zero byte (9 bytes)
//   offset 9             records 0..count-1, 15 little-endian words each (30 bytes per record)
//   offset 9 + 30*count  full path, zero byte; date "dd.mm.yyyy", zero byte; user name, zero byte;
//                        company, zero byte
//
// The record count is not stored: it is the count of the connected drive (word 6 of record 128).
// The loader reads the identification and the records; where the records end is decided from the
// file's structure, never from its size alone. A trailer of a known form follows the records: the
// layout above, or four zero-terminated texts as other installations write them (another path or
// date form, another code page, line-end bytes after the company, the company's zero byte missing),
// or nothing at all. A file loads when such a trailer starts right behind the drive's count of
// records and at no smaller record boundary (a long path also reads as a trailer from a point inside
// it, so the smallest boundary is the count the file was saved with). It is refused when the trailer
// starts at another boundary (saved from another drive type), when the bytes behind the records are
// no trailer of a known form at any boundary (nothing tells where the records end), and when it is
// longer than any parameter file for the drive's count can be.
//
// Nothing here shows a message: every sequence returns an outcome that the GUI and the command-line
// tool turn into their own texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/save_target.h"
#include "link/drive_link.h"

namespace axtune {

inline constexpr char kParameterFileIdentification[] = "LWB V2.0";
inline constexpr size_t kParameterFileHeaderBytes = 9;  // identification and its zero byte
inline constexpr size_t kParameterRecordBytes = 2 * kRecordWords;
// Record numbers of 127 and above are the command channel and the status records, so a drive
// with more parameter records than this cannot be saved or loaded safely.
inline constexpr int kMaxParameterRecords = 127;
// Records 0 and 1 are read from a file but never sent back to a drive.
inline constexpr int kFirstLoadedRecord = 2;

// String ids of the user-facing texts.
inline constexpr int kTextRecordsNotRead = 119;     // "Datensätze nicht vollständig gelesen..."
inline constexpr int kTextUnknownFileFormat = 120;  // "Die Datei hat kein gültiges Format."

struct ParameterFileTrailer {
  std::string path;  // where the file was saved
  std::string date;  // "dd.mm.yyyy"
  std::string userName;
  std::string company;
};

// "%02d.%02d.%4d" of day, month and year of the given time in UTC.
std::string FormatSaveDate(std::time_t time);

// The complete file image.
std::vector<uint8_t> BuildParameterFile(const std::vector<RecordWords>& records,
                                        const ParameterFileTrailer& trailer);

// The longest trailer a file may carry: a path of up to 4096 bytes, a date of up to 32, a user name
// and a company of up to 256 bytes each (every text with its zero byte), and a few line-end bytes.
inline constexpr size_t kMaxTrailerPathBytes = 4096;
inline constexpr size_t kMaxTrailerDateBytes = 32;
inline constexpr size_t kMaxTrailerNameBytes = 256;
inline constexpr size_t kMaxTrailerTailBytes = 16;
inline constexpr size_t kMaxTrailerBytes =
    kMaxTrailerPathBytes + kMaxTrailerDateBytes + 2 * kMaxTrailerNameBytes + kMaxTrailerTailBytes;
// The largest parameter file for a drive with `count` records.
constexpr size_t MaxParameterFileBytes(int count) {
  return kParameterFileHeaderBytes + kParameterRecordBytes * static_cast<size_t>(count < 0 ? 0 : count) +
         kMaxTrailerBytes;
}

enum class ParameterFileFormat {
  Ok,
  BadIdentification,  // the first 9 bytes are not "LWB V2.0" and a zero byte
  TooShort,           // the file ends before the records of the drive's count
  CountMismatch,      // a trailer at another record boundary: saved from another drive type
  TooLarge,           // longer than any parameter file for the drive's count can be
  UnknownTrailer,     // bytes behind the records that are no trailer at any boundary
};

struct ParsedParameterFile {
  ParameterFileFormat format = ParameterFileFormat::BadIdentification;
  std::vector<RecordWords> records;             // the whole records found (all of them when format is Ok)
  std::optional<ParameterFileTrailer> trailer;  // behind the drive's count of records, when present
  // The smallest record count behind which a trailer follows (the count the file was saved with);
  // -1 when no trailer of the usual layout is found. A file with such a trailer is accepted only when
  // this is the drive's count.
  int savedRecordCount = -1;
};

// Parses a file image for a drive with `count` records (0..kMaxParameterRecords).
ParsedParameterFile ParseParameterFile(const uint8_t* data, size_t size, int count);
// The trailer that starts at `offset`, when the bytes from there on are exactly a trailer: a full
// path, a date "dd.mm.yyyy", a user name and a company, each with its zero byte. The strings are
// informative: any bytes but zero may stand in them.
std::optional<ParameterFileTrailer> ParseTrailer(const uint8_t* data, size_t size, size_t offset);
// Whether the bytes from `offset` on are a trailer of any known form: the layout above, or four texts
// (a path and a date that are not empty, a user name and a company) of text bytes (no control bytes
// but tab), each within its length and with its zero byte; the company's zero byte may be missing,
// and line-end bytes (CR, LF, blank, tab, Ctrl-Z) may follow it.
bool IsTrailerOfKnownForm(const uint8_t* data, size_t size, size_t offset);

// Record access to the drive; the default goes through the drive link. Tests and other front ends
// may stand in.
class ParameterRecordAccess {
 public:
  virtual ~ParameterRecordAccess() = default;
  virtual bool readRecord(int record, RecordWords& words) = 0;
  // A record write: true on a well-formed reply for that record, whose words replace `words`.
  virtual bool exchangeRecord(int record, RecordWords& words) = 0;
  // LinkError after the last failed transfer; kLinkNoReply means nothing came back at all.
  virtual int lastLinkError() const = 0;
  // False when no request can go out at all (the link is closed).
  virtual bool reachable() const { return true; }
};

class LinkParameterRecordAccess : public ParameterRecordAccess {
 public:
  bool readRecord(int record, RecordWords& words) override;
  bool exchangeRecord(int record, RecordWords& words) override;
  int lastLinkError() const override;
  bool reachable() const override;

 private:
  bool closed_ = false;  // the last transfer found the link closed: as silent as a pulled cable
};

// A record write whose reply was not well-formed (an error reply, a damaged or short frame) is sent
// again, up to this many times in all. A record that got no answer at all is not: the sending stops.
inline constexpr int kRecordWriteAttempts = 3;

// Called after each record transferred: (records done, records in all).
using ParameterProgress = std::function<void(int done, int total)>;
// Asked between transfers (and at the last moment before a file replaces another): true stops the
// sequence there. Empty: never stop.
using CancelCheck = std::function<bool()>;

// ---- Save --------------------------------------------------------------------------------------

struct RecordReadResult {
  bool ok = false;
  std::vector<RecordWords> records;  // records 0..count-1 when ok
  int failedRecord = -1;             // the first record that could not be read
  int linkError = 0;                 // LinkError after that read
  bool countOutOfRange = false;      // count above kMaxParameterRecords or negative; nothing read
  bool cancelled = false;            // stopped on request before record failedRecord; nothing kept
};

// Step one of a save: read records 0..count-1 in order, stopping at the first failure or when
// `cancelled` says so before a record. The caller asks for a file only when this succeeded
// (otherwise it shows text 119).
RecordReadResult ReadParameterRecords(ParameterRecordAccess& access, int count,
                                      const ParameterProgress& progress = {},
                                      const CancelCheck& cancelled = {});

// FileWriteResult and WriteFileAtomically (the one writer of every file): core/save_target.h.

// The absolute form of `path` as it goes into the trailer.
std::string AbsoluteFilePath(const std::string& path);

enum class SaveResult {
  Saved,
  ReadFailed,       // a record could not be read: text 119, nothing written
  WriteFailed,      // the file could not be written; an existing file is untouched
  CountOutOfRange,  // the drive reports more records than a file can carry; nothing read
};

struct SaveOutcome {
  SaveResult result = SaveResult::ReadFailed;
  int failedRecord = -1;
  int linkError = 0;
  std::string reason;
  size_t bytesWritten = 0;
};

// The whole save for callers without dialogs: read every record, then write the file with the
// trailer (path made absolute, date of `now` in UTC, user name, company).
SaveOutcome SaveParameterFile(ParameterRecordAccess& access, int count, const std::string& path,
                              const std::string& userName, const std::string& company, std::time_t now,
                              const ParameterProgress& progress = {});

// ---- Load --------------------------------------------------------------------------------------

enum class LoadResult {
  Loaded,             // records 2..count-1 sent
  OpenFailed,         // the file could not be opened or read; nothing was sent at all
  BadIdentification,  // text 120; nothing but the end-of-load command was sent
  TooShort,           // refused: the file ends before the drive's record count; no records sent
  CountMismatch,      // refused: saved from a drive with another record count; no records sent
  CountOutOfRange,    // refused: the drive reports more records than a file can carry
  TooLarge,           // refused: longer than a parameter file for the drive can be; no records sent
  UnknownTrailer,     // refused: nothing tells where the records end; no records sent
};

// A word the drive holds other than the file says, as its reply to the record write showed: it
// limited the value, keeps the word read-only, or computes it.
struct RecordWordDifference {
  int record = 0;
  int word = 0;
  uint16_t fileValue = 0;
  uint16_t driveValue = 0;
  bool operator==(const RecordWordDifference&) const = default;
};

struct LoadOutcome {
  LoadResult result = LoadResult::OpenFailed;
  std::string reason;               // the system's reason for OpenFailed
  int recordsToSend = 0;            // records 2..count-1 of an accepted file
  int recordsSent = 0;              // records whose write went out, each once or more
  int recordsTaken = 0;             // records the drive answered with a well-formed reply for that record
  std::vector<int> refusedRecords;  // answered, but never well-formed in kRecordWriteAttempts
  int silentRecord = -1;            // the record that got no answer at all: the load stopped there
  std::vector<RecordWordDifference> differences;  // words the drive holds other than the file, as read back
  int recordsNotReadBack = 0;                     // taken records whose read-back failed
  int recordsInFile = 0;                          // whole records in the file behind the identification
  int savedRecordCount = -1;                      // the count the file was saved with, when a trailer tells
  bool endOfLoadSent = false;                     // the end-of-load command went out
  bool cancelled = false;    // stopped on request: records after the last one sent were not sent
  bool markChanged = false;  // the caller marks the parameters as changed (store enabled): the
                             // file carries the identification
};

struct LoadHooks {
  ParameterProgress progress;
  // Runs after the records were sent and before the pause, so the GUI can refresh its page; not
  // when the drive fell silent (a page read would only wait for it again).
  std::function<void()> afterRecordsSent;
  // Asked before every record attempt and through the pause: true stops sending records, cuts the
  // pause short and goes straight to the end-of-load command (the drive still gets it).
  CancelCheck cancelled;
};

// The whole load: reads the file, checks it against the drive's record count, sends records
// 2..count-1, waits 2000 ms, and sends the end-of-load command for every file that could be read.
// A record counts as taken when its write got a well-formed reply for that record; it is then read
// back, and words the drive holds other than the file's are listed, not retried. A damaged or refused reply
// is retried (kRecordWriteAttempts in all) and the record listed as refused. The first record that gets no
// answer at all ends the sending at once (no pause, a dead line costs one record's timeout); the
// end-of-load command still goes out, so a drive that only missed one answer leaves its load mode.
LoadOutcome LoadParameterFile(ParameterRecordAccess& access, int count, const std::string& path,
                              const LoadHooks& hooks = {});

// Name and unit of a record word, where a page shows it; empty name where none does.
struct RecordWordLabel {
  std::string name;
  std::string unit;
};
using RecordWordLabeller = std::function<RecordWordLabel(int record, int word)>;

// One line per difference in the current language: "Record 2, word 2 (Idle current, %): file 20000,
// drive 16383". `label` may be empty (no names known); at most `maxLines` lines, then one that says
// how many more there are.
std::vector<std::string> DescribeDifferences(const std::vector<RecordWordDifference>& differences,
                                             const RecordWordLabeller& label, size_t maxLines = SIZE_MAX);

// Reads a file, at most `maxBytes` of it; false with the system's reason when it cannot be opened
// or read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason,
                   size_t maxBytes = SIZE_MAX);

// No parameter file comes near this; the loader reads no further (the rest cannot be a trailer).
inline constexpr size_t kMaxParameterFileBytes = 1 << 20;

}  // namespace axtune
