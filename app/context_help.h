// Shift+F1 on the main window: the framework's What's This mode. A control with a What's This text
// of its own shows it; for any other control of the window the manual opens at the topic of the page
// the control sits on (or of the main window), so every page is covered without texts of its own.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace axtune {

// The manual topic for a control of the main window: its property page's topic, the sheet's current
// page for the tab bar, otherwise the main window's.
QString ContextHelpTopic(const QWidget* control);

// Makes `window` answer What's This requests that none of its controls took by calling `openTopic`
// with ContextHelpTopic of the control under the pointer.
void InstallContextHelp(QWidget* window, std::function<void(const QString& topic)> openTopic);

}  // namespace axtune
