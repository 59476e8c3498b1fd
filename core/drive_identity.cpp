#include "core/drive_identity.h"

#include <atomic>
#include <cstdio>

#include "res/strings.h"

namespace axtune {
namespace {
std::atomic<int> g_firmwareVersionNumber{-1};
std::atomic<int> g_recordCount{0};
constexpr int kTextUnsupportedDrive = 41141;
constexpr int kTextTestFirmware = 41142;
}  // namespace

bool IsSupportedDriveType(int code) {
  return code >= 1025 && code <= 1028;
}

std::string DriveTypeText(int code) {
  switch (code) {
    case 1025:
      return "QMX10-BA";
    case 1026:
      return "QMX10-PB";
    case 1027:
      return "QMX10-CB";
    case 1028:
      return "QMX10-ET";
    default:
      return Text(kTextUnsupportedDrive);
  }
}

DriveIdentity DecodeIdentification(const std::array<int16_t, 15>& r) {
  DriveIdentity id;
  id.typeText = DriveTypeText(r[0]);
  // The major number comes from the sign-extended word, the minor from its low byte.
  const int major = r[1] >> 8;
  const int minor = r[1] & 0xFF;
  char version[64];
  std::snprintf(version, sizeof version, "%d.%d.%d %s", major, minor, static_cast<int>(r[2]),
                r[3] == 1 ? Text(kTextTestFirmware) : "");
  id.versionText = version;
  id.versionNumber = major * 1000 + minor;
  id.recordCount = r[6];
  return id;
}

int FirmwareVersionNumber() {
  return g_firmwareVersionNumber;
}
void SetFirmwareVersionNumber(int number) {
  g_firmwareVersionNumber = number;
}
int RecordCount() {
  return g_recordCount;
}
void SetRecordCount(int count) {
  g_recordCount = count;
}

}  // namespace axtune
