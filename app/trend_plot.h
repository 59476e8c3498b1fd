// The trend's plot: the analog traces (positions, velocity, following error, current, voltage,
// temperature) over time in the upper area, each unit on an axis of its own or all normalised to
// their range, the five digital traces (switches, referenced) as lanes below, vertical marks for
// what happened, and a cursor that reads off every trace at one time. Drawn by QCustomPlot; this
// class only feeds it samples and keeps the view following the newest one.
#pragma once

#include <qcustomplot.h>
#include <array>
#include <deque>

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

  // One axis per unit (false) or every trace scaled to its own range on a shared 0..100 % axis.
  void setNormalised(bool normalised);
  bool normalised() const { return normalised_; }

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
    QCPItemStraightLine* line = nullptr;
    QCPItemText* label = nullptr;
  };
  void setUpAxes();
  void applyAxisVisibility();
  // Before each redraw: where each mark's label goes (top or bottom) and how much of its text fits.
  void layOutMarkLabels();
  void followNewest();
  void fitValueAxes();
  void removeMark(Mark& mark);
  const TrendSample* nearest(double time) const;
  double newestTime() const;
  double oldestTime() const;

  QCPAxisRect* analog_ = nullptr;
  QCPAxisRect* digital_ = nullptr;
  std::array<QCPGraph*, kTrendColumnCount> graphs_{};
  std::array<QCPAxis*, kTrendColumnCount> axes_{};  // the value axis of each analog trace
  QCPAxis* percentAxis_ = nullptr;
  QCPItemStraightLine* cursor_ = nullptr;
  const TrendRecorder* source_ = nullptr;
  QPoint pressedAt_;
  std::deque<Mark> marks_;
  double cursorTime_ = kNoValue;
  int dropsSinceSqueeze_ = 0;
  bool normalised_ = false;
  bool following_ = true;
  bool dirty_ = false;
  bool moving_ = false;  // the view moves by itself (not a user's drag)
};

}  // namespace axtune
