// Every user message of the program goes through here: a modal message box with the caption
// "Axtune" and an OK button. Tests install a hook that records the texts instead of blocking.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace axtune {

using MessageHook = std::function<void(QWidget* owner, const QString& text)>;

void ShowMessage(QWidget* owner, const QString& text);

// Installs a hook (empty: the real message box again); returns the previous one.
MessageHook SetMessageHook(MessageHook hook);

}  // namespace axtune
