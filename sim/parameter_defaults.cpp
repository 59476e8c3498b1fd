// Factory defaults of the parameter records and the file that holds the persistent image.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "sim/drive_firmware.h"
#include "sim/record_layout.h"

namespace axtune::sim {

namespace {

void setLong(std::array<uint16_t, 15>& record, int word, uint32_t value) {
  record[word] = static_cast<uint16_t>(value & 0xFFFF);
  record[word + 1] = static_cast<uint16_t>(value >> 16);
}

uint32_t velocityRaw(double stepsPerSecond) {
  return static_cast<uint32_t>(std::floor(stepsPerSecond * kVelocityScale + 0.5));
}
uint32_t accelRaw(double stepsPerSecond2) {
  return static_cast<uint32_t>(std::floor(stepsPerSecond2 * kAccelerationScale + 0.5));
}

struct ProfileDefault {
  int32_t target;
  double velocity, accel, decel;
  uint16_t flags;
  uint16_t wait;
  uint16_t next;
};

// Profiles 0..9 show the chaining modes; the others are plain absolute moves.
constexpr ProfileDefault kProfiles[] = {
    {10000, 4000, 20000, 20000, 0, 0, 0},                             // 0: to 10000
    {0, 4000, 20000, 20000, 0, 0, 0},                                 // 1: back to 0
    {5000, 2000, 10000, 10000, kFlagRelative, 0, 0},                  // 2: 5000 forward
    {-5000, 2000, 10000, 10000, kFlagRelative, 0, 0},                 // 3: 5000 back
    {4000, 3000, 15000, 15000, kFlagNext, 0, 5},                      // 4: then 5 after a stop
    {8000, 3000, 15000, 15000, kFlagNext | kFlagWait, 500, 6},        // 5: wait 500 ms, then 6
    {12000, 5000, 20000, 20000, kFlagNext | kFlagWithoutStop, 0, 7},  // 6: on into 7
    {16000, 2500, 20000, 20000, kFlagNext | kFlagWithoutStop | kFlagNextVelocity, 0, 8},  // 7: at 8's speed
    {18000, 1000, 10000, 10000, 0, 0, 0},                                                 // 8
    {0, 6000, 30000, 30000, 0, 0, 0},                                                     // 9: home to 0
};

constexpr char kImageMagic[8] = {'Q', 'M', 'X', 'I', 'M', 'G', '0', '1'};
constexpr size_t kImageBytes = sizeof(kImageMagic) + kMaxParameterRecords * 30 + 2;

}  // namespace

void FillDefaultRecords(RecordTable& records) {
  for (auto& record : records) record.fill(0);

  auto& factory = records[0];
  factory[0] = 0x3039;  // serial number 12345
  factory[2] = 3;       // hardware revision
  factory[3] = 2026;
  auto& communication = records[1];
  communication[0] = 384;
  communication[1] = 1;

  auto& settings = records[kSettingsRecord];
  setLong(settings, kSetMotorCurrent, 2000);  // mA rms
  settings[kSetIdleLevel] = 8192;             // 50 %
  settings[kSetSmoothing] = 0;
  settings[kSetEnableInvert] = 0;
  settings[kSetIdleDelay] = 500;     // ms
  settings[kSetStepsPerRev] = 3200;  // 1/16 step
  settings[kSetInvertDirection] = 0;
  setLong(settings, kSetQuickStopDecel, accelRaw(100000));
  setLong(settings, kSetStartStopVelocity, velocityRaw(200));
  settings[kSetFollowingWindow] = 400;
  settings[kSetEncoderCounts] = 2000;  // 500 lines

  auto& inputs = records[kInputsRecord];
  const uint16_t inputFunctions[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 10, 0, 0};
  std::copy(std::begin(inputFunctions), std::end(inputFunctions), inputs.begin());

  auto& outputs = records[kOutputsRecord];
  const uint16_t outputFunctions[9] = {1, 2, 3, 4, 2, 2, 2, 2, 2};
  std::copy(std::begin(outputFunctions), std::end(outputFunctions), outputs.begin());

  // Controller tuning records: gains the pages do not show, kept as the drive delivers them.
  records[5] = {1200, 300, 0, 16383};  // current controller: Kp, Ki, -, limit
  records[6] = {800, 40, 0, 16383};    // speed controller
  records[7] = {500, 0, 20, 0};        // position controller
  records[8] = {0, 1, 2, 3};           // monitor pins

  for (int n = 0; n < kProfileCount; ++n) {
    auto& record = records[kFirstProfileRecord + n];
    ProfileDefault p = n < static_cast<int>(std::size(kProfiles))
                           ? kProfiles[n]
                           : ProfileDefault{(n - 9) * 500, 2000, 10000, 10000, 0, 0, 0};
    setLong(record, kProTarget, static_cast<uint32_t>(p.target));
    setLong(record, kProVelocity, velocityRaw(p.velocity));
    setLong(record, kProAccel, accelRaw(p.accel));
    setLong(record, kProDecel, accelRaw(p.decel));
    record[kProFlags] = p.flags;
    record[kProWait] = p.wait;
    record[kProNext] = p.next;
  }

  auto& homing = records[kHomingRecord];
  homing[kHomMethod] = 24;
  setLong(homing, kHomVelocity, velocityRaw(5000));
  setLong(homing, kHomAccel, accelRaw(20000));
  setLong(homing, kHomDecel, accelRaw(20000));
  setLong(homing, kHomPosition, 0);
  homing[kHomCurrent] = 12288;  // 75 %
  setLong(homing, kHomMaxDistance, 50000);
}

bool LoadParameterImage(const std::string& path, RecordTable& records, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  // Read one byte more than an image has, so a longer file (or a device) is refused without reading it all.
  std::vector<uint8_t> bytes(kImageBytes + 1);
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(file.gcount()));
  if (bytes.size() != kImageBytes ||
      !std::equal(std::begin(kImageMagic), std::end(kImageMagic), bytes.begin())) {
    if (error) *error = path + " is not a parameter image of the simulated drive";
    return false;
  }
  RecordTable loaded = records;
  uint16_t sum = 0;
  size_t at = sizeof(kImageMagic);
  for (int r = 0; r < kMaxParameterRecords; ++r) {
    for (int w = 0; w < 15; ++w, at += 2) {
      loaded[r][w] = LoadWord(&bytes[at]);
      sum = static_cast<uint16_t>(sum + loaded[r][w]);
    }
  }
  if (sum != LoadWord(&bytes[at])) {
    if (error) *error = path + " is damaged (checksum)";
    return false;
  }
  records = loaded;
  return true;
}

bool SaveParameterImage(const std::string& path, const RecordTable& records, std::string* error) {
  std::vector<uint8_t> bytes(kImageBytes);
  std::copy(std::begin(kImageMagic), std::end(kImageMagic), bytes.begin());
  uint16_t sum = 0;
  size_t at = sizeof(kImageMagic);
  for (int r = 0; r < kMaxParameterRecords; ++r) {
    for (int w = 0; w < 15; ++w, at += 2) {
      StoreWord(&bytes[at], records[r][w]);
      sum = static_cast<uint16_t>(sum + records[r][w]);
    }
  }
  StoreWord(&bytes[at], sum);
  // Write beside the target and rename, so a crash never leaves half an image.
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
      if (error) *error = "cannot write " + temporary;
      return false;
    }
  }
#ifdef _WIN32
  std::remove(path.c_str());  // rename does not replace an existing file there
#endif
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot replace " + path;
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace axtune::sim
