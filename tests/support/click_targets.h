// Where a user's click lands: the controls of a window that take a click, and whether a click on
// a control's centre reaches that control (and not a frame or label stacked over it).
#pragma once

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <vector>

namespace axtune::testing {

// Visible fields, lists, check boxes, radio and push buttons of `root` (a list's own line edit
// counts as the list).
inline std::vector<QWidget*> ClickableControls(QWidget* root) {
  std::vector<QWidget*> controls;
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(root->window()) || !w->isVisible()) continue;
    const bool control = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                         qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSpinBox*>(w);
    if (!control || qobject_cast<QComboBox*>(w->parentWidget())) continue;
    controls.push_back(w);
  }
  return controls;
}

inline QPoint CentreInWindow(QWidget* control) {
  return control->mapTo(control->window(), control->rect().center());
}

// True when the window's topmost widget at the control's centre is the control or one of its parts.
inline bool ClickReaches(QWidget* control) {
  QWidget* hit = control->window()->childAt(CentreInWindow(control));
  return hit == control || (hit != nullptr && control->isAncestorOf(hit));
}

// A click as the window system delivers it: to the window at a position, routed by Qt to whatever
// lies on top there.
inline void RealClick(QWidget* control) {
  QTest::mouseClick(control->window()->windowHandle(), Qt::LeftButton, {}, CentreInWindow(control));
}

}  // namespace axtune::testing
