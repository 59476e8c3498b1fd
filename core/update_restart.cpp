#include "core/update_restart.h"

#include "link/drive_link.h"
#include "link/sleeper.h"

namespace axtune {
namespace {
// Long enough for the line to carry the raised DTR before it falls.
constexpr int kDtrPulseMs = 100;
}  // namespace

FirmwareRestart RestartDriveFirmware(const std::string& device) {
  FirmwareRestart restart;
  if (device.empty() || !OpenLink(device)) return restart;
  restart.resetSent = SetDtr(true);
  SleepMs(kDtrPulseMs);
  restart.resetSent = SetDtr(false) && restart.resetSent;
  if (restart.resetSent) {
    SleepMs(kFirmwareStartMs);
    RecordWords identification{};
    // A second try: the first request may meet the end of the firmware's start-up.
    restart.identified = ReadRecord(kIdentificationRecord, identification) ||
                         ReadRecord(kIdentificationRecord, identification);
  }
  CloseLink();
  return restart;
}

std::string RestartText(const FirmwareRestart& restart) {
  if (restart.identified) return "nothing was erased; the drive runs its firmware again";
  return std::string("nothing was erased, but the drive did not answer after ") +
         (restart.resetSent ? "a reset through DTR" : "the update (its line has no DTR)") +
         ": it waits in its boot loader; switch it off and on, and it runs its firmware again";
}

}  // namespace axtune
