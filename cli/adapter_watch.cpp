#include "cli/adapter_watch.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

#include "cli/json.h"
#include "core/drive_identity.h"
#include "link/drive_link.h"
#include "link/port_discovery.h"
#include "link/port_slots.h"
#include "res/strings.h"

namespace axtune::cli {
namespace {
constexpr int kTextUnplugged = 55000;
constexpr int kTextBack = 55002;

std::string Resolved(const std::string& device) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::weakly_canonical(device, error);
  return error ? device : path.string();
}
}  // namespace

AdapterWatch::AdapterWatch(const DriveSession& session)
    : label_(session.portLabel()), linkName_(session.linkName()) {
  const std::string device = Resolved(ResolvePortDevice(linkName_));
  for (const SerialDeviceInfo& info : DiscoverSerialDevices()) {
    if (!info.byIdName.empty() && Resolved(info.device) == device) key_ = info.byIdName;
  }
}

std::string AdapterWatch::currentDevice() const {
  if (!key_.empty()) return DeviceForByIdName(key_);
  return ResolvePortDevice(linkName_);
}

void AdapterWatch::line(Context& context, const std::string& event, const std::string& text) {
  if (context.options.json) {
    Json j = Json::object();
    j.set("event", event).set("port", label_).set("text", text);
    j.writeLine(context.out);
  } else if (context.options.csv) {
    context.err << text << '\n';  // a row of its own would break the table
  } else {
    context.out << text << '\n';
  }
  context.out.flush();
}

bool AdapterWatch::explainFailure(Context& context, std::string& why) {
  if (!away_) {
    if (!IsLinkDeviceGone()) return false;
    away_ = true;
    CloseLink();
    line(context, "unplugged", std::string(Text(kTextUnplugged)) + " (" + label_ + ")");
  }
  why = Text(kTextUnplugged);
  return true;
}

void AdapterWatch::comeBack(Context& context) {
  if (!away_) return;
  const std::string device = currentDevice();
  std::error_code error;
  if (device.empty() || !std::filesystem::exists(device, error) || !OpenLink(device)) return;
  away_ = false;
  std::string what = label_ + " (" + device + ")";
  RecordWords words{};
  if (ReadRecord(kIdentificationRecord, words) || ReadRecord(kIdentificationRecord, words)) {
    std::array<int16_t, kRecordWords> signedWords{};
    for (size_t i = 0; i < words.size(); ++i) signedWords[i] = static_cast<int16_t>(words[i]);
    const DriveIdentity identity = DecodeIdentification(signedWords);
    std::string version = identity.versionText;
    while (!version.empty() && version.back() == ' ') version.pop_back();
    what += ", " + identity.typeText + " " + version;
  }
  char text[1024];
  std::snprintf(text, sizeof text, Text(kTextBack), what.c_str());
  line(context, "back", text);
}

}  // namespace axtune::cli
