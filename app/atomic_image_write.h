// Pictures the window writes (the trend's PNG) go through the one atomic writer of core/save_target:
// encoded in memory first, then written beside the target and renamed, so a full disk leaves the
// old picture and says why.
#pragma once

#include <QPixmap>
#include <QString>

namespace axtune {

// False with the writer's reason in `error` (when given) when the picture could not be encoded or
// written.
bool WritePngAtomically(const QPixmap& picture, const QString& path, QString* error);

}  // namespace axtune
