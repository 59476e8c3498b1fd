// The question that keeps unstored work: before something that would lose the changes written to
// the drive but not stored in it (a firmware update restarts the drive, closing the window leaves
// them to the next power-down, a load overwrites them), the window asks "Store the changes in the
// drive first?" with Store / Discard / Cancel. Nothing is asked when there are none.
#pragma once

namespace axtune {

class CAxtuneDlg;

enum class UnstoredReason { FirmwareUpdate, Close, Load };

// True to go on: nothing unstored, stored now (the drive confirmed it), or discarded by the user.
// False on Cancel, and when the store failed (its message said why; the work is still unstored).
bool SettleUnstoredChanges(CAxtuneDlg& window, UnstoredReason reason);

}  // namespace axtune
