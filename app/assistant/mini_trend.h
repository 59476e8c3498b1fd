// The homing step's small trend: the motor position and the following error of the run, drawn from
// the same samples the trend window records, without axes to read off (the trend window has them).
#pragma once

#include <QWidget>

#include "core/trend_sample.h"

namespace axtune {

class MiniTrend : public QWidget {
  Q_OBJECT

 public:
  explicit MiniTrend(QWidget* parent = nullptr);
  TrendRecorder& Recorder() { return recorder_; }
  QSize sizeHint() const override { return {360, 90}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TrendRecorder recorder_;
};

}  // namespace axtune
