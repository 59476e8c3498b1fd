#include "controls/message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace axtune {
namespace {
MessageHook& Hook() {
  static MessageHook hook;
  return hook;
}
}  // namespace

void ShowMessage(QWidget* owner, const QString& text) {
  if (Hook()) {
    Hook()(owner, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Axtune"), text, QMessageBox::Ok, owner);
  box.exec();
}

MessageHook SetMessageHook(MessageHook hook) {
  return std::exchange(Hook(), std::move(hook));
}

namespace {
AnswerHook& Question() {
  static AnswerHook hook;
  return hook;
}
}  // namespace

int AskQuestion(QWidget* owner, const QString& text, const QStringList& buttons, int escape) {
  if (Question()) return Question()(owner, text, buttons);
  QMessageBox box(QMessageBox::Question, QStringLiteral("Axtune"), text, QMessageBox::NoButton, owner);
  QList<QAbstractButton*> made;
  for (int i = 0; i < buttons.size(); ++i) {
    QPushButton* button =
        box.addButton(buttons[i], i == escape ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    made.append(button);
    // Enter, like Escape, takes the answer that changes nothing.
    if (i == escape) {
      box.setDefaultButton(button);
      box.setEscapeButton(button);
    }
  }
  box.exec();
  const int chosen = static_cast<int>(made.indexOf(box.clickedButton()));
  return chosen < 0 ? escape : chosen;
}

AnswerHook SetAnswerHook(AnswerHook hook) {
  return std::exchange(Question(), std::move(hook));
}

}  // namespace axtune
