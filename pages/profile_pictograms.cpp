#include "pages/profile_pictograms.h"

#include <QPainter>
#include <QPolygon>
#include <map>

#include "pages/profile_flags.h"

namespace axtune {
namespace {

// The colours of the classic 16-colour palette, which the icons keep.
const QColor kAxis(0, 0, 0);
const QColor kOutline(0, 0, 128);
const QColor kFill(255, 255, 255);
const QColor kArrow(128, 0, 0);
const QColor kGlass(128, 128, 0);
const QColor kSand(255, 255, 0);

constexpr int kBase = 27;  // the time axis; velocity grows upwards

void Axes(QPainter& p) {
  p.setPen(kAxis);
  p.drawLine(1, 2, 1, kBase);
  p.drawLine(1, kBase, 31, kBase);
}

// The area under a velocity curve given by its corner points from left to right; the first and
// last points may lie on the axis or above it.
void Profile(QPainter& p, const QPolygon& curve) {
  QPolygon area = curve;
  const QPoint end = curve.last();
  area << QPoint(end.x() + 1, end.y()) << QPoint(end.x() + 1, kBase) << QPoint(curve.first().x(), kBase);
  p.setPen(Qt::NoPen);
  p.setBrush(kFill);
  p.drawPolygon(area);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kOutline, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.drawPolyline(curve);
}

// An arrow to the right from x0 to x1 at height y: the next profile follows.
void Arrow(QPainter& p, int x0, int x1, int y) {
  p.setPen(QPen(kArrow, 2, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(x0, y, x1 - 3, y);
  p.setPen(Qt::NoPen);
  p.setBrush(kArrow);
  p.drawPolygon(QPolygon{{QPoint(x1 - 4, y - 4), QPoint(x1, y), QPoint(x1 - 4, y + 4)}});
  p.setBrush(Qt::NoBrush);
}

// An hourglass in the box (x, top) .. (x + 8, top + 12): the profile waits.
void Hourglass(QPainter& p, int x, int top) {
  const int bottom = top + 12;
  const int mid = top + 6;
  p.setPen(Qt::NoPen);
  p.setBrush(kSand);
  p.drawPolygon(QPolygon{{QPoint(x + 2, top + 3), QPoint(x + 6, top + 3), QPoint(x + 4, mid)}});
  p.drawPolygon(QPolygon{{QPoint(x + 4, mid + 2), QPoint(x + 7, bottom - 1), QPoint(x + 1, bottom - 1)}});
  p.setBrush(Qt::NoBrush);
  p.setPen(kGlass);
  p.drawLine(x, top, x + 8, top);
  p.drawLine(x, bottom, x + 8, bottom);
  p.drawLine(x + 1, top + 1, x + 3, mid);
  p.drawLine(x + 7, top + 1, x + 5, mid);
  p.drawLine(x + 3, mid, x + 1, bottom - 1);
  p.drawLine(x + 5, mid, x + 7, bottom - 1);
}

}  // namespace

QPixmap DrawProfilePictogram(int id) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  if (id < kIconProfileThenNext || id > kIconProfileWaitThenNext) return pixmap;
  QPainter p(&pixmap);  // no antialiasing: crisp pixels as in a 16-colour icon
  Axes(p);
  switch (id) {
    case kIconProfileThenNext:  // a profile back to standstill, then the next one
      Profile(p, QPolygon{{QPoint(3, kBase), QPoint(8, 11), QPoint(13, 11), QPoint(18, kBase)}});
      Arrow(p, 20, 31, 19);
      break;
    case kIconProfileSingle:  // one profile on its own
      Profile(p, QPolygon{{QPoint(3, kBase), QPoint(9, 9), QPoint(22, 9), QPoint(28, kBase)}});
      break;
    case kIconProfileOnAtOwnVelocity:  // on into the next profile at this profile's velocity
      Profile(p, QPolygon{{QPoint(3, kBase), QPoint(10, 13), QPoint(30, 13)}});
      Arrow(p, 17, 31, 6);
      break;
    case kIconProfileOnAtNextVelocity:  // on into the next profile at that profile's velocity
      Profile(p, QPolygon{{QPoint(3, kBase), QPoint(9, 11), QPoint(21, 11), QPoint(25, 18), QPoint(30, 18)}});
      Arrow(p, 17, 31, 5);
      break;
    case kIconProfileWait:  // the profile, then a wait
      Profile(p, QPolygon{{QPoint(3, kBase), QPoint(8, 11), QPoint(13, 11), QPoint(18, kBase)}});
      Hourglass(p, 21, 13);
      break;
    case kIconProfileWaitThenNext:  // the profile, a wait, then the next one
      Profile(p, QPolygon{{QPoint(3, kBase), QPoint(6, 13), QPoint(9, 13), QPoint(12, kBase)}});
      Hourglass(p, 14, 13);
      Arrow(p, 24, 31, 19);
      break;
    default:
      break;
  }
  return pixmap;
}

QIcon ProfilePictogram(int id) {
  static std::map<int, QIcon> icons;
  if (id < kIconProfileThenNext || id > kIconProfileWaitThenNext) return QIcon();
  auto it = icons.find(id);
  if (it == icons.end()) it = icons.emplace(id, QIcon(DrawProfilePictogram(id))).first;
  return it->second;
}

}  // namespace axtune
