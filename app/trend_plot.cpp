#include "app/trend_plot.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

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

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

// Where the traces of each unit go: an axis per unit, three on each side.
struct AxisPlace {
  QCPAxis::AxisType side;
  int group;  // traces of one group share an axis
};
constexpr AxisPlace kAxisPlaces[kColTemperature + 1] = {
    {QCPAxis::atLeft, 0},   // motor position
    {QCPAxis::atLeft, 0},   // encoder position
    {QCPAxis::atLeft, 1},   // velocity
    {QCPAxis::atLeft, 2},   // following error
    {QCPAxis::atRight, 3},  // current
    {QCPAxis::atRight, 4},  // voltage
    {QCPAxis::atRight, 5},  // temperature
};
// The least span an axis shows, so that noise of a fraction of a unit does not fill the plot and a
// flat following error looks flat.
constexpr double kMinimumSpan[kColTemperature + 1] = {20, 20, 20, 20, 1, 10, 10};

// The drive's step resolution as the newest answered poll gave it; 0 when none did.
int StepsPerRevolution(const TrendRecorder* recorder) {
  if (recorder == nullptr) return 0;
  const auto& samples = recorder->samples();
  for (auto it = samples.rbegin(); it != samples.rend(); ++it)
    if (it->valid) return it->stepsPerRevolution;
  return 0;
}

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

QString ValueText(double value, int column) {
  const TrendColumnInfo& info = TrendColumnOf(column);
  if (std::isnan(value)) return QStringLiteral("\u2013");
  if (info.digital) return value != 0 ? QStringLiteral("1") : QStringLiteral("0");
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
    digital_->axis(QCPAxis::atBottom)->setRange(range);
    // A drag or a zoom that leaves the newest sample out of view stops the view from following.
    if (!moving_) following_ = range.upper >= newestTime() - 1e-6;
    dirty_ = true;
  });
  connect(this, &QCustomPlot::beforeReplot, this, &TrendPlot::layOutMarkLabels);
  // The first view is set once the lanes follow it: their axis carries the time labels, and until
  // the view first moves (a minute later) it would keep QCustomPlot's 0..5 and hide the lanes.
  setTimeRange(0, kDefaultSpanSeconds);
}

void TrendPlot::setUpAxes() {
  plotLayout()->clear();
  analog_ = new QCPAxisRect(this, false);
  digital_ = new QCPAxisRect(this, false);
  plotLayout()->addElement(0, 0, analog_);
  plotLayout()->addElement(1, 0, digital_);
  plotLayout()->setRowStretchFactors({3.0, 1.0});
  plotLayout()->setRowSpacing(2);

  xAxis = analog_->addAxis(QCPAxis::atBottom);
  QCPAxis* digitalTime = digital_->addAxis(QCPAxis::atBottom);
  digitalTime->setLabel(Tr(kTextTrendTime));
  xAxis->setTickLabels(false);
  for (QCPAxisRect* rect : {analog_, digital_}) {
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeZoom(Qt::Horizontal);
    rect->setRangeDragAxes(xAxis, nullptr);
    rect->setRangeZoomAxes(xAxis, nullptr);
  }
  // Both areas line up on the same left and right margins, whatever their axes' labels need.
  auto* margins = new QCPMarginGroup(this);
  analog_->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
  digital_->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
  setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);

  QCPAxis* groupAxis[6] = {};
  for (int c = 0; c <= kColTemperature; ++c) {
    const AxisPlace place = kAxisPlaces[c];
    QCPAxis*& axis = groupAxis[place.group];
    if (axis == nullptr) {
      axis = analog_->addAxis(place.side);
      // The two positions share their axis; every other axis carries one trace's name.
      const QString name = Tr(c == kColMotorPosition ? kTextTracePosition : TrendColumnOf(c).nameId);
      axis->setLabel(QStringLiteral("%1 [%2]").arg(name, unitText(c)));
    }
    axes_[c] = axis;
    graphs_[c] = addGraph(xAxis, axis);
    // The encoder dashed over the motor: where both agree, both stay visible.
    graphs_[c]->setPen(QPen(traceColor(c), c == kColEncoderPosition ? 2.0 : 1.5,
                            c == kColEncoderPosition ? Qt::DashLine : Qt::SolidLine));
    graphs_[c]->setName(Tr(TrendColumnOf(c).nameId));
  }
  percentAxis_ = analog_->addAxis(QCPAxis::atLeft);
  percentAxis_->setLabel(Tr(kTextTrendNormalisedAxis));
  percentAxis_->setRange(-5, 105);

  QCPAxis* lanes = digital_->addAxis(QCPAxis::atLeft);
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
  cursor_ = new QCPItemStraightLine(this);
  cursor_->setLayer(QStringLiteral("cursor"));
  cursor_->setClipAxisRect(analog_);
  cursor_->setPen(QPen(Qt::black, 1, Qt::DashLine));
  cursor_->point1->setAxes(xAxis, percentAxis_);
  cursor_->point2->setAxes(xAxis, percentAxis_);
  cursor_->setVisible(false);
  applyAxisVisibility();
}

void TrendPlot::addSample(const TrendSample& sample) {
  for (int c = 0; c < kTrendColumnCount; ++c) {
    double value = TrendValue(sample, c);
    if (c >= kColUpperLimit && !std::isnan(value)) value += (kTrendColumnCount - 1 - c) * kLaneStep;
    graphs_[c]->addData(sample.time, value);
  }
  dirty_ = true;
}

void TrendPlot::addEvent(const TrendEvent& event) {
  Mark mark;
  mark.event = event;
  const QColor color = MarkColor(event.kind);
  mark.line = new QCPItemStraightLine(this);
  mark.line->setClipAxisRect(analog_);
  mark.line->setPen(QPen(color, 1, Qt::DashLine));
  mark.line->point1->setAxes(xAxis, percentAxis_);
  mark.line->point2->setAxes(xAxis, percentAxis_);
  mark.line->point1->setCoords(event.time, 0);
  mark.line->point2->setCoords(event.time, 1);
  mark.label = new QCPItemText(this);
  mark.label->setClipAxisRect(analog_);
  mark.label->position->setAxisRect(analog_);
  mark.label->position->setAxes(xAxis, percentAxis_);
  mark.label->position->setTypeX(QCPItemPosition::ptPlotCoords);
  mark.label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
  mark.label->position->setCoords(event.time, 0.01);
  mark.label->setRotation(-90);
  mark.label->setPositionAlignment(Qt::AlignRight | Qt::AlignBottom);
  mark.label->setColor(color);
  QFont font = this->font();
  font.setPointSizeF(font.pointSizeF() * 0.85);
  mark.label->setFont(font);
  mark.label->setText(QString::fromStdString(TrendEventText(event, CurrentLanguage())));
  marks_.push_back(mark);
  dirty_ = true;
}

void TrendPlot::layOutMarkLabels() {
  // Labels run up the mark lines. A mark closer to its neighbour than a label is high shares the
  // line with it: one label hangs from the top, the other stands on the bottom, each cut to half
  // the height (the full text is in the mark's readout); a lone mark's label may take the height.
  // Runs before every redraw, so only the marks in view get their text measured.
  if (marks_.empty()) return;
  const double height = analog_->height();
  const double left = analog_->left(), right = analog_->right();
  const QFontMetricsF metrics(marks_.front().label->font());  // every label has the mark font
  const double needed = metrics.height() + 2;
  std::vector<double> xs;
  xs.reserve(marks_.size());
  for (const Mark& mark : marks_) xs.push_back(xAxis->coordToPixel(mark.event.time));
  bool previousAtBottom = true;
  for (size_t i = 0; i < marks_.size(); ++i) {
    Mark& mark = marks_[i];
    const bool closeBefore = i > 0 && xs[i] - xs[i - 1] < needed;
    const bool closeAfter = i + 1 < marks_.size() && xs[i + 1] - xs[i] < needed;
    const bool atBottom = closeBefore && !previousAtBottom;
    previousAtBottom = atBottom;
    if (xs[i] < left - needed || xs[i] > right + needed) continue;  // clipped away
    const double room = std::max(0.0, (closeBefore || closeAfter ? height / 2 : height) - 12);
    const QString text = QString::fromStdString(TrendEventText(mark.event, CurrentLanguage()));
    mark.label->setText(metrics.elidedText(text, Qt::ElideRight, room));
    mark.label->position->setCoords(mark.event.time, atBottom ? 0.99 : 0.01);
    mark.label->setPositionAlignment(atBottom ? Qt::AlignLeft | Qt::AlignBottom
                                              : Qt::AlignRight | Qt::AlignBottom);
  }
}

void TrendPlot::removeMark(Mark& mark) {
  removeItem(mark.line);
  removeItem(mark.label);
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
  applyAxisVisibility();
  dirty_ = true;
}

bool TrendPlot::traceVisible(int column) const {
  return column >= 0 && column < kTrendColumnCount && graphs_[column]->visible();
}

void TrendPlot::setNormalised(bool normalised) {
  normalised_ = normalised;
  applyAxisVisibility();
  dirty_ = true;
}

void TrendPlot::applyAxisVisibility() {
  // An axis shows while a trace on it shows; in the normalised view only the percent axis does.
  for (QCPAxis* axis : axes_) {
    if (axis != nullptr) axis->setVisible(false);
  }
  for (int c = 0; c <= kColTemperature; ++c) {
    if (!normalised_ && graphs_[c]->visible()) {
      axes_[c]->setVisible(true);
      axes_[c]->setLabelColor(traceColor(c));
      axes_[c]->setTickLabelColor(traceColor(c));
    }
  }
  percentAxis_->setVisible(normalised_);
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
    // The first trace of an axis sets its range, the others on it widen it.
    const bool first = c == 0 || axes_[c - 1] != axis;
    bool found = false;
    QCPRange range = graphs_[c]->getValueRange(found, QCP::sdBoth, view);
    if (first) axis->setProperty("fitted", false);
    if (!found || !graphs_[c]->visible()) continue;
    if (axis->property("fitted").toBool()) range.expand(axis->range());
    axis->setProperty("fitted", true);
    const double least = kMinimumSpan[c];
    if (c == kColFollowingError && !normalised()) {
      // Around zero and at least four full steps either way (a stepper loses steps in fours), so
      // that the step or two of motion between the two reads does not fill the axis as lost steps.
      const double fourFullSteps = std::max(least / 2, StepsPerRevolution(source_) / 50.0);
      range.expand(QCPRange(-fourFullSteps, fourFullSteps));
    } else if (range.size() < least) {
      const double centre = range.center();
      range = QCPRange(centre - least / 2, centre + least / 2);
    }
    // A margin so the trace does not run along the frame; in the normalised view 5 % of the range
    // on each side, matching the percent axis's -5..105.
    const double margin = range.size() * 0.05;
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
  const int pixels = analog_->width();
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
  cursor_->setVisible(!std::isnan(time));
  if (!std::isnan(time)) {
    cursor_->point1->setCoords(time, 0);
    cursor_->point2->setCoords(time, 1);
  }
  layer(QStringLiteral("cursor"))->replot();
}

void TrendPlot::mouseMoveEvent(QMouseEvent* event) {
  QCustomPlot::mouseMoveEvent(event);
  if (event->buttons() != Qt::NoButton) return;
  const double x = event->position().x();
  if (!analog_->rect().united(digital_->rect()).contains(event->position().toPoint())) {
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
