// The record-number edit of the debug page: Enter does not go to the dialog but makes the page show
// (read and display) the typed record; leaving the edit is reported to the page.
#pragma once

#include <QLineEdit>

namespace axtune {

class CDebugEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CDebugEdit(QWidget* parent = nullptr);

 signals:
  // The edit lost the keyboard focus (not to a popup menu of its own).
  void focusLeft();

 protected:
  // Enter: tells the page it is shown (as the framework's WM_SHOWWINDOW with "shown"), so the page
  // reads the typed record; the character is not inserted. Every other key: default handling.
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace axtune
