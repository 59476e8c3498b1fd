#include "pages/up_down_control.h"

#include <QLineEdit>

namespace axtune {

UpDownControl::UpDownControl(int id, int buddyId, QWidget* parent) : QSpinBox(parent) {
  setObjectName(QString::number(id));
  lineEdit()->setObjectName(QString::number(buddyId));
  lineEdit()->setReadOnly(true);  // the number is shown, not typed
  setKeyboardTracking(false);
  setWrapping(false);
  setAlignment(Qt::AlignRight);
  // The wheel steps it only after a click or Tab gave it the focus (controls/control_guard.h).
  setFocusPolicy(Qt::StrongFocus);
}

void UpDownControl::stepBy(int steps) {
  emit StepRequested(value(), steps);
}

QAbstractSpinBox::StepEnabled UpDownControl::stepEnabled() const {
  return isEnabled() ? (StepUpEnabled | StepDownEnabled) : StepNone;
}

}  // namespace axtune
