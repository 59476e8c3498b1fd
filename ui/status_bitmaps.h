// The 16x16 bitmaps of the status panes, drawn once with QPainter and looked up by name without
// regard to case: STOPHELL, STOPDUNKEL, GUT, RON, R, ENDSCHALTEROBEN, ENDSCHALTERUNTEN, ACHTUNG.
#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>

namespace axtune {

inline constexpr int kStatusBitmapSize = 16;

// The bitmap of that name; a null pixmap for an empty or unknown name. Needs a QGuiApplication.
QPixmap StatusBitmap(const QString& name);

// Every name StatusBitmap knows, in upper case.
QStringList StatusBitmapNames();

}  // namespace axtune
