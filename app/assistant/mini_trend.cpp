#include "app/assistant/mini_trend.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextPosition = 48501;  // "Motor position"
constexpr int kTextFollowing = 56108;
}  // namespace

MiniTrend::MiniTrend(QWidget* parent) : QWidget(parent), recorder_(600.0, 6000) {
  setObjectName(QStringLiteral("miniTrend"));
  setMinimumHeight(80);
}

void MiniTrend::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
  p.fillRect(area, Qt::white);
  p.setPen(QColor(150, 150, 150));
  p.drawRect(area);
  const auto& samples = recorder_.samples();
  p.setPen(QColor(30, 30, 160));
  p.drawText(area.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(Text(kTextPosition)));
  p.setPen(QColor(200, 90, 0));
  p.drawText(area.adjusted(0, 2, -4, 0), Qt::AlignRight | Qt::AlignTop,
             QString::fromUtf8(Text(kTextFollowing)));
  if (samples.size() < 2) return;
  // One poll a step along the width: the polls come at the window's steady rate, and a run of a
  // few seconds then fills the width whatever the clock says.
  const double last = static_cast<double>(samples.size() - 1);
  // One curve: its own vertical scale, so a following error of a few steps shows beside
  // thousands of steps of travel.
  auto draw = [&](auto value, const QColor& colour) {
    double lo = 0, hi = 0;
    bool any = false;
    for (const TrendSample& s : samples) {
      const double v = value(s);
      if (!s.valid || std::isnan(v)) continue;
      lo = any ? std::min(lo, v) : v;
      hi = any ? std::max(hi, v) : v;
      any = true;
    }
    if (!any) return;
    if (hi - lo < 1) hi = lo + 1;
    QPainterPath path;
    bool open = false;
    double index = -1;
    for (const TrendSample& s : samples) {
      ++index;
      const double v = value(s);
      if (!s.valid || std::isnan(v)) {
        open = false;
        continue;
      }
      const QPointF point(area.left() + 4 + (area.width() - 8) * index / last,
                          area.bottom() - 4 - (area.height() - 22) * (v - lo) / (hi - lo));
      if (open) {
        path.lineTo(point);
      } else {
        path.moveTo(point);
      }
      open = true;
    }
    p.setPen(QPen(colour, 1.5));
    p.drawPath(path);
  };
  p.setRenderHint(QPainter::Antialiasing);
  draw([](const TrendSample& s) { return static_cast<double>(s.motorPosition); }, QColor(30, 30, 160));
  draw([](const TrendSample& s) { return s.followingError; }, QColor(200, 90, 0));
}

}  // namespace axtune
