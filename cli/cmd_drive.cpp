// identify, read, write-word, write-record, read-object, write-object, store.
#include <cstdio>
#include <optional>
#include <ostream>
#include <vector>

#include "cli/cli_internal.h"
#include "link/late_answers.h"
#include "link/object_access.h"

namespace axtune::cli {
namespace {

constexpr int kStorePauseMs = 2000;

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

Json WordsJson(const RecordWords& words) {
  Json array = Json::array();
  for (uint16_t w : words) array.push(static_cast<int>(w));
  return array;
}

void PrintWords(std::ostream& out, int record, const RecordWords& words) {
  out << "record " << record << ":\n";
  char line[64];
  std::snprintf(line, sizeof line, "  %-4s %6s  %6s  %6s\n", "word", "value", "signed", "hex");
  out << line;
  for (int i = 0; i < kRecordWords; ++i) {
    std::snprintf(line, sizeof line, "  w%-3d %6u  %6d  0x%04X\n", i, words[i],
                  static_cast<int16_t>(words[i]), words[i]);
    out << line;
  }
}

bool ArgNumber(Context& context, size_t index, const char* what, int64_t minimum, int64_t maximum,
               int64_t& value, int& code) {
  if (ParseInteger(context.options.args[index], minimum, maximum, value)) return true;
  code = UsageError(context, std::string(what) + " must be a number from " + std::to_string(minimum) +
                                 " to " + std::to_string(maximum) + " (decimal or 0x hex), not \"" +
                                 context.options.args[index] + "\"");
  return false;
}

// What a write left behind for its report: whether the drive confirmed it, and if not, why.
struct WriteResult {
  bool confirmed = false;
  TransferFate fate = TransferFate::NotSent;
  int linkError = 0;
  bool refused = false;  // the drive answered "no" (an error reply or an abort): a read-back changes nothing
};

WriteResult TakeWriteResult(bool confirmed) {
  WriteResult result;
  result.confirmed = confirmed;
  result.fate = LastTransferFate();
  result.linkError = LinkError.load();
  result.refused = !confirmed && result.fate == TransferFate::Answered;
  return result;
}

// Reports a write, with --verify after reading it back: `holds` says whether the drive holds what
// was written (empty when the read-back failed), `shown` what it holds. A write whose answer was
// lost counts when the read-back shows the value; a confirmed write that reads back otherwise does
// not. Returns -1 when the command goes on to report success, else the exit code.
int CheckWrite(Context& context, const DriveSession& session, const std::string& what,
               const WriteResult& write, std::optional<bool> holds, const std::string& shown) {
  if (!context.options.verify || write.refused || write.fate == TransferFate::NotSent) {
    if (write.confirmed) return -1;
    return FailUnconfirmedWrite(context, session, what, write.fate, write.linkError);
  }
  if (!holds) {
    if (!write.confirmed) return FailUnconfirmedWrite(context, session, what, write.fate, write.linkError);
    return Fail(context, kExitDrive,
                what + " was confirmed but could not be read back: " + LinkErrorText(LinkError.load()));
  }
  if (!*holds) {
    return Fail(
        context, kExitDrive,
        what +
            (write.confirmed ? " was confirmed but reads back as " : " was not written: it reads back as ") +
            shown);
  }
  if (!write.confirmed)
    Warn(context, what + ": the drive's answer was lost, but reading it back shows the value");
  return -1;
}

}  // namespace

int CmdIdentify(Context& context) {
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  Identity id;
  if (const int code = session.identify(id); code != kExitOk) return code;
  if (context.options.json) {
    Json firmware = Json::object();
    firmware.set("major", id.major)
        .set("minor", id.minor)
        .set("build", id.build)
        .set("test", id.testFirmware);
    std::string versionText = id.versionText;
    while (!versionText.empty() && versionText.back() == ' ') versionText.pop_back();
    firmware.set("text", versionText).set("number", id.versionNumber);
    Json j = Json::object();
    j.set("ok", id.supported);
    // The window names an unsupported device in German in both languages; English JSON says it in English.
    const std::string deviceName = !id.supported && CurrentLanguage() == Language::English
                                       ? std::string("unsupported device")
                                       : id.typeText;
    j.set("port", session.portLabel()).set("deviceType", id.deviceType).set("deviceName", deviceName);
    j.set("supported", id.supported).set("firmware", firmware).set("recordCount", id.recordCount);
    j.set("carrier", id.carrier ? Json(*id.carrier) : Json());
    j.write(context.out);
  } else {
    std::ostream& out = context.out;
    out << "Port:             " << session.portLabel() << '\n'
        << "Drive:            " << id.typeText << " (" << id.deviceType << ")\n"
        << "Firmware version: " << id.versionText << '\n'
        << "Records:          " << id.recordCount << '\n'
        << "Carrier:          " << (id.carrier ? (*id.carrier ? "on" : "off") : "unknown") << '\n';
  }
  if (!id.supported) {
    Warn(context, "the device on " + session.portLabel() + " is not a supported QMX10 drive");
    return kExitDrive;
  }
  return kExitOk;
}

int CmdRead(Context& context) {
  int64_t record = 0;
  int code = kExitOk;
  if (!ArgNumber(context, 0, "RECORD", 0, 255, record, code)) return code;
  DriveSession session(context);
  if ((code = session.open()) != kExitOk) return code;
  RecordWords words{};
  if (!ReadRecord(static_cast<int>(record), words))
    return FailRecordRead(context, session, static_cast<int>(record));
  if (context.options.json) {
    Json j = Json::object();
    j.set("record", static_cast<int>(record)).set("words", WordsJson(words));
    j.write(context.out);
  } else {
    PrintWords(context.out, static_cast<int>(record), words);
  }
  return kExitOk;
}

int CmdWriteWord(Context& context) {
  int64_t record = 0, word = 0, value = 0;
  int code = kExitOk;
  if (!ArgNumber(context, 0, "RECORD", 0, 127, record, code) ||
      !ArgNumber(context, 1, "WORD", 0, kRecordWords - 1, word, code) ||
      !ArgNumber(context, 2, "VALUE", -32768, 65535, value, code)) {
    return code;
  }
  DriveSession session(context);
  if ((code = session.open()) != kExitOk) return code;
  const auto raw = static_cast<uint16_t>(value & 0xFFFF);
  const std::string what = "word " + std::to_string(word) + " of record " + std::to_string(record);
  const WriteResult write =
      TakeWriteResult(WriteWords(static_cast<int>(record), static_cast<int>(word), raw));
  RecordWords stored{};
  std::optional<bool> holds;
  if (context.options.verify && ReadRecord(static_cast<int>(record), stored)) holds = stored[word] == raw;
  if (const int failed = CheckWrite(context, session, what, write, holds, Hex(stored[word], 4)); failed >= 0)
    return failed;
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("record", static_cast<int>(record)).set("word", static_cast<int>(word));
    j.set("value", static_cast<int>(raw));
    j.write(context.out);
  } else {
    context.out << "record " << record << " word " << word << " = " << raw << " (" << Hex(raw, 4) << ")\n";
  }
  return kExitOk;
}

int CmdWriteRecord(Context& context) {
  int64_t record = 0;
  int code = kExitOk;
  if (!ArgNumber(context, 0, "RECORD", 0, 255, record, code)) return code;
  RecordWords words{};
  for (int i = 0; i < kRecordWords; ++i) {
    int64_t value = 0;
    const std::string what = "W" + std::to_string(i);
    if (!ArgNumber(context, static_cast<size_t>(i) + 1, what.c_str(), -32768, 65535, value, code))
      return code;
    words[i] = static_cast<uint16_t>(value & 0xFFFF);
  }
  DriveSession session(context);
  if ((code = session.open()) != kExitOk) return code;
  const RecordWords written = words;
  const std::string what = "record " + std::to_string(record);
  if (context.options.verify && (record == kObjectRecord || record >= kIdentificationRecord)) {
    return UsageError(context, "--verify reads a parameter record back; record " + std::to_string(record) +
                                   " is not one (use write-object --verify for objects)");
  }
  WriteResult write = TakeWriteResult(ExchangeRecord(static_cast<int>(record), words));
  // A drive answers a record write with the words sent or with the record as it now holds it (a
  // value it limited, a word it keeps): either way the write arrived. Say which words differ.
  std::vector<int> differing;
  if (write.confirmed && record != kObjectRecord) {
    for (int i = 0; i < kRecordWords; ++i)
      if (words[i] != written[i]) differing.push_back(i);
  }
  RecordWords stored{};
  std::optional<bool> holds;
  if (context.options.verify && ReadRecord(static_cast<int>(record), stored)) holds = stored == written;
  std::string shown;
  for (uint16_t w : stored) shown += (shown.empty() ? "" : " ") + Hex(w, 4);
  if (const int failed = CheckWrite(context, session, what, write, holds, shown); failed >= 0) return failed;
  if (!differing.empty() && !context.options.json) {
    context.out << "the drive answered with other values in word";
    for (size_t i = 0; i < differing.size(); ++i) {
      const int w = differing[i];
      context.out << (i == 0 ? (differing.size() > 1 ? "s " : " ") : ", ") << w << " (sent " << written[w]
                  << ", drive " << words[w] << ")";
    }
    context.out << "\n";
  }
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("record", static_cast<int>(record)).set("reply", WordsJson(words));
    Json differs = Json::array();
    for (int w : differing) differs.push(w);
    j.set("differingWords", std::move(differs));
    j.write(context.out);
  } else {
    context.out << "reply of ";
    PrintWords(context.out, static_cast<int>(record), words);
  }
  return kExitOk;
}

int CmdReadObject(Context& context) {
  int64_t index = 0, sub = 0;
  int code = kExitOk;
  if (!ArgNumber(context, 0, "INDEX", 0, 0xFFFF, index, code) ||
      !ArgNumber(context, 1, "SUB", 0, 255, sub, code)) {
    return code;
  }
  DriveSession session(context);
  if ((code = session.open()) != kExitOk) return code;
  int32_t value = 0;
  const std::string name = Hex(static_cast<uint32_t>(index), 4) + "/" + std::to_string(sub);
  if (!ReadObject(static_cast<uint16_t>(index), static_cast<uint8_t>(sub), &value)) {
    if (const uint32_t abort = LastObjectAbortCode(); abort != 0) {
      return Fail(context, kExitDrive,
                  "the drive on " + session.portLabel() + " refused the read of object " + name + " (" +
                      AbortText(abort) + ")");
    }
    return Fail(context, kExitDrive,
                "object " + name + " could not be read: the drive on " + session.portLabel() +
                    " did not answer with its value (" + LinkErrorText(LinkError.load()) + ")");
  }
  const auto unsignedValue = static_cast<uint32_t>(value);
  if (context.options.json) {
    Json j = Json::object();
    j.set("index", static_cast<int>(index)).set("subindex", static_cast<int>(sub));
    j.set("value", static_cast<long long>(unsignedValue)).set("signed", static_cast<long long>(value));
    j.write(context.out);
  } else {
    context.out << "object " << name << " = " << unsignedValue << " (" << Hex(unsignedValue, 8) << ", signed "
                << value << ")\n";
  }
  return kExitOk;
}

int CmdWriteObject(Context& context) {
  int64_t index = 0, sub = 0, size = 0, value = 0;
  int code = kExitOk;
  if (!ArgNumber(context, 0, "INDEX", 0, 0xFFFF, index, code) ||
      !ArgNumber(context, 1, "SUB", 0, 255, sub, code) || !ArgNumber(context, 2, "SIZE", 1, 4, size, code)) {
    return code;
  }
  const int64_t bits = size * 8;
  const int64_t maximum = (int64_t{1} << bits) - 1;
  const int64_t minimum = -(int64_t{1} << (bits - 1));
  if (!ArgNumber(context, 3, "VALUE", minimum, maximum, value, code)) return code;
  DriveSession session(context);
  if ((code = session.open()) != kExitOk) return code;
  const auto raw = static_cast<int32_t>(static_cast<uint32_t>(value & 0xFFFFFFFF));
  const std::string name = Hex(static_cast<uint32_t>(index), 4) + "/" + std::to_string(sub);
  const std::string what = "object " + name;
  const auto objectIndex = static_cast<uint16_t>(index);
  const auto objectSub = static_cast<uint8_t>(sub);
  const ObjectWriteOutcome outcome = WriteObjectChecked(objectIndex, objectSub, static_cast<int>(size), raw);
  WriteResult write = TakeWriteResult(outcome == ObjectWriteOutcome::Written);
  if (outcome == ObjectWriteOutcome::Refused) {
    return Fail(context, kExitDrive,
                "the drive refused " + what + " = " + std::to_string(value) + " (" +
                    AbortText(LastObjectAbortCode()) + "); nothing was written");
  }
  // A damaged or missing answer is no "no" from the drive.
  if (outcome == ObjectWriteOutcome::NotConfirmed) {
    write.refused = false;
    write.fate = TransferFate::Unanswered;
  }
  int32_t stored = 0;
  std::optional<bool> holds;
  const uint32_t mask = size == 4 ? 0xFFFFFFFFu : (1u << (8 * size)) - 1;
  if (context.options.verify && ReadObject(objectIndex, objectSub, &stored)) {
    holds = (static_cast<uint32_t>(stored) & mask) == (static_cast<uint32_t>(raw) & mask);
  }
  if (const int failed = CheckWrite(context, session, what, write, holds,
                                    std::to_string(static_cast<uint32_t>(stored) & mask));
      failed >= 0)
    return failed;
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("index", static_cast<int>(index)).set("subindex", static_cast<int>(sub));
    j.set("size", static_cast<int>(size)).set("value", static_cast<long long>(value));
    j.write(context.out);
  } else {
    context.out << "object " << name << " = " << value << " written\n";
  }
  return kExitOk;
}

int CmdStore(Context& context) {
  DriveSession session(context);
  if (const int code = session.open(); code != kExitOk) return code;
  if (!StoreParameters()) {
    return Fail(context, kExitDrive,
                "the store command got no full reply from the drive on " + session.portLabel() + " (" +
                    LinkErrorText(LinkError.load()) +
                    "): check that the drive is switched on and the cable is plugged in");
  }
  SleepMs(kStorePauseMs);  // the drive writes its parameter memory
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true);
    j.write(context.out);
  } else {
    context.out << "parameters stored in the drive\n";
  }
  return kExitOk;
}

}  // namespace axtune::cli
