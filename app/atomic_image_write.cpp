#include "app/atomic_image_write.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>

#include "core/save_target.h"

namespace axtune {

bool WritePngAtomically(const QPixmap& picture, const QString& path, QString* error) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) {
    if (error != nullptr) *error = QStringLiteral("the picture could not be encoded as PNG");
    return false;
  }
  const FileWriteResult written = WriteBytesAtomically(QFile::encodeName(path).toStdString(),
                                                       bytes.constData(), static_cast<size_t>(bytes.size()));
  if (!written.ok && error != nullptr) *error = QString::fromStdString(written.reason);
  return written.ok;
}

}  // namespace axtune
