#include "pages/motion_commands.h"

#include "link/object_access.h"

namespace axtune {

bool SendStartSequence(int8_t mode) {
  // No write waits on the result of the one before: the sequence is the same whatever the drive says.
  bool answered = WriteObject(kObjectModesOfOperation, 0, 1, static_cast<uint8_t>(mode));
  answered &= WriteObject(kObjectControlword, 0, 2, kControlwordEnable);
  answered &= WriteObject(kObjectControlword, 0, 2, kControlwordEnable);
  answered &= WriteObject(kObjectControlword, 0, 2, kControlwordNewSetPoint);
  return answered;
}

bool SendStopSequence() {
  return WriteObject(kObjectControlword, 0, 2, kControlwordHalt);
}

}  // namespace axtune
