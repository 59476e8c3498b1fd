// The user manual that stands for the help file "Axtune.chm": HTML pages in German and English
// bundled with the program (beside it in help/<language>/index.html, or in share/axtune/help after
// an installation), opened in the desktop's browser at a topic (an anchor of the page).
#pragma once

#include <QString>
#include <QStringList>

#include "res/strings.h"

namespace axtune {

// The topic the help command and F1 open (the help file's context number 3).
inline constexpr const char* kManualStartTopic = "topic-3";

// The manual's topic for a page or window with this template id ("page-149", "page-163", ...).
QString ManualTopicFor(int templateId);

// The manual in `language`, or an empty string when it is not found; `searched` receives every
// place looked at, in order.
QString FindManual(Language language, QStringList* searched = nullptr);

// The file URL of the manual at `path`, opened at `topic`.
QString ManualUrl(const QString& path, const QString& topic);

}  // namespace axtune
