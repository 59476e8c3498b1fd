// The trend window: the drive's live status plotted against time (positions, velocity, following
// error, current, voltage, temperature, switches) with marks for what happened, a cursor, pause,
// zoom, fit and export to CSV and PNG. It takes its samples from the shared status poller, at the
// status bar's 10 per second or, while it is open, at a faster rate that the bar and the panel then
// share. One process-wide window, made by the main window and shown from the View menu.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <chrono>

#include "app/drive_status_poller.h"
#include "core/trend_sample.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace axtune {

class TrendPlot;

class TrendWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDefaultIntervalMs = 100;
  // The poll intervals offered: 10 and 20 per second, and about the most the line carries at
  // 38400 baud with the two records back to back.
  static constexpr std::array<int, 3> kIntervalsMs = {100, 50, 25};
  // The default size: beside the main window where the screen has room.
  static constexpr int kLeastWidth = 640;
  static constexpr int kLargestWidth = 1200;
  static constexpr int kLargestHeight = 760;

  explicit TrendWindow(QWidget* parent = nullptr);
  ~TrendWindow() override;

  // The process's trend window (null before the main window made it or after it is gone).
  static TrendWindow* Instance();

  // As the status bar: samples are taken only while a supported drive is identified and nothing
  // else owns the port. An identification also reads the encoder resolution again.
  void setDriveIdentified(bool identified);
  void stopPolling();
  void startPolling();
  // True while the window takes polls (shown, identified, not stopped).
  bool isPolling() const;

  void setIntervalMs(int intervalMs);
  int intervalMs() const { return intervalMs_; }
  void setPaused(bool paused);
  bool paused() const { return paused_; }

  // One poll of the shared poller.
  void takePoll(const DriveStatusPoll& poll);
  // A parameter the user wrote to the drive, as a mark ("record 17 (Profiles)").
  void noteParameterWritten(const QString& what, int record);

  // Writes the CSV of the whole history or of the time range in view; the PNG of the plot.
  bool exportCsv(const QString& path, bool wholeBuffer, QString* error);
  // A picture of the whole history or of the range in view, with a title (drive, port, date and the
  // time it covers) and a legend of the traces shown.
  bool exportPng(const QString& path, bool wholeBuffer, QString* error);
  QImage pngImage(bool wholeBuffer);

  // Fills the history with `seconds` of made-up motion at `intervalMs` (the benchmark's 30 minutes
  // of history without waiting for them).
  void fillHistory(double seconds, int intervalMs);

  const TrendRecorder& recorder() const { return recorder_; }
  TrendPlot* plot() const { return plot_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // A gap from the last sample to now (the window was closed, or the polls were stopped).
  void addBreak();
  // The sample the recorder just took, and the `newEvents` marks it caused, into the plot.
  void plotNewest(const TrendSample& sample, size_t newEvents);
  void buildControls();
  void updateClient();
  void readEncoderResolution();
  void updateStatusLine();
  void updateReadout();
  void chooseCsv(bool wholeBuffer);
  void choosePng(bool wholeBuffer);
  void placeBesideMainWindow();
  // The drive and port as the main window's title names them ("QMX10-BA 4.1.7 on COM1").
  QString driveText() const;
  double secondsNow() const;

  TrendPlot* plot_ = nullptr;
  TrendRecorder recorder_;
  std::array<QCheckBox*, kTrendColumnCount> traceBoxes_{};
  QComboBox* rate_ = nullptr;
  QPushButton* pause_ = nullptr;
  QLabel* readout_ = nullptr;
  QLabel* status_ = nullptr;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastRefresh_{};
  std::chrono::steady_clock::time_point lastStatusLine_{};
  int client_ = 0;
  int intervalMs_ = kDefaultIntervalMs;
  bool identified_ = false;
  bool pollingArmed_ = true;
  bool paused_ = false;
  bool encoderKnown_ = false;
};

}  // namespace axtune
