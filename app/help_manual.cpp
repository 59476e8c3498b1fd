#include "app/help_manual.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace axtune {

QString ManualTopicFor(int templateId) {
  return QStringLiteral("page-%1").arg(templateId);
}

QString FindManual(Language language, QStringList* searched) {
  const QString file = QStringLiteral("/help/%1/index.html")
                           .arg(language == Language::German ? QStringLiteral("de") : QStringLiteral("en"));
  const QString base = QCoreApplication::applicationDirPath();
  const QStringList candidates = {base + file, base + QStringLiteral("/../share/axtune") + file,
                                  QStringLiteral(AXTUNE_SOURCE_DIR "/res") + file};
  if (searched) *searched = candidates;
  for (const QString& path : candidates) {
    if (QFileInfo::exists(path)) return QFileInfo(path).canonicalFilePath();
  }
  return {};
}

QString ManualUrl(const QString& path, const QString& topic) {
  QUrl url = QUrl::fromLocalFile(path);
  url.setFragment(topic);
  return url.toString();
}

}  // namespace axtune
