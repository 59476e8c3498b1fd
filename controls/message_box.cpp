#include "controls/message_box.h"

#include <QMessageBox>
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

}  // namespace axtune
