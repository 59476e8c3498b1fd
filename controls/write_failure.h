// Tells the user that a bound control's write did not reach the drive (message box, text from
// WriteFailureText). While that message is up, the bound controls do not commit again on the focus
// they lose to it, so one failed commit gives one message and never a cascade.
#pragma once

class QWidget;

namespace axtune {

void ReportWriteFailure(QWidget* owner);
bool WriteFailureShowing();

}  // namespace axtune
