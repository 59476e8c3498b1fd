// What the identification record 128 says about the drive, and the two numbers the General page
// publishes for the rest of the program (firmware version number, record count).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace axtune {

// Word 0 of record 128 for the four supported drives (QMX10-BA, -PB, -CB, -ET).
bool IsSupportedDriveType(int code);
// "QMX10-BA" .. "QMX10-ET"; any other code gives "nicht unterstütztes Gerät" in both languages.
std::string DriveTypeText(int code);

struct DriveIdentity {
  std::string typeText;     // from word 0
  std::string versionText;  // "major.minor.build " plus "Testversion" for test firmware
  int versionNumber = -1;   // major * 1000 + minor
  int recordCount = 0;      // word 6
};

DriveIdentity DecodeIdentification(const std::array<int16_t, 15>& record128);

// Process-wide values: -1 and 0 until a drive was identified.
int FirmwareVersionNumber();
void SetFirmwareVersionNumber(int number);
int RecordCount();
void SetRecordCount(int count);

}  // namespace axtune
