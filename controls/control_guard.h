// Guards the controls of the parameter pages against writes the user did not mean:
//  - The wheel changes a list, a spin box or an up-down control only while that control has the
//    focus, which it gets by a click or by Tab, never by the wheel itself (the controls take
//    Qt::StrongFocus instead of Qt::WheelFocus). A wheel turn over any other control of a page
//    writes nothing.
//  - A click on a disabled control of a page ends the edit of the field that has the focus (the
//    field commits or discards it as on any focus loss) and tells in the status line why the
//    control is disabled: the reason the page gave with SetDisabledReason, or a general one.
// One guard serves the whole application; every page installs it (InstallControlGuard is cheap
// after the first call).
#pragma once

#include <QString>

class QWidget;

namespace axtune {

void InstallControlGuard();

// Why `control` is disabled, for the note a click on it gives ("Waiting time needs Next profile");
// an empty text takes the general one again.
void SetDisabledReason(QWidget* control, const QString& reason);
// The note a click on the disabled `control` gives.
QString DisabledNote(const QWidget* control);

}  // namespace axtune
