// What the simulated drive keeps where: error codes, record layouts, and the object dictionary with
// the record words each object lives in. Objects that live in a record share its words, so a write
// through the object shows in the record and a record write shows through the object.
//
// Error replies (two bytes: 0x80 | code << 4, record number):
//   1 unknown record (read or write of a record the drive does not have)
//   2 write to a read-only record (128 and above)
//   3 bad checksum of a write request
//   4 drive busy (the firmware is still starting after power-on or reset)
//
// Parameter records (records 0..count-1; count 65 by default):
//   0      factory data: w0 serial number low, w1 high, w2 hardware revision, w3 production year
//   1      communication: w0 baud rate / 100, w1 turnaround ms
//   2      settings: w0-1 motor current mA rms (0x6075), w2 idle current level, 16383 = 100 % (0x2061),
//          w3 smoothing, w4 bit 0 invert enable input, w5 idle-current delay ms, w6 steps per
//          revolution (0x6510/1), w7 invert direction, w8-9 quick-stop deceleration (0x6085),
//          w10-11 start/stop velocity (0x6058/1), w12 following-error window in steps (kept; a stalled motor
//          trips at once), w14 encoder counts per revolution (4 x lines)
//   3      inputs: w0-9 function of DE1..DE10, w10 enable input, w11 step, w12 direction
//   4      outputs: w0-3 function of DA1..DA4, w4-7 their current in 10 mA, w8 the fixed output (2)
//   5-13   controller tuning (current, speed, position gains; monitor pins); kept, not interpreted
//   14-63  motion profile 0..49: w0-1 target or distance (signed), w2-3 velocity, w4-5 acceleration,
//          w6-7 deceleration, w8 flags (bit 0 relative, 3 next profile, 4 without stop, 7 wait,
//          8 end at next profile's velocity, 13 SI units), w9 waiting time ms, w10 next profile
//   64     homing: w0 method (0x6098), w2-3 velocity (0x2024/3), w4-5 acceleration, w6-7 deceleration,
//          w8-9 reference position (0x2024/6), w10 current level (0x2024/7), w11-12 maximum
//          distance (0x2024/8)
//   Velocities are steps/s x 838.8608, accelerations steps/s^2 x 0.04194304, 32-bit low word first.
//
// Fixed records: 127 object channel, 128 identification, 129 and 131 live status (see drive_status.cpp).
//   129: w0 statusword, w1 temperature 1/128 degC, w2 DC-link voltage (32767 = 114.1 V), w3 load
//        (motor current share, 32767 = 100 %), w4-5 motor position, w6-7 velocity steps/s,
//        w8 switches (0x200 lower limit NOT reached, 0x400 upper limit NOT reached, 0x800 reference,
//        0x1000 stop), w9 input levels DE1..DE10, w10 referenced (0 no, 1 homing, 2 yes, 3 failed),
//        w11 outputs, w12 controlword, w13 error number, w14 device state
//   131: w0 motion state (0 not started, 1 running, 2 finished, 3 halted, 4 stopped by a fault,
//        5 profile invalid, 6 quick stop, 7 limit switch, 8 reference invalid), w1 profile running,
//        w2 motor current peak (16383 = 20.4545 A), w3 steps per revolution, w4-5 encoder position,
//        w6 mode of operation display, w7 reduced current level, w8 reduction delay ms,
//        w9-10 target position
//
// Objects (reply byte 0x80 with a CiA 301 abort code for anything else):
//   0x6040/0 controlword u16 rw        0x6041/0 statusword u16 ro
//   0x6060/0 modes of operation i8 rw  0x6061/0 modes of operation display i8 ro
//   0x6064/0 position actual i32 ro    0x606C/0 velocity actual i32 ro (steps/s)
//   0x6075/0 rec 2 w0-1 u32 <= 7000    0x2061/0 rec 2 w2 u16 <= 16383
//   0x6510/1 rec 2 w6 u16              0x6085/0 rec 2 w8-9 u32     0x6058/1 rec 2 w10-11 u32
//   0x2022/5 selected profile u16 0..49 (RAM, 0 at start); with it:
//     0x2022/1 w0-1 i32, /2 w2-3 u32, /3 w8 u16, /10 w10 u16 0..49, /11 w9 u16,
//     0x6083/0 w4-5 u32, 0x6084/0 w6-7 u32 of record 14 + selected profile
//   0x6098/0 rec 64 w0 u8 (17, 18, 24, 25, 28, 29, 35, 250, 251)
//   0x2024/3 rec 64 w2-3 u32, /6 w8-9 i32, /7 w10 u16 <= 16383, /8 w11-12 u32
#pragma once

#include <cstdint>

namespace axtune::sim {

enum DriveErrorCode : uint8_t {
  kErrUnknownRecord = 1,
  kErrReadOnlyRecord = 2,
  kErrBadChecksum = 3,
  kErrBusy = 4,
};

inline constexpr int kMaxParameterRecords = 127;
inline constexpr int kSettingsRecord = 2;
inline constexpr int kInputsRecord = 3;
inline constexpr int kOutputsRecord = 4;
inline constexpr int kFirstProfileRecord = 14;
inline constexpr int kProfileCount = 50;
inline constexpr int kHomingRecord = 64;

// Record 2.
inline constexpr int kSetMotorCurrent = 0;  // 2 words
inline constexpr int kSetIdleLevel = 2;
inline constexpr int kSetSmoothing = 3;
inline constexpr int kSetEnableInvert = 4;
inline constexpr int kSetIdleDelay = 5;
inline constexpr int kSetStepsPerRev = 6;
inline constexpr int kSetInvertDirection = 7;
inline constexpr int kSetQuickStopDecel = 8;      // 2 words
inline constexpr int kSetStartStopVelocity = 10;  // 2 words
inline constexpr int kSetFollowingWindow = 12;
inline constexpr int kSetEncoderCounts = 14;

// Profile records.
inline constexpr int kProTarget = 0;
inline constexpr int kProVelocity = 2;
inline constexpr int kProAccel = 4;
inline constexpr int kProDecel = 6;
inline constexpr int kProFlags = 8;
inline constexpr int kProWait = 9;
inline constexpr int kProNext = 10;
inline constexpr uint16_t kFlagRelative = 0x0001;
inline constexpr uint16_t kFlagNext = 0x0008;
inline constexpr uint16_t kFlagWithoutStop = 0x0010;
inline constexpr uint16_t kFlagWait = 0x0080;
inline constexpr uint16_t kFlagNextVelocity = 0x0100;

// Record 64.
inline constexpr int kHomMethod = 0;
inline constexpr int kHomVelocity = 2;
inline constexpr int kHomAccel = 4;
inline constexpr int kHomDecel = 6;
inline constexpr int kHomPosition = 8;
inline constexpr int kHomCurrent = 10;
inline constexpr int kHomMaxDistance = 11;

// Highest value a parameter word takes, as the firmware enforces it on every write (record, single
// word or object): a larger value is stored as this limit.
struct WordLimit {
  int record;
  int word;
  uint16_t maximum;
};
inline constexpr WordLimit kWordLimits[] = {
    {kSettingsRecord, kSetIdleLevel, 16383},  // 100 %
    {kHomingRecord, kHomCurrent, 16383},      // 100 %
};
inline uint16_t LimitedWord(int record, int word, uint16_t value) {
  for (const WordLimit& limit : kWordLimits)
    if (limit.record == record && limit.word == word && value > limit.maximum) return limit.maximum;
  return value;
}

// Scale factors of the raw units.
inline constexpr double kVelocityScale = 838.8608;        // raw per step/s
inline constexpr double kAccelerationScale = 0.04194304;  // raw per step/s^2

// Record 131 word 0.
enum MotionState : uint16_t {
  kMotionIdle = 0,
  kMotionRunning = 1,
  kMotionFinished = 2,
  kMotionHalted = 3,
  kMotionFault = 4,
  kMotionInvalid = 5,
  kMotionQuickStop = 6,
  kMotionLimitSwitch = 7,
  kMotionReferenceInvalid = 8,
};

// Record 129 word 10.
enum ReferencedState : uint16_t { kRefNone = 0, kRefHoming = 1, kRefDone = 2, kRefFailed = 3 };

// Record 129 word 8.
inline constexpr uint16_t kSwLowerNotReached = 0x0200;
inline constexpr uint16_t kSwUpperNotReached = 0x0400;
inline constexpr uint16_t kSwReference = 0x0800;
inline constexpr uint16_t kSwStop = 0x1000;

}  // namespace axtune::sim
