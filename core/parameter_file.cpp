#include "core/parameter_file.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "link/object_access.h"
#include "link/sleeper.h"

namespace axtune {
namespace {

constexpr int kLoadPauseMs = 2000;

}  // namespace

bool LinkParameterRecordAccess::readRecord(int record, RecordWords& words) {
  return ReadRecord(record, words);
}
bool LinkParameterRecordAccess::exchangeRecord(int record, RecordWords& words) {
  return ExchangeRecord(record, words);
}
bool LinkParameterRecordAccess::writeRecord(int record, const RecordWords& words) {
  return WriteRecord(record, words);
}
bool ParameterRecordAccess::writeRecord(int record, const RecordWords& words) {
  RecordWords reply = words;
  return exchangeRecord(record, reply) && reply == words;
}
int LinkParameterRecordAccess::lastLinkError() const {
  return LinkError.load();
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
  // One byte more than any parameter file, so an oversized file fails the trailer check.
  if (!ReadWholeFile(path, bytes, outcome.reason, kMaxParameterFileBytes + 1)) {
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
      case ParameterFileFormat::Ok: {
        outcome.result = LoadResult::Loaded;
        const int toSend = std::max(count - kFirstLoadedRecord, 0);
        auto stop = [&hooks, &outcome] {
          if (!outcome.cancelled && hooks.cancelled) outcome.cancelled = hooks.cancelled();
          return outcome.cancelled;
        };
        for (int record = kFirstLoadedRecord; record < count && !stop(); ++record) {
          const RecordWords& words = parsed.records[static_cast<size_t>(record)];
          bool confirmed = false;
          for (int attempt = 0; attempt < kRecordWriteAttempts && !confirmed; ++attempt) {
            // A record whose first attempt went out counts as sent even when a cancel stops the rest.
            if (attempt > 0 && stop()) break;
            confirmed = access.writeRecord(record, words);
          }
          if (confirmed) {
            ++outcome.recordsConfirmed;
          } else {
            outcome.unconfirmedRecords.push_back(record);
            ++outcome.failedWrites;
          }
          ++outcome.recordsSent;
          if (hooks.progress) hooks.progress(outcome.recordsSent, toSend);
        }
        if (hooks.afterRecordsSent) hooks.afterRecordsSent();
        if (!hooks.cancelled) {
          SleepMs(kLoadPauseMs);
        } else {
          constexpr int kPauseSliceMs = 100;
          for (int paused = 0; paused < kLoadPauseMs && !stop(); paused += kPauseSliceMs)
            SleepMs(std::min(kPauseSliceMs, kLoadPauseMs - paused));
        }
        break;
      }
    }
  }
  // The load ends with the end-of-load command whether or not the file was accepted.
  RecordWords endOfLoad = CommandRequest(kCmdEndOfLoad);
  access.exchangeRecord(kObjectRecord, endOfLoad);
  outcome.endOfLoadSent = true;
  return outcome;
}

}  // namespace axtune
