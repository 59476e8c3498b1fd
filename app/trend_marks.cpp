// The trend's marks (a profile started, a homing ended, a fault, a write, a drive that stopped
// answering): a small flag in the marks' lane at the mark's time, its label beside it in one of the
// lane's rows.
#include <QFontMetricsF>
#include <algorithm>

#include "app/trend_plot.h"
#include "res/strings.h"

namespace axtune {
namespace {

QColor MarkColor(TrendEventKind kind) {
  switch (kind) {
    case TrendEventKind::ProfileStarted:
    case TrendEventKind::ProfileEnded:
      return QColor(20, 110, 40);
    case TrendEventKind::HomingStarted:
    case TrendEventKind::HomingEnded:
      return QColor(120, 40, 160);
    case TrendEventKind::Fault:
      return QColor(210, 0, 0);
    case TrendEventKind::NoAnswer:
      return QColor(110, 110, 110);
    case TrendEventKind::ParameterWritten:
      return QColor(200, 110, 0);
  }
  return Qt::black;
}

constexpr double kLabelGap = 3;  // pixels between a flag and its label, and between two labels

}  // namespace

QFont TrendPlot::markFont(const QFont& base) {
  QFont font = base;
  font.setPointSizeF(base.pointSizeF() * 0.85);
  return font;
}

void TrendPlot::addEvent(const TrendEvent& event) {
  Mark mark;
  mark.event = event;
  const QColor color = MarkColor(event.kind);
  mark.flag = new QCPItemLine(this);
  mark.flag->setClipAxisRect(marksLane_);
  mark.flag->setPen(QPen(color, 1.5));
  mark.flag->start->setAxes(marksTime_, marksRows_);
  mark.flag->end->setAxes(marksTime_, marksRows_);
  mark.flag->start->setCoords(event.time, 0);
  mark.flag->end->setCoords(event.time, kMarkRows);
  mark.label = new QCPItemText(this);
  mark.label->setClipAxisRect(marksLane_);
  mark.label->position->setAxes(marksTime_, marksRows_);
  mark.label->setPositionAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  mark.label->setColor(color);
  mark.label->setFont(markFont(font()));
  mark.label->setText(QString::fromStdString(TrendEventText(event, CurrentLanguage())));
  marks_.push_back(mark);
  dirty_ = true;
}

void TrendPlot::layOutMarkLabels() {
  // Left to right, each label takes the first row (from the top) where the label before it has
  // ended; where every row is taken it is hidden. Only the marks in view are measured.
  if (marks_.empty()) return;
  const double left = marksLane_->left(), right = marksLane_->right();
  const QFontMetricsF metrics(markFont(font()));
  std::vector<double> rowEnds(kMarkRows, -1e9);
  for (Mark& mark : marks_) {
    const double x = marksTime_->coordToPixel(mark.event.time);
    if (x < left - 1 || x > right + 1) {
      mark.label->setVisible(false);
      continue;
    }
    const QString text = QString::fromStdString(TrendEventText(mark.event, CurrentLanguage()));
    const double start = x + kLabelGap;
    // A label may be cut at the lane's right edge, never shortened to nothing.
    const double width = std::min(metrics.horizontalAdvance(text), std::max(right - start, 40.0));
    int row = -1;
    for (int r = 0; r < kMarkRows && row < 0; ++r) {
      if (rowEnds[static_cast<size_t>(r)] + kLabelGap <= x) row = r;
    }
    if (row < 0) {
      mark.label->setVisible(false);
      continue;
    }
    rowEnds[static_cast<size_t>(row)] = start + width;
    mark.label->setVisible(true);
    mark.label->setText(metrics.elidedText(text, Qt::ElideRight, width + 1));
    mark.label->position->setCoords(marksTime_->pixelToCoord(start), kMarkRows - row - 0.5);
  }
}

std::vector<QRectF> TrendPlot::markLabelRects() const {
  std::vector<QRectF> rects;
  const QFontMetricsF metrics(markFont(font()));
  for (const Mark& mark : marks_) {
    if (!mark.label->visible()) continue;
    const QPointF at = mark.label->position->pixelPosition();
    const double width = metrics.horizontalAdvance(mark.label->text());
    rects.emplace_back(at.x(), at.y() - metrics.height() / 2, width, metrics.height());
  }
  return rects;
}

void TrendPlot::removeMark(Mark& mark) {
  removeItem(mark.flag);
  removeItem(mark.label);
}

}  // namespace axtune
