#include "pages/debug_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QRegularExpressionValidator>

#include "controls/axtune_property_page.h"

namespace axtune {

CDebugEdit::CDebugEdit(QWidget* parent) : QLineEdit(parent) {
  // Digits only, as typed; the range is checked when the page takes the value.
  setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
}

void CDebugEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
      if (auto* page = qobject_cast<CAxtunePropertyPage*>(w)) {
        page->OnShowWindow(true);
        break;
      }
    }
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void CDebugEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (event->reason() != Qt::PopupFocusReason) emit focusLeft();
}

}  // namespace axtune
