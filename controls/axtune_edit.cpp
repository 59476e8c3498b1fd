#include "controls/axtune_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include "controls/page_host.h"
#include "controls/write_failure.h"
#include "res/strings.h"

namespace axtune {

CAxtuneEdit::CAxtuneEdit(QWidget* parent, int controlId) : QLineEdit(parent) {
  if (controlId != 0) setObjectName(QString::number(controlId));
}

void CAxtuneEdit::SetScale(double factor) {
  value_.SetScale(factor);
  ShowValue();
}

void CAxtuneEdit::ShowValue() {
  setText(QString::fromStdString(value_.Format()));
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
  const BoundValue::CommitOutcome outcome = value_.Commit(text().left(15).toStdString());
  // Shown before anything is reported, so the field already holds the value the drive has.
  ShowValue();
  if (outcome == BoundValue::CommitOutcome::Changed) {
    if (PageHost* host = FindPageHost(this)) host->NotifyParameterChanged(value_.Record());
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
