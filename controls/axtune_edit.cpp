#include "controls/axtune_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QToolTip>

#include "controls/message_box.h"
#include "controls/page_host.h"
#include "controls/write_failure.h"
#include "controls/written_note.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextAllowed = 49300;
constexpr int kTextNotTaken = 49301;
constexpr int kTextNotTakenBecause = 51000;
constexpr int kTextNoNumber = 51001;
constexpr int kTextNoHex = 51002;
constexpr int kTextWholeOnly = 51003;
constexpr int kTextSeparator = 51004;
constexpr int kTextFarAbove = 51005;
constexpr int kTextWrite = 51006;
constexpr int kTextDontWrite = 51007;
constexpr int kTextUsual = 51009;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}
// A number as the window writes it ("37,5" in German).
QString Shown(const std::string& number) {
  return QString::fromStdString(WithDecimalSeparator(number, CurrentLanguage()));
}
// Long enough to read the range, short enough not to linger over the next entry.
constexpr int kRejectionNoteMs = 5000;
}  // namespace

CAxtuneEdit::CAxtuneEdit(QWidget* parent, int controlId) : QLineEdit(parent) {
  if (controlId != 0) setObjectName(QString::number(controlId));
  UpdateToolTip();
}

// Every binding call can change the range, so each one renews the tool tip.
void CAxtuneEdit::BindRecordWord(int record, int word) {
  value_.BindRecordWord(record, word);
  UpdateToolTip();
}
void CAxtuneEdit::BindRecordLong(int record, int word) {
  value_.BindRecordLong(record, word);
  UpdateToolTip();
}
void CAxtuneEdit::BindObject(uint16_t index, uint8_t subindex, uint8_t size) {
  value_.BindObject(index, subindex, size);
  UpdateToolTip();
}
void CAxtuneEdit::SetSigned() {
  value_.SetSigned();
  UpdateToolTip();
}
void CAxtuneEdit::SetLimit(uint32_t limit) {
  value_.SetLimit(limit);
  UpdateToolTip();
}
void CAxtuneEdit::SetScale(double factor) {
  value_.SetScale(factor);
  UpdateToolTip();
  ShowValue();
}
void CAxtuneEdit::SetPracticalLimit(uint32_t raw) {
  value_.SetPracticalLimit(raw);
  UpdateToolTip();
}
void CAxtuneEdit::SetUnit(const QString& unit) {
  unit_ = unit;
  UpdateToolTip();
}

QString CAxtuneEdit::AllowedRange() const {
  QString range = Shown(value_.LowestText()) + QStringLiteral(" \u2026 ") + Shown(value_.HighestText());
  if (!unit_.isEmpty()) range += QLatin1Char(' ') + unit_;
  return range;
}

void CAxtuneEdit::UpdateToolTip() {
  QString tip = Tr(kTextAllowed).arg(AllowedRange());
  if (value_.PracticalLimit() != 0) {
    // The raw word's limit alone ("0 … 102399999976 steps/s²") says nothing about what a
    // machine takes: the usual range goes beside it.
    BoundValue practical = value_;
    practical.SetLimit(value_.PracticalLimit());
    QString usual =
        Shown(practical.LowestText()) + QStringLiteral(" \u2026 ") + Shown(practical.HighestText());
    if (!unit_.isEmpty()) usual += QLatin1Char(' ') + unit_;
    tip += QLatin1Char('\n') + Tr(kTextUsual).arg(usual);
  }
  setToolTip(tip);
}

void CAxtuneEdit::ReportRejected(const QString& typed, NumberTextFault fault) {
  // At the field, where the user looks, and in the status line, which stays when the tip goes.
  QToolTip::showText(mapToGlobal(QPoint(0, height())), toolTip(), this, QRect(), kRejectionNoteMs);
  int why = 0;
  switch (fault) {
    case NumberTextFault::None:
      break;  // a number, out of range: the range says it all
    case NumberTextFault::Empty:
    case NumberTextFault::NotANumber:
      why = kTextNoNumber;
      break;
    case NumberTextFault::Hexadecimal:
      why = kTextNoHex;
      break;
    case NumberTextFault::WholeOnly:
      why = kTextWholeOnly;
      break;
    case NumberTextFault::OtherSeparator:
      why = value_.TakesDecimals() ? kTextSeparator : kTextWholeOnly;
      break;
  }
  const QString note = why == 0 ? Tr(kTextNotTaken).arg(typed.trimmed(), AllowedRange())
                                : Tr(kTextNotTakenBecause).arg(typed.trimmed(), Tr(why), AllowedRange());
  if (PageHost* host = FindPageHost(this)) host->ShowStatusNote(note);
}

bool CAxtuneEdit::ConfirmBeyondPractical(const QString& typed) {
  QString amount = typed.trimmed();
  if (!unit_.isEmpty()) amount += QLatin1Char(' ') + unit_;
  return AskQuestion(this, Tr(kTextFarAbove).arg(amount), {Tr(kTextWrite), Tr(kTextDontWrite)}, 1) == 0;
}

void CAxtuneEdit::ShowValue() {
  setText(Shown(value_.Format()));
}

void CAxtuneEdit::ShowInvalid() {
  setText(QString::fromUtf8(Text(kTextInvalid)));
}

bool CAxtuneEdit::LoadFromRecord(const RecordImage& image) {
  if (!value_.LoadFromRecord(image)) {
    ShowInvalid();
    return false;
  }
  ShowValue();
  return true;
}

bool CAxtuneEdit::ReadFromDrive() {
  if (!value_.ReadFromDrive()) {
    ShowInvalid();
    return false;
  }
  ShowValue();
  return true;
}

void CAxtuneEdit::CommitValue() {
  // The message box of a failed write takes the focus; that focus loss must not commit again.
  if (committing_) return;
  committing_ = true;
  const QString typed = text();
  if (!isModified() && typed == QString::fromUtf8(Text(kTextInvalid))) {
    // Passing through a field that could not be read is no entry: nothing to write or to report.
    committing_ = false;
    return;
  }
  const std::string entered = typed.toStdString();
  const BoundValue::Typed converted = value_.Convert(entered);
  if (!converted.accepted) {
    ShowValue();
    ReportRejected(typed, converted.fault);
    committing_ = false;
    return;
  }
  const bool unchanged = value_.Known() && converted.raw == value_.Raw();
  if (!unchanged && value_.BeyondPractical(converted.raw) && !ConfirmBeyondPractical(typed)) {
    ShowValue();
    committing_ = false;
    return;
  }
  const BoundValue::CommitOutcome outcome = value_.Commit(entered);
  // Shown before anything is reported, so the field already holds the value the drive has.
  ShowValue();
  if (outcome == BoundValue::CommitOutcome::Rejected) {
    ReportRejected(typed, converted.fault);
  } else if (outcome == BoundValue::CommitOutcome::Changed) {
    if (PageHost* host = FindPageHost(this)) host->NotifyParameterWritten(value_.Record(), this);
    ShowWrittenNote(this, text());
  } else if (outcome == BoundValue::CommitOutcome::WriteFailed) {
    ReportWriteFailure(this);
  }
  committing_ = false;
}

bool CAxtuneEdit::event(QEvent* event) {
  // Every Tab character moves on to the next control, Shift+Tab included; the focus loss commits.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      focusNextPrevChild(true);
      return true;
    }
  }
  return QLineEdit::event(event);
}

void CAxtuneEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    CommitValue();  // the focus stays
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void CAxtuneEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // Losing the focus to a popup (a menu, the context menu) or to another window (a message box,
  // another program) is no move to another control: the field keeps the text and commits when the
  // focus really moves on. A field whose page goes because another tab was chosen commits; one
  // that goes with its closing window does not (the link may already be closed).
  const Qt::FocusReason reason = event->reason();
  if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) return;
  if (!window()->isVisible() || WriteFailureShowing()) return;
  CommitValue();
}

}  // namespace axtune
