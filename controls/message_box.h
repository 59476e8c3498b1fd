// Every user message of the program goes through here: a modal message box with the caption
// "Axtune" and an OK button. Tests install a hook that records the texts instead of blocking.
// Questions too ("Write it anyway?", "Store the changes in the drive first?"): a box with the
// buttons named, whose answer is the index of the button chosen; a test's hook answers instead.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace axtune {

using MessageHook = std::function<void(QWidget* owner, const QString& text)>;

void ShowMessage(QWidget* owner, const QString& text);

// Installs a hook (empty: the real message box again); returns the previous one.
MessageHook SetMessageHook(MessageHook hook);

// Asks `text` with one button per label; the answer is the index of the button chosen, `escape`
// (also the default button) when the box is closed with Escape, Enter or its frame.
int AskQuestion(QWidget* owner, const QString& text, const QStringList& buttons, int escape);

// The hook answers for the user: it gets the question and the labels and returns the index.
using AnswerHook = std::function<int(QWidget* owner, const QString& text, const QStringList& buttons)>;
AnswerHook SetAnswerHook(AnswerHook hook);

}  // namespace axtune
