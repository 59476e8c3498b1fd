#include "app/parameter_file_preview.h"

#include <QDir>

#include "controls/message_box.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextPreview = 51060;
constexpr int kTextOneDiffers = 51501, kTextManyDiffer = 51502;  // "1 value differs", "3 values differ"
constexpr int kTextCancel = 51023;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}
}  // namespace

QString ParameterFilePreviewText(const QString& path, const ParameterSet& file, int differing) {
  const ParameterFileTrailer trailer = file.trailer.value_or(ParameterFileTrailer{});
  QString by = QString::fromStdString(trailer.userName);
  if (!trailer.company.empty())
    by += QStringLiteral(" (") + QString::fromStdString(trailer.company) + QLatin1Char(')');
  return Tr(kTextPreview)
      .arg(QDir::toNativeSeparators(path))
      .arg(file.records.size())
      .arg(trailer.date.empty() ? QStringLiteral("?") : QString::fromStdString(trailer.date))
      .arg(by.isEmpty() ? QStringLiteral("?") : by)
      .arg(differing == 1
               ? Tr(kTextOneDiffers)
               : Tr(kTextManyDiffer).arg(differing < 0 ? QStringLiteral("?") : QString::number(differing)));
}

bool AskWriteParameterFile(QWidget* owner, const QString& path, const ParameterSet& file, int differing,
                           const QString& writeLabel) {
  return AskQuestion(owner, ParameterFilePreviewText(path, file, differing), {Tr(kTextCancel), writeLabel},
                     0) == 1;
}

}  // namespace axtune
