// The trend's plot: each analog trace (positions, velocity, following error, current, voltage,
// temperature) on a lane of its own with its own axis, so that flat traces are told apart at a
// glance; the marks of what happened as small flags with their labels on a lane of their own (never
// over a trace or each other); the five digital traces (switches, referenced) as lanes below; and a
// cursor that reads off every trace at one time. Drawn by QCustomPlot; this class only feeds it
// samples and keeps the view following the newest one.
#pragma once

#include <qcustomplot.h>
#include <array>
#include <deque>
#include <vector>

#include "core/trend_sample.h"

namespace axtune {

class TrendPlot : public QCustomPlot {
  Q_OBJECT

 public:
  explicit TrendPlot(QWidget* parent = nullptr);

  // The history the readout looks values up in (the window's recorder).
  void setSource(const TrendRecorder* recorder) { source_ = recorder; }

  // New samples and marks (in time order); shown at the next refresh.
  void addSample(const TrendSample& sample);
  void addEvent(const TrendEvent& event);
  // Everything again from the source (after a pause or a clear).
  void reload();
  // Drops what is older than `oldest` seconds (the recorder's bounded history).
  void dropBefore(double oldest);

  void setTraceVisible(int column, bool visible);
  bool traceVisible(int column) const;
  static QColor traceColor(int column);
  // A trace's unit as the pages write it in the user's language ("Schritte/s"); the CSV keeps the
  // English one.
  static QString unitText(int column);

  // The analog lanes (one per unit; the two positions share one), the marks' lane, the digital lanes.
  static constexpr int kAnalogLanes = 6;
  static constexpr int kMarkRows = 3;  // rows of labels in the marks' lane
  static QFont markFont(const QFont& base);
  int visibleLaneCount() const;
  // The lane a trace is drawn in (tests); null for a hidden one.
  QCPAxisRect* laneOf(int column) const;
  QCPAxisRect* marksLane() const { return marksLane_; }
  // The labels of the marks as laid out for the last redraw: their rectangles in pixels (hidden
  // labels left out), for tests.
  std::vector<QRectF> markLabelRects() const;

  // The whole history in view, every axis fitted; the view then follows the newest sample again.
  void fit();
  // True while the right edge of the view stays on the newest sample.
  bool following() const { return following_; }
  // The time span in view (seconds).
  QCPRange timeRange() const;
  void setTimeRange(double lower, double upper);

  // Redraws when something changed since the last call.
  void refresh();
  // The time one pixel of the plot stands for (seconds); 0 before the plot has a size.
  double secondsPerPixel() const;

  // The cursor: a vertical line at `time` and the values of every trace there.
  void setCursorTime(double time);
  double cursorTime() const { return cursorTime_; }
  // The text shown for a point in time: the time, then one line per visible trace with its value
  // and unit (the nearest sample; nothing in a gap), and the marks within `markSlack` seconds.
  QString readout(double time, double markSlack = 0) const;

 signals:
  // The user put the cursor at `time` (a click in the plot).
  void cursorMoved(double time);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  struct Mark {
    TrendEvent event;
    QCPItemLine* flag = nullptr;
    QCPItemText* label = nullptr;
  };
  void setUpAxes();
  QCPAxisRect* addLane(QCPAxis** timeAxis, QCPAxis** valueAxis);
  // Every lane, shown or not, top to bottom.
  std::vector<QCPAxisRect*> allLanes() const;
  // Puts the lanes of the visible traces into the layout, top to bottom.
  void arrangeLanes();
  // Before each redraw: which row of the marks' lane each label takes, left to right, so that no two
  // overlap; a label that finds no room is hidden (its mark's readout names it).
  void layOutMarkLabels();
  void followNewest();
  void fitValueAxes();
  void removeMark(Mark& mark);
  const TrendSample* nearest(double time) const;
  double newestTime() const;
  double oldestTime() const;

  std::array<QCPAxisRect*, kAnalogLanes> lanes_{};
  std::array<QCPItemText*, kAnalogLanes> laneNames_{};
  QCPAxisRect* marksLane_ = nullptr;
  QCPAxis* marksTime_ = nullptr;
  QCPAxis* marksRows_ = nullptr;
  QCPAxisRect* digital_ = nullptr;
  std::vector<QCPAxis*> timeAxes_;  // the time axis of every lane; xAxis leads them
  std::array<QCPGraph*, kTrendColumnCount> graphs_{};
  std::array<QCPAxis*, kTrendColumnCount> axes_{};  // the value axis of each analog trace
  std::vector<QCPItemStraightLine*> cursors_;       // one line per lane
  const TrendRecorder* source_ = nullptr;
  QPoint pressedAt_;
  std::deque<Mark> marks_;
  double cursorTime_ = kNoValue;
  int dropsSinceSqueeze_ = 0;
  bool following_ = true;
  bool dirty_ = false;
  bool moving_ = false;  // the view moves by itself (not a user's drag)
};

}  // namespace axtune
