// A plain up-down control with its number beside it: the user steps it with its arrows, the arrow
// keys or the wheel, never types. A step is first offered to the page (StepRequested, with the
// current position and the step) and the position changes only when the page sets it, so the page
// can act on the old position first. Steps are offered at the ends of the range too, as the page
// may want to act on them (re-reading the profile it stays on).
#pragma once

#include <QSpinBox>

namespace axtune {

class UpDownControl : public QSpinBox {
  Q_OBJECT

 public:
  // id names the control, buddyId the field that shows its number.
  UpDownControl(int id, int buddyId, QWidget* parent);

  int Position() const { return value(); }
  void SetPosition(int position) { setValue(position); }
  void SetRange(int low, int high) { setRange(low, high); }

  void stepBy(int steps) override;

 signals:
  void StepRequested(int position, int step);

 protected:
  StepEnabled stepEnabled() const override;
};

}  // namespace axtune
