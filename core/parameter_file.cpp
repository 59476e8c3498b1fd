#include "core/parameter_file.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "link/object_access.h"
#include "link/sleeper.h"
#include "res/strings.h"

namespace axtune {
namespace {

constexpr int kLoadPauseMs = 2000;
constexpr int kPauseSliceMs = 100;

constexpr int kTextDifferenceLine = 42137;   // "Record %1, word %2%3: file %4, drive %5"
constexpr int kTextMoreDifferences = 42138;  // "... and %1 more"

// Sends records 2..count-1 of an accepted file, then pauses for the drive to take them over.
void SendRecords(ParameterRecordAccess& access, const std::vector<RecordWords>& records, int count,
                 const LoadHooks& hooks, LoadOutcome& outcome) {
  outcome.recordsToSend = std::max(count - kFirstLoadedRecord, 0);
  auto stop = [&hooks, &outcome] {
    if (!outcome.cancelled && hooks.cancelled) outcome.cancelled = hooks.cancelled();
    return outcome.cancelled;
  };
  for (int record = kFirstLoadedRecord; record < count && !stop(); ++record) {
    const RecordWords& words = records[static_cast<size_t>(record)];
    RecordWords reply = words;
    bool taken = false;
    bool silent = false;
    for (int attempt = 0; attempt < kRecordWriteAttempts && !taken && !silent; ++attempt) {
      // A record whose first attempt went out counts as sent even when a cancel stops the rest.
      if (attempt > 0 && stop()) break;
      reply = words;
      taken = access.exchangeRecord(record, reply);
      silent = !taken && access.lastLinkError() == kLinkNoReply;
    }
    ++outcome.recordsSent;
    // A cancel cuts the wait for the reply short, and the cut wait looks like a silent line: it is
    // the user's stop, not a drive that stopped answering, so the load ends as cancelled.
    if (silent && stop()) break;
    if (silent) {
      // A pulled cable or a drive switched off: every further record would wait out its timeout too.
      outcome.silentRecord = record;
      return;
    }
    if (taken) {
      ++outcome.recordsTaken;
      // The reply's words are the drive's own (the words sent, zeros, the record it keeps, anything):
      // what it holds is told by reading the record back.
      RecordWords held{};
      if (access.readRecord(record, held)) {
        for (int w = 0; w < kRecordWords; ++w) {
          if (held[w] != words[w]) outcome.differences.push_back({record, w, words[w], held[w]});
        }
      } else {
        ++outcome.recordsNotReadBack;
      }
    } else {
      outcome.refusedRecords.push_back(record);
    }
    if (hooks.progress) hooks.progress(outcome.recordsSent, outcome.recordsToSend);
  }
  if (hooks.afterRecordsSent) hooks.afterRecordsSent();
  if (!hooks.cancelled) {
    SleepMs(kLoadPauseMs);
  } else {
    for (int paused = 0; paused < kLoadPauseMs && !stop(); paused += kPauseSliceMs)
      SleepMs(std::min(kPauseSliceMs, kLoadPauseMs - paused));
  }
}

// Replaces %1..%9 in a text of the string table.
std::string Fill(std::string text, const std::vector<std::string>& values) {
  for (size_t i = values.size(); i-- > 0;) {
    const std::string marker = "%" + std::to_string(i + 1);
    for (size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + values[i].size())) {
      text.replace(at, marker.size(), values[i]);
    }
  }
  return text;
}

}  // namespace

std::vector<std::string> DescribeDifferences(const std::vector<RecordWordDifference>& differences,
                                             const RecordWordLabeller& label, size_t maxLines) {
  std::vector<std::string> lines;
  for (const RecordWordDifference& d : differences) {
    if (lines.size() == maxLines) {
      lines.push_back(Fill(Text(kTextMoreDifferences), {std::to_string(differences.size() - maxLines)}));
      break;
    }
    std::string name;
    if (label) {
      const RecordWordLabel known = label(d.record, d.word);
      if (!known.name.empty()) name = " (" + known.name + (known.unit.empty() ? "" : ", " + known.unit) + ")";
    }
    lines.push_back(
        Fill(Text(kTextDifferenceLine), {std::to_string(d.record), std::to_string(d.word), name,
                                         std::to_string(d.fileValue), std::to_string(d.driveValue)}));
  }
  return lines;
}

bool LinkParameterRecordAccess::readRecord(int record, RecordWords& words) {
  closed_ = !IsLinkOpen();
  return ReadRecord(record, words);
}
bool LinkParameterRecordAccess::exchangeRecord(int record, RecordWords& words) {
  closed_ = !IsLinkOpen();
  return ExchangeRecord(record, words);
}
bool LinkParameterRecordAccess::reachable() const {
  return IsLinkOpen();
}
int LinkParameterRecordAccess::lastLinkError() const {
  // The record exchange leaves LinkError alone on a closed link; for a load that is silence.
  return closed_ ? kLinkNoReply : LinkError.load();
}

RecordReadResult ReadParameterRecords(ParameterRecordAccess& access, int count,
                                      const ParameterProgress& progress, const CancelCheck& cancelled) {
  RecordReadResult result;
  if (count < 0 || count > kMaxParameterRecords) {
    result.countOutOfRange = true;
    return result;
  }
  result.records.reserve(static_cast<size_t>(count));
  for (int record = 0; record < count; ++record) {
    RecordWords words{};
    if (cancelled && cancelled()) {
      result.cancelled = true;
      result.failedRecord = record;
      result.records.clear();
      return result;
    }
    if (!access.readRecord(record, words)) {
      result.failedRecord = record;
      result.linkError = access.lastLinkError();
      result.records.clear();
      return result;
    }
    result.records.push_back(words);
    if (progress) progress(record + 1, count);
  }
  result.ok = true;
  return result;
}

SaveOutcome SaveParameterFile(ParameterRecordAccess& access, int count, const std::string& path,
                              const std::string& userName, const std::string& company, std::time_t now,
                              const ParameterProgress& progress) {
  SaveOutcome outcome;
  RecordReadResult read = ReadParameterRecords(access, count, progress);
  if (read.countOutOfRange) {
    outcome.result = SaveResult::CountOutOfRange;
    return outcome;
  }
  if (!read.ok) {
    outcome.result = SaveResult::ReadFailed;
    outcome.failedRecord = read.failedRecord;
    outcome.linkError = read.linkError;
    return outcome;
  }
  ParameterFileTrailer trailer{AbsoluteFilePath(path), FormatSaveDate(now), userName, company};
  FileWriteResult written = WriteFileAtomically(path, BuildParameterFile(read.records, trailer));
  if (!written.ok) {
    outcome.result = SaveResult::WriteFailed;
    outcome.reason = written.reason;
    return outcome;
  }
  outcome.result = SaveResult::Saved;
  outcome.bytesWritten = written.bytesWritten;
  return outcome;
}

LoadOutcome LoadParameterFile(ParameterRecordAccess& access, int count, const std::string& path,
                              const LoadHooks& hooks) {
  LoadOutcome outcome;
  std::vector<uint8_t> bytes;
  // One byte more than any parameter file for this drive can have, so an oversized file is told.
  const size_t largest = MaxParameterFileBytes(std::clamp(count, 0, kMaxParameterRecords));
  if (!ReadWholeFile(path, bytes, outcome.reason, largest + 1)) {
    outcome.result = LoadResult::OpenFailed;  // nothing at all goes to the drive
    return outcome;
  }
  // A file that carries the identification marks the parameters as changed, even when no record
  // was sent; a file with another identification only gets the end-of-load command.
  outcome.markChanged =
      bytes.size() >= kParameterFileHeaderBytes &&
      std::memcmp(bytes.data(), kParameterFileIdentification, kParameterFileHeaderBytes) == 0;

  if (count < 0 || count > kMaxParameterRecords) {
    outcome.result = LoadResult::CountOutOfRange;
  } else {
    const ParsedParameterFile parsed = ParseParameterFile(bytes.data(), bytes.size(), count);
    if (bytes.size() >= kParameterFileHeaderBytes) {
      const size_t whole = (bytes.size() - kParameterFileHeaderBytes) / kParameterRecordBytes;
      outcome.recordsInFile = static_cast<int>(std::min<size_t>(whole, INT_MAX));
    }
    outcome.savedRecordCount = parsed.savedRecordCount;
    switch (parsed.format) {
      case ParameterFileFormat::BadIdentification:
        outcome.result = LoadResult::BadIdentification;
        outcome.recordsInFile = 0;
        break;
      case ParameterFileFormat::TooShort:
        outcome.result = LoadResult::TooShort;
        break;
      case ParameterFileFormat::CountMismatch:
        outcome.result = LoadResult::CountMismatch;
        break;
      case ParameterFileFormat::TooLarge:
        outcome.result = LoadResult::TooLarge;
        break;
      case ParameterFileFormat::UnknownTrailer:
        outcome.result = LoadResult::UnknownTrailer;
        break;
      case ParameterFileFormat::Ok:
        outcome.result = LoadResult::Loaded;
        SendRecords(access, parsed.records, count, hooks, outcome);
        break;
    }
  }
  // Once records went out the drive is in its load mode; it leaves it only with the end-of-load
  // command, so that goes out even after a record got no answer (one missed answer is not a dead
  // drive). Only a closed link is not tried.
  if (!access.reachable()) return outcome;
  // The load ends with the end-of-load command whether or not the file was accepted.
  RecordWords endOfLoad = CommandRequest(kCmdEndOfLoad);
  access.exchangeRecord(kObjectRecord, endOfLoad);
  outcome.endOfLoadSent = true;
  return outcome;
}

}  // namespace axtune
