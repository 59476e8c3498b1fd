#include "app/trend_plot.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "core/drive_status.h"
#include "res/strings.h"
#include "res/trend_text_ids.h"

namespace axtune {
namespace {

constexpr double kDefaultSpanSeconds = 60;
constexpr int kMarkHoverPixels = 5;
constexpr int kClickPixels = 3;
constexpr int kDigitalLanes = kTrendColumnCount - kColUpperLimit;
constexpr double kLaneStep = 1.5;
constexpr int kSqueezeEvery = 1000;  // samples dropped between two compactions of the plot's data
// The pages' unit texts: "Schritte" / "steps", "Schritte/s" / "steps/s".
constexpr int kTextUnitSteps = 47242;
constexpr int kTextUnitStepsPerSecond = 47241;
constexpr int kTextUnitFullSteps = 54205;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

// The lane of each analog trace: the motor and the encoder position share one, so that a lost step
// shows as the two parting.
constexpr int kLaneOf[kColTemperature + 1] = {0, 0, 1, 2, 3, 4, 5};
// The least span a lane's axis shows, so that noise of a fraction of a unit does not fill the lane.
constexpr double kMinimumSpan[kColTemperature + 1] = {20, 20, 20, 8, 1, 10, 10};
// A stepper loses steps in fours: the following error's lane shows at least four either way, so a
// healthy drive's 0 reads as a flat line in the middle.
constexpr double kFollowingErrorSpan = 4;

QString ValueText(double value, int column) {
  const TrendColumnInfo& info = TrendColumnOf(column);
  if (std::isnan(value)) return QStringLiteral("\u2013");
  if (info.digital) return value != 0 ? QStringLiteral("1") : QStringLiteral("0");
  // The temperature in whole degrees, rounded as the status bar and the panel round it.
  if (column == kColTemperature) {
    return QStringLiteral("%1 %2")
        .arg(TemperatureDegrees(static_cast<int16_t>(std::lround(value * 128))))
        .arg(TrendPlot::unitText(column));
  }
  const int decimals = column == kColCurrent ? 2 : column <= kColFollowingError ? 0 : 1;
  // In the window's language, as the axes write their numbers ("48,0 V" in German).
  return QStringLiteral("%1 %2").arg(QLocale().toString(value, 'f', decimals), TrendPlot::unitText(column));
}

}  // namespace

QColor TrendPlot::traceColor(int column) {
  static const QColor colors[kTrendColumnCount] = {
      QColor(0, 90, 200),  QColor(0, 180, 220), QColor(40, 150, 40), QColor(220, 0, 120),
      QColor(230, 120, 0), QColor(140, 90, 30), QColor(200, 30, 30), QColor(80, 80, 80),
      QColor(80, 80, 160), QColor(0, 140, 120), QColor(190, 0, 0),   QColor(20, 120, 20),
  };
  return colors[std::clamp(column, 0, kTrendColumnCount - 1)];
}

QString TrendPlot::unitText(int column) {
  const std::string unit = TrendColumnOf(std::clamp(column, 0, kTrendColumnCount - 1)).unit;
  if (unit == "steps") return Tr(kTextUnitSteps);
  if (unit == "steps/s") return Tr(kTextUnitStepsPerSecond);
  if (unit == "full steps") return Tr(kTextUnitFullSteps);
  return QString::fromStdString(unit);
}

TrendPlot::TrendPlot(QWidget* parent) : QCustomPlot(parent) {
  setObjectName(QStringLiteral("trendPlot"));
  // Thin lines without antialiasing: the plot redraws up to ten times a second.
  setNotAntialiasedElements(QCP::aeAll);
  setPlottingHint(QCP::phFastPolylines, true);
  setMouseTracking(true);
  setUpAxes();
  connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this](const QCPRange& range) {
    for (QCPAxis* time : timeAxes_) {
      if (time != xAxis) time->setRange(range);
    }
    // A drag or a zoom that leaves the newest sample out of view stops the view from following.
    if (!moving_) following_ = range.upper >= newestTime() - 1e-6;
    dirty_ = true;
  });
  // The lanes' sizes are known once the layout is done, on screen and for a picture of another size.
  connect(this, &QCustomPlot::afterLayout, this, &TrendPlot::layOutMarkLabels);
  // The first view is set once the lanes follow it: their axis carries the time labels, and until
  // the view first moves (a minute later) it would keep QCustomPlot's 0..5 and hide the lanes.
  setTimeRange(0, kDefaultSpanSeconds);
}

QCPAxisRect* TrendPlot::addLane(QCPAxis** timeAxis, QCPAxis** valueAxis) {
  auto* lane = new QCPAxisRect(this, false);
  *timeAxis = lane->addAxis(QCPAxis::atBottom);
  *valueAxis = lane->addAxis(QCPAxis::atLeft);
  (*timeAxis)->setTickLabels(false);
  (*timeAxis)->setPadding(0);
  (*timeAxis)->setTickLength(0, 3);
  (*timeAxis)->setSubTickLength(0, 0);
  // Only the left and right margins follow the axes; the lanes sit close above each other.
  lane->setAutoMargins(QCP::msLeft | QCP::msRight);
  lane->setMargins(QMargins(0, 3, 0, 3));
  lane->setRangeDrag(Qt::Horizontal);
  lane->setRangeZoom(Qt::Horizontal);
  timeAxes_.push_back(*timeAxis);
  return lane;
}

void TrendPlot::setUpAxes() {
  plotLayout()->clear();
  plotLayout()->setRowSpacing(0);
  auto* margins = new QCPMarginGroup(this);
  QCPAxis* laneAxis[kAnalogLanes] = {};
  for (int l = 0; l < kAnalogLanes; ++l) {
    QCPAxis* time = nullptr;
    lanes_[static_cast<size_t>(l)] = addLane(&time, &laneAxis[l]);
    if (l == 0) xAxis = time;
  }
  marksLane_ = addLane(&marksTime_, &marksRows_);
  marksRows_->setRange(0, kMarkRows);
  marksRows_->setTicks(false);
  marksRows_->setTickLabels(false);
  marksRows_->grid()->setVisible(false);
  QCPAxis* digitalTime = nullptr;
  QCPAxis* lanes = nullptr;
  digital_ = addLane(&digitalTime, &lanes);
  // The time's numbers and label under the lowest lane only.
  digitalTime->setTickLabels(true);
  digitalTime->setLabel(Tr(kTextTrendTime));
  digital_->setMargins(QMargins(0, 3, 0, 0));
  digital_->setAutoMargins(QCP::msLeft | QCP::msRight | QCP::msBottom);
  for (QCPAxisRect* rect : allLanes()) {
    rect->setRangeDragAxes(xAxis, nullptr);
    rect->setRangeZoomAxes(xAxis, nullptr);
    // Every lane lines up on the same left and right margins, whatever its axis's labels need.
    rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
  }
  setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);

  for (int c = 0; c <= kColTemperature; ++c) {
    QCPAxis* axis = laneAxis[kLaneOf[c]];
    if (c == 0 || kLaneOf[c] != kLaneOf[c - 1]) {
      // The unit on the axis, the name at the lane's top left (a lane is too low for it on the axis);
      // the two positions share their lane and its name.
      axis->setLabel(unitText(c));
      axis->setLabelColor(traceColor(c));
      axis->setTickLabelColor(traceColor(c));
      auto* name = new QCPItemText(this);
      name->setClipToAxisRect(false);
      name->position->setType(QCPItemPosition::ptAxisRectRatio);
      name->position->setAxisRect(lanes_[static_cast<size_t>(kLaneOf[c])]);
      name->position->setCoords(0.004, 0.0);
      name->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
      name->setText(Tr(c == kColMotorPosition ? kTextTracePosition : TrendColumnOf(c).nameId));
      name->setColor(traceColor(c));
      name->setBrush(QColor(255, 255, 255, 200));
      name->setPadding(QMargins(2, 0, 2, 0));
      QFont bold = font();
      bold.setBold(true);
      name->setFont(bold);
      laneNames_[static_cast<size_t>(kLaneOf[c])] = name;
    }
    axes_[c] = axis;
    graphs_[c] = addGraph(xAxis, axis);
    graphs_[c]->setKeyAxis(timeAxes_[static_cast<size_t>(kLaneOf[c])]);
    // The encoder dashed over the motor: where both agree, both stay visible.
    graphs_[c]->setPen(QPen(traceColor(c), c == kColEncoderPosition ? 2.0 : 1.5,
                            c == kColEncoderPosition ? Qt::DashLine : Qt::SolidLine));
    graphs_[c]->setName(Tr(TrendColumnOf(c).nameId));
  }

  lanes->setRange(-0.4, kDigitalLanes * kLaneStep - 0.1);
  auto ticker = QSharedPointer<QCPAxisTickerText>::create();
  for (int c = kColUpperLimit; c < kTrendColumnCount; ++c) {
    const int lane = kTrendColumnCount - 1 - c;
    ticker->addTick(lane * kLaneStep + 0.5, Tr(TrendColumnOf(c).nameId));
    graphs_[c] = addGraph(digitalTime, lanes);
    graphs_[c]->setPen(QPen(traceColor(c), 1.5));
    graphs_[c]->setLineStyle(QCPGraph::lsStepLeft);
    graphs_[c]->setName(Tr(TrendColumnOf(c).nameId));
  }
  lanes->setTicker(ticker);
  lanes->grid()->setVisible(false);

  addLayer(QStringLiteral("cursor"), layer(QStringLiteral("main")), QCustomPlot::limAbove);
  layer(QStringLiteral("cursor"))->setMode(QCPLayer::lmBuffered);
  for (QCPAxisRect* rect : allLanes()) {
    auto* cursor = new QCPItemStraightLine(this);
    cursor->setLayer(QStringLiteral("cursor"));
    cursor->setClipAxisRect(rect);
    cursor->setPen(QPen(Qt::black, 1, Qt::DashLine));
    QCPAxis* time = rect->axis(QCPAxis::atBottom);
    QCPAxis* value = rect->axis(QCPAxis::atLeft);
    cursor->point1->setAxes(time, value);
    cursor->point2->setAxes(time, value);
    cursor->setVisible(false);
    cursors_.push_back(cursor);
  }
  arrangeLanes();
}

std::vector<QCPAxisRect*> TrendPlot::allLanes() const {
  std::vector<QCPAxisRect*> rects(lanes_.begin(), lanes_.end());
  rects.push_back(marksLane_);
  rects.push_back(digital_);
  return rects;
}

int TrendPlot::visibleLaneCount() const {
  int count = 0;
  for (QCPAxisRect* lane : lanes_) count += lane->visible() ? 1 : 0;
  return count;
}

QCPAxisRect* TrendPlot::laneOf(int column) const {
  if (column < 0 || column >= kTrendColumnCount || !graphs_[column]->visible()) return nullptr;
  return graphs_[column]->keyAxis()->axisRect();
}

void TrendPlot::arrangeLanes() {
  // Every lane out of the grid, then the ones with a visible trace back in, top to bottom.
  for (QCPAxisRect* rect : allLanes()) plotLayout()->take(rect);
  plotLayout()->simplify();
  QList<double> stretch;
  int row = 0;
  for (int l = 0; l < kAnalogLanes; ++l) {
    bool shown = false;
    for (int c = 0; c <= kColTemperature; ++c) shown = shown || (kLaneOf[c] == l && graphs_[c]->visible());
    QCPAxisRect* lane = lanes_[static_cast<size_t>(l)];
    lane->setVisible(shown);
    laneNames_[static_cast<size_t>(l)]->setVisible(shown);
    if (!shown) continue;
    plotLayout()->addElement(row++, 0, lane);
    stretch << 1.0;
  }
  // The marks' lane is as high as its rows of labels.
  const int rowHeight = QFontMetrics(markFont(font())).height() + 2;
  marksLane_->setMinimumSize(0, kMarkRows * rowHeight + 6);
  marksLane_->setMaximumSize(QWIDGETSIZE_MAX, kMarkRows * rowHeight + 6);
  plotLayout()->addElement(row++, 0, marksLane_);
  stretch << 0.01;
  bool digital = false;
  for (int c = kColUpperLimit; c < kTrendColumnCount; ++c) digital = digital || graphs_[c]->visible();
  digital_->setVisible(digital);
  if (digital) {
    plotLayout()->addElement(row++, 0, digital_);
    stretch << 1.3;
  } else {
    // The time's numbers move to the lowest lane shown.
  }
  for (QCPAxis* time : timeAxes_) {
    time->setTickLabels(false);
    time->setLabel(QString());
  }
  QCPAxis* lowest = digital ? digital_->axis(QCPAxis::atBottom) : marksTime_;
  lowest->setTickLabels(true);
  lowest->setLabel(Tr(kTextTrendTime));
  for (QCPAxisRect* rect : allLanes())
    rect->setAutoMargins(rect->axis(QCPAxis::atBottom) == lowest ? QCP::msLeft | QCP::msRight | QCP::msBottom
                                                                 : QCP::msLeft | QCP::msRight);
  plotLayout()->setRowStretchFactors(stretch);
}

void TrendPlot::addSample(const TrendSample& sample) {
  for (int c = 0; c < kTrendColumnCount; ++c) {
    double value = TrendValue(sample, c);
    if (c >= kColUpperLimit && !std::isnan(value)) value += (kTrendColumnCount - 1 - c) * kLaneStep;
    graphs_[c]->addData(sample.time, value);
  }
  dirty_ = true;
}

void TrendPlot::reload() {
  for (QCPGraph* graph : graphs_) graph->data()->clear();
  for (Mark& mark : marks_) removeMark(mark);
  marks_.clear();
  if (source_ != nullptr) {
    for (const TrendSample& s : source_->samples()) addSample(s);
    for (const TrendEvent& e : source_->events()) addEvent(e);
  }
  dirty_ = true;
}

void TrendPlot::dropBefore(double oldest) {
  for (QCPGraph* graph : graphs_) graph->data()->removeBefore(oldest);
  // QCustomPlot keeps removed points as room at the front of its arrays and gives it back only
  // once that room is one and a half times the data: with a full 30-minute history the memory would
  // swing by some 20 MB. Moving the data to the front now and then keeps it flat.
  if (++dropsSinceSqueeze_ >= kSqueezeEvery) {
    dropsSinceSqueeze_ = 0;
    for (QCPGraph* graph : graphs_) graph->data()->squeeze(true, false);
  }
  while (!marks_.empty() && marks_.front().event.time < oldest) {
    removeMark(marks_.front());
    marks_.pop_front();
  }
}

double TrendPlot::newestTime() const {
  const auto& data = graphs_[kColMotorPosition]->data();
  return data->isEmpty() ? 0 : (data->constEnd() - 1)->key;
}

double TrendPlot::oldestTime() const {
  const auto& data = graphs_[kColMotorPosition]->data();
  return data->isEmpty() ? 0 : data->constBegin()->key;
}

void TrendPlot::setTraceVisible(int column, bool visible) {
  if (column < 0 || column >= kTrendColumnCount) return;
  graphs_[column]->setVisible(visible);
  arrangeLanes();
  dirty_ = true;
}

bool TrendPlot::traceVisible(int column) const {
  return column >= 0 && column < kTrendColumnCount && graphs_[column]->visible();
}

QCPRange TrendPlot::timeRange() const {
  return xAxis->range();
}

void TrendPlot::setTimeRange(double lower, double upper) {
  moving_ = true;
  xAxis->setRange(lower, upper);
  moving_ = false;
}

void TrendPlot::followNewest() {
  if (!following_) return;
  const double span = xAxis->range().size();
  const double upper = std::max(newestTime(), span);
  setTimeRange(upper - span, upper);
}

void TrendPlot::fitValueAxes() {
  const QCPRange view = xAxis->range();
  for (int c = 0; c <= kColTemperature; ++c) {
    QCPAxis* axis = axes_[c];
    // The first trace of a lane sets its range, the others in it widen it.
    const bool first = c == 0 || axes_[c - 1] != axis;
    bool found = false;
    QCPRange range = graphs_[c]->getValueRange(found, QCP::sdBoth, view);
    if (first) axis->setProperty("fitted", false);
    if (!found || !graphs_[c]->visible()) continue;
    if (axis->property("fitted").toBool()) range.expand(axis->range());
    axis->setProperty("fitted", true);
    const double least = kMinimumSpan[c];
    if (c == kColFollowingError) {
      range.expand(QCPRange(-kFollowingErrorSpan, kFollowingErrorSpan));  // around zero
    } else if (range.size() < least) {
      const double centre = range.center();
      range = QCPRange(centre - least / 2, centre + least / 2);
    }
    // A margin so the trace does not run along the lane's edge.
    const double margin = range.size() * 0.08;
    axis->setRange(range.lower - margin, range.upper + margin);
  }
}

void TrendPlot::fit() {
  following_ = true;
  const double oldest = oldestTime();
  setTimeRange(oldest, std::max(newestTime(), oldest + 1.0));
  dirty_ = true;
  refresh();
}

double TrendPlot::secondsPerPixel() const {
  const int pixels = lanes_[0]->width();
  return pixels > 0 ? xAxis->range().size() / pixels : 0;
}

void TrendPlot::refresh() {
  if (!dirty_) return;
  dirty_ = false;
  followNewest();
  fitValueAxes();
  replot(QCustomPlot::rpQueuedReplot);
}

const TrendSample* TrendPlot::nearest(double time) const {
  if (source_ == nullptr || source_->samples().empty()) return nullptr;
  const auto& samples = source_->samples();
  auto it = std::lower_bound(samples.begin(), samples.end(), time,
                             [](const TrendSample& s, double t) { return s.time < t; });
  if (it == samples.end()) return &samples.back();
  if (it != samples.begin() && time - (it - 1)->time < it->time - time) --it;
  return &*it;
}

QString TrendPlot::readout(double time, double markSlack) const {
  QStringList lines;
  const TrendSample* s = nearest(time);
  if (s == nullptr) return {};
  lines << QStringLiteral("%1: %2 s")
               .arg(Tr(kTextTrendTime).section(' ', 0, 0))
               .arg(QLocale().toString(s->time, 'f', 2));
  for (const Mark& mark : marks_) {
    if (std::abs(mark.event.time - time) <= markSlack)
      lines << QString::fromStdString(TrendEventText(mark.event, CurrentLanguage()));
  }
  for (int c = 0; c < kTrendColumnCount; ++c) {
    if (!graphs_[c]->visible()) continue;
    lines << QStringLiteral("%1: %2").arg(Tr(TrendColumnOf(c).nameId), ValueText(TrendValue(*s, c), c));
  }
  return lines.join('\n');
}

void TrendPlot::setCursorTime(double time) {
  cursorTime_ = time;
  for (QCPItemStraightLine* cursor : cursors_) {
    cursor->setVisible(!std::isnan(time));
    if (!std::isnan(time)) {
      cursor->point1->setCoords(time, 0);
      cursor->point2->setCoords(time, 1);
    }
  }
  layer(QStringLiteral("cursor"))->replot();
}

void TrendPlot::mouseMoveEvent(QMouseEvent* event) {
  QCustomPlot::mouseMoveEvent(event);
  if (event->buttons() != Qt::NoButton) return;
  const double x = event->position().x();
  if (axisRectAt(event->position()) == nullptr) {
    QToolTip::hideText();
    return;
  }
  // A mark within a few pixels is named; the values of every trace at that time follow.
  const double slack = std::abs(xAxis->pixelToCoord(x + kMarkHoverPixels) - xAxis->pixelToCoord(x));
  QToolTip::showText(event->globalPosition().toPoint(), readout(xAxis->pixelToCoord(x), slack), this);
}

void TrendPlot::mousePressEvent(QMouseEvent* event) {
  pressedAt_ = event->position().toPoint();
  QCustomPlot::mousePressEvent(event);
}

void TrendPlot::mouseReleaseEvent(QMouseEvent* event) {
  QCustomPlot::mouseReleaseEvent(event);
  // A click (not a drag) puts the cursor there.
  if (event->button() == Qt::LeftButton &&
      (event->position().toPoint() - pressedAt_).manhattanLength() <= kClickPixels) {
    setCursorTime(xAxis->pixelToCoord(event->position().x()));
    emit cursorMoved(cursorTime_);
  }
}

}  // namespace axtune
