#include "app/shared_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <map>

#include "pages/profile_pictograms.h"

namespace axtune {
namespace {

std::map<int, QIcon>& Icons() {
  static std::map<int, QIcon> icons;
  return icons;
}

QPixmap Canvas(int size = 32) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// A round lamp with a highlight, as on a control panel.
QIcon Lamp(const QColor& colour, bool ring) {
  QPixmap pixmap = Canvas();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient gradient(QPointF(12, 12), 16);
  gradient.setColorAt(0, colour.lighter(170));
  gradient.setColorAt(1, colour);
  p.setBrush(gradient);
  p.setPen(QPen(ring ? QColor(60, 60, 60) : colour.darker(160), ring ? 2.5 : 1.5));
  p.drawEllipse(QRectF(3, 3, 26, 26));
  return QIcon(pixmap);
}

// The program's icon: a stepper motor's flange with a shaft and a tuning arc.
QIcon WindowIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap = Canvas(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setBrush(QColor(79, 164, 163));
    p.setPen(QPen(QColor(20, 60, 60), 1.5));
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 5, 5);
    p.setBrush(QColor(230, 230, 230));
    p.drawEllipse(QRectF(9, 9, 14, 14));
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QRectF(14, 14, 4, 4));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 210, 0), 2.5));
    p.drawArc(QRectF(5, 5, 22, 22), 30 * 16, 120 * 16);
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

void LoadSharedIcons() {
  auto& icons = Icons();
  if (!icons.empty()) return;
  icons[128] = WindowIcon();
  icons[152] = Lamp(QColor(150, 150, 150), false);
  icons[153] = Lamp(QColor(0, 190, 0), false);
  icons[154] = Lamp(QColor(150, 150, 150), true);
  icons[155] = Lamp(QColor(220, 0, 0), false);
  for (int id = 157; id <= 162; ++id) icons[id] = ProfilePictogram(id);
}

QIcon SharedIcon(int id) {
  LoadSharedIcons();
  auto it = Icons().find(id);
  return it == Icons().end() ? QIcon() : it->second;
}

}  // namespace axtune
