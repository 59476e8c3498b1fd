#include "ui/status_bitmaps.h"

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <functional>

namespace axtune {
namespace {

using Drawing = std::function<void(QPainter&)>;

// A regular octagon filling the 16x16 square, as on a stop sign.
QPolygonF Octagon() {
  QPolygonF octagon;
  const double kPi = 3.14159265358979323846;
  for (int i = 0; i < 8; ++i) {
    const double angle = kPi / 8 + i * kPi / 4;
    octagon << QPointF(8 + 7.4 * std::cos(angle), 8 + 7.4 * std::sin(angle));
  }
  return octagon;
}

void DrawStop(QPainter& p, const QColor& fill, const QColor& rim, const QColor& bar) {
  p.setPen(QPen(rim, 1));
  p.setBrush(fill);
  p.drawPolygon(Octagon());
  p.setPen(Qt::NoPen);
  p.setBrush(bar);
  p.drawRect(QRectF(3.5, 6.5, 9, 3));
}

void DrawLetterR(QPainter& p, const QColor& box, const QColor& rim, const QColor& letter) {
  p.setPen(QPen(rim, 1));
  p.setBrush(box);
  p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
  // The letter as a path, so it looks the same whatever font the system substitutes.
  QPainterPath r;
  r.moveTo(4.5, 13);
  r.lineTo(4.5, 3);
  r.lineTo(8.5, 3);
  r.cubicTo(12.5, 3, 12.5, 8.5, 8.5, 8.5);
  r.lineTo(4.5, 8.5);
  r.moveTo(8, 8.5);
  r.lineTo(11.5, 13);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(letter, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  p.drawPath(r);
}

// A limit switch: a hatched stop plate at the top (or bottom) and an arrow running into it.
void DrawLimit(QPainter& p, bool upper) {
  const QColor plate(200, 0, 0);
  const double plateY = upper ? 0.5 : 12.5;
  p.setPen(QPen(QColor(90, 0, 0), 1));
  p.setBrush(plate);
  p.drawRect(QRectF(1.5, plateY, 13, 3));
  QPolygonF arrow;
  if (upper) {
    arrow << QPointF(8, 4.5) << QPointF(13, 9.5) << QPointF(10, 9.5) << QPointF(10, 15) << QPointF(6, 15)
          << QPointF(6, 9.5) << QPointF(3, 9.5);
  } else {
    arrow << QPointF(8, 11.5) << QPointF(13, 6.5) << QPointF(10, 6.5) << QPointF(10, 1) << QPointF(6, 1)
          << QPointF(6, 6.5) << QPointF(3, 6.5);
  }
  p.setPen(QPen(QColor(0, 0, 0), 1));
  p.setBrush(QColor(255, 220, 0));
  p.drawPolygon(arrow);
}

void DrawGood(QPainter& p) {
  p.setPen(QPen(QColor(0, 90, 0), 1));
  p.setBrush(QColor(0, 180, 0));
  p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
  QPainterPath tick;
  tick.moveTo(4, 8.5);
  tick.lineTo(7, 11.5);
  tick.lineTo(12, 4.5);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(tick);
}

void DrawWarning(QPainter& p) {
  QPolygonF triangle;
  triangle << QPointF(8, 0.5) << QPointF(15.5, 15) << QPointF(0.5, 15);
  p.setPen(QPen(QColor(0, 0, 0), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(QColor(255, 210, 0));
  p.drawPolygon(triangle);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRect(QRectF(7, 5, 2, 5.5));
  p.drawRect(QRectF(7, 11.5, 2, 2));
}

const QHash<QString, Drawing>& Drawings() {
  static const QHash<QString, Drawing> drawings = {
      {"STOPHELL", [](QPainter& p) { DrawStop(p, QColor(255, 0, 0), QColor(120, 0, 0), Qt::white); }},
      {"STOPDUNKEL",
       [](QPainter& p) { DrawStop(p, QColor(100, 20, 20), QColor(60, 0, 0), QColor(150, 150, 150)); }},
      {"GUT", DrawGood},
      {"RON", [](QPainter& p) { DrawLetterR(p, QColor(0, 200, 0), QColor(0, 90, 0), Qt::white); }},
      {"R",
       [](QPainter& p) {
         DrawLetterR(p, QColor(200, 200, 200), QColor(130, 130, 130), QColor(110, 110, 110));
       }},
      {"ENDSCHALTEROBEN", [](QPainter& p) { DrawLimit(p, true); }},
      {"ENDSCHALTERUNTEN", [](QPainter& p) { DrawLimit(p, false); }},
      {"ACHTUNG", DrawWarning},
  };
  return drawings;
}

}  // namespace

QPixmap StatusBitmap(const QString& name) {
  if (name.isEmpty()) return {};
  const QString key = name.toUpper();
  static QHash<QString, QPixmap> cache;
  auto cached = cache.constFind(key);
  if (cached != cache.constEnd()) return *cached;
  auto drawing = Drawings().constFind(key);
  if (drawing == Drawings().constEnd()) return {};

  QPixmap pixmap(kStatusBitmapSize, kStatusBitmapSize);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    (*drawing)(painter);
  }
  cache.insert(key, pixmap);
  return pixmap;
}

QStringList StatusBitmapNames() {
  QStringList names = Drawings().keys();
  names.sort();
  return names;
}

}  // namespace axtune
