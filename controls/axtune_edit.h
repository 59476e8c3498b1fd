// CAxtuneEdit: the text field through which the user reads and changes one numeric drive parameter.
// The conversion, range check and writes are BoundValue's (controls/bound_value.h); the widget owns
// the keys, the focus and the text.
//
// How a page uses it:
//   1. Create it with the page as parent and the control id (the id becomes its objectName).
//   2. In the page's initialisation, bind it once, in the order the page's table gives (each call
//      overwrites the limit, the last one wins):
//        edit->BindObject(0x6075, 0, 4); edit->SetLimit(7000);                 // object-bound
//        edit->BindRecordWord(2, 5); edit->SetLimit(3000);                     // record-bound
//        edit->BindRecordLong(14, 0); edit->BindObject(0x2022, 1, 4); edit->SetSigned();
//      SetScale(factor) shows the value at once (raw = engineering value x factor).
//   3. In the page's OnShowWindow, when ReadRecordOnShow(show) returned true: LoadFromRecord(Image())
//      for a field filled from the record, ReadFromDrive() for one read from its object.
//   Nothing else: Enter and the loss of focus commit by themselves (write, then notify the page's
//   host with the field's record number when the value changed). Tab and Shift+Tab both move on.
//
// Every field's tool tip says which values it takes, in its unit ("Allowed: 0 … 7000 mA rms"): the
// page names the unit with SetUnit after binding. The field reads a number as core/number_text.h
// says (the window language's decimal separator, and only where the value has decimals). An entry
// that is not such a number or lies outside is not written; the previous value comes back, and the
// tool tip and the window's status line say why and what is allowed for a few seconds (no message
// box: the user is typing). A value beyond the practical range is written only after a question.
// A commit of the value the drive already holds sends nothing.
//
// A write the drive does not take (no answer, garbled or refused) is not stored: the field shows
// its previous value again, nothing is notified, and a message box says why, once per commit.
#pragma once

#include <QLineEdit>

#include "controls/bound_value.h"
#include "controls/record_image.h"

namespace axtune {

inline constexpr int kTextInvalid = 32787;  // "ungültig" / "Invalid"

class CAxtuneEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CAxtuneEdit(QWidget* parent = nullptr, int controlId = 0);

  // Binding (see above).
  void BindRecordWord(int record, int word);
  void BindRecordLong(int record, int word);
  void BindObject(uint16_t index, uint8_t subindex, uint8_t size);
  void SetSigned();
  void SetLimit(uint32_t limit);
  void SetScale(double factor);
  // Raw magnitude above which a value is far beyond any machine: asked about before it is written.
  void SetPracticalLimit(uint32_t raw);
  // The unit the page shows beside the field, for the range the tool tip names.
  void SetUnit(const QString& unit);
  // "0 … 7000 mA rms": the values a commit takes.
  QString AllowedRange() const;

  // Refresh. Both show "ungültig" / "Invalid" and keep the stored value when the image word is out
  // of range or the object read fails; they return whether a value was taken.
  bool LoadFromRecord(const RecordImage& image);
  bool ReadFromDrive();
  void ShowValue();

  // Enter and focus loss run it: convert, check, write, store, notify, show.
  void CommitValue();

  const BoundValue& Value() const { return value_; }
  int ControlId() const { return objectName().toInt(); }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void ShowInvalid();
  void UpdateToolTip();
  void ReportRejected(const QString& typed, NumberTextFault fault);
  // "99999999999 steps/s² is far above what a stepper motor can do. Write it anyway?"
  bool ConfirmBeyondPractical(const QString& typed);

  BoundValue value_;
  QString unit_;
  bool committing_ = false;
};

}  // namespace axtune
