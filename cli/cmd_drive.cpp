// identify, read, write-word, write-record, read-object, write-object, store.
#include <cstdio>
#include <ostream>

#include "cli/cli_internal.h"
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
  if (!WriteWords(static_cast<int>(record), static_cast<int>(word), raw)) {
    return Fail(context, kExitDrive,
                "word " + std::to_string(word) + " of record " + std::to_string(record) +
                    " was not written: no full reply from the drive on " + session.portLabel() +
                    " (LinkError " + std::to_string(LinkError.load()) + ")");
  }
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
  if (!ExchangeRecord(static_cast<int>(record), words)) {
    return Fail(context, kExitDrive,
                "record " + std::to_string(record) + " was not written: " + LinkErrorText(LinkError.load()) +
                    " (drive on " + session.portLabel() +
                    "; check that the drive is switched on and the cable is plugged in)");
  }
  // A parameter record is answered with its contents as stored: anything else means the write
  // did not take. Record 127 answers with the command's reply instead.
  if (record != kObjectRecord && words != written) {
    return Fail(
        context, kExitDrive,
        "record " + std::to_string(record) + " was not written: the drive answered with other contents");
  }
  if (context.options.json) {
    Json j = Json::object();
    j.set("ok", true).set("record", static_cast<int>(record)).set("reply", WordsJson(words));
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
    return Fail(context, kExitDrive,
                "object " + name + " could not be read: the drive on " + session.portLabel() +
                    " did not answer or does not know the object");
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
  // The same request WriteObject sends, but the reply is examined so that a refusal is reported.
  const auto raw = static_cast<int32_t>(static_cast<uint32_t>(value & 0xFFFFFFFF));
  RecordWords request{};
  request[0] = kCmdObjectWrite;
  request[1] = SdoDownloadCommand(static_cast<int>(size));
  request[2] = static_cast<uint16_t>(index);
  request[3] = static_cast<uint16_t>(sub);
  request[4] = static_cast<uint16_t>(raw & 0xFFFF);
  request[5] = static_cast<uint16_t>(raw >> 16);
  const std::string name = Hex(static_cast<uint32_t>(index), 4) + "/" + std::to_string(sub);
  if (!ExchangeRecord(kObjectRecord, request)) {
    return Fail(context, kExitDrive,
                "object " + name + " was not written: " + LinkErrorText(LinkError.load()) + " (drive on " +
                    session.portLabel() + ")");
  }
  if ((request[0] & 0xFF) == kSdoAbort) {
    return Fail(context, kExitDrive,
                "the drive refused the write of object " + name +
                    " (unknown object, read-only, or value out of range)");
  }
  if (!ObjectWriteConfirmed(request, static_cast<uint16_t>(index), static_cast<uint8_t>(sub))) {
    return Fail(context, kExitDrive,
                "object " + name + " was not written: the drive's answer does not confirm it");
  }
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
                "the store command got no full reply from the drive on " + session.portLabel() +
                    ": check that the drive is switched on and the cable is plugged in");
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
