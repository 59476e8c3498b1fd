#include "app/trend_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/trend_plot.h"
#include "controls/message_box.h"
#include "core/save_target.h"
#include "link/drive_link.h"
#include "res/strings.h"
#include "res/trend_text_ids.h"

namespace axtune {
namespace {

// How often the plot is redrawn, whatever the sampling rate: five times a second looks live, and a
// redraw of the whole plot costs more than the polls it shows. A view of many minutes moves by a
// pixel only every few seconds, so it is redrawn when the newest sample has moved a pixel (at most
// every two seconds, and at once for a new mark); the status line keeps its five updates a second.
constexpr int kRefreshMs = 200;
constexpr int kLongestRefreshMs = 2000;

// Record 2 word 14: the encoder's counts per revolution (four per line).
constexpr int kSettingsRecord = 2;
constexpr int kWordEncoderCounts = 14;

TrendWindow*& TheInstance() {
  static TrendWindow* instance = nullptr;
  return instance;
}

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

constexpr int kTextTrendNoAnswerKept = 54201;

QIcon ColorIcon(const QColor& color) {
  QPixmap square(12, 12);
  square.fill(color);
  return QIcon(square);
}

}  // namespace

TrendWindow::TrendWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), start_(std::chrono::steady_clock::now()) {
  setObjectName(QStringLiteral("trendWindow"));
  setWindowTitle(QStringLiteral("Axtune \u2013 %1").arg(Tr(kTextTrendTitle)));
  buildControls();
  client_ = DriveStatusPoller::Instance().addClient([this](const DriveStatusPoll& poll) { takePoll(poll); },
                                                    intervalMs_, false);
  TheInstance() = this;
  placeBesideMainWindow();
}

void TrendWindow::placeBesideMainWindow() {
  // Beside the main window where the screen has room, else over its right part at a size that
  // leaves the main window's left side (its pages' labels and the port menu) in view.
  QWidget* main = parentWidget();
  const QScreen* screen = main != nullptr ? main->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    resize(1000, 680);
    return;
  }
  const QRect area = screen->availableGeometry();
  const QRect beside = main != nullptr ? main->frameGeometry() : QRect(area.topLeft(), QSize(0, 0));
  const int room = area.right() - beside.right();
  const int width = std::clamp(room >= kLeastWidth ? room - 8 : area.width() / 2, kLeastWidth,
                               std::min(kLargestWidth, area.width()));
  const int height = std::min(kLargestHeight, area.height() - 40);
  resize(width, height);
  move(std::max(area.left(), area.right() - width - 8 + 1), area.top() + 8);
}

TrendWindow::~TrendWindow() {
  DriveStatusPoller::Instance().removeClient(client_);
  if (TheInstance() == this) TheInstance() = nullptr;
}

TrendWindow* TrendWindow::Instance() {
  return TheInstance();
}

void TrendWindow::buildControls() {
  plot_ = new TrendPlot(this);
  plot_->setSource(&recorder_);

  auto* pause = new QPushButton(Tr(kTextTrendPause), this);
  pause->setObjectName(QStringLiteral("pause"));
  pause->setCheckable(true);
  connect(pause, &QPushButton::toggled, this, [this](bool on) { setPaused(on); });
  pause_ = pause;
  auto* fit = new QPushButton(Tr(kTextTrendFit), this);
  fit->setObjectName(QStringLiteral("fit"));
  connect(fit, &QPushButton::clicked, plot_, &TrendPlot::fit);

  rate_ = new QComboBox(this);
  rate_->setObjectName(QStringLiteral("rate"));
  for (int ms : kIntervalsMs) rate_->addItem(Tr(kTextTrendPerSecond).arg(1000 / ms), ms);
  connect(rate_, &QComboBox::activated, this,
          [this](int index) { setIntervalMs(rate_->itemData(index).toInt()); });
  auto* rateLabel = new QLabel(Tr(kTextTrendRate), this);
  rateLabel->setBuddy(rate_);

  auto* csv = new QToolButton(this);
  csv->setObjectName(QStringLiteral("exportCsv"));
  csv->setText(Tr(kTextTrendExportCsv));
  csv->setPopupMode(QToolButton::InstantPopup);
  auto* csvMenu = new QMenu(csv);
  csvMenu->addAction(Tr(kTextTrendWhole), this, [this] { chooseCsv(true); });
  csvMenu->addAction(Tr(kTextTrendVisible), this, [this] { chooseCsv(false); });
  csv->setMenu(csvMenu);
  // The picture as the CSV: the whole buffer or the range in view.
  auto* png = new QToolButton(this);
  png->setObjectName(QStringLiteral("exportPng"));
  png->setText(Tr(kTextTrendExportPng));
  png->setPopupMode(QToolButton::InstantPopup);
  auto* pngMenu = new QMenu(png);
  pngMenu->addAction(Tr(kTextTrendWhole), this, [this] { choosePng(true); });
  pngMenu->addAction(Tr(kTextTrendVisible), this, [this] { choosePng(false); });
  png->setMenu(pngMenu);

  auto* tools = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{pause, fit, rateLabel, rate_}) tools->addWidget(w);
  tools->addStretch(1);
  tools->addWidget(csv);
  tools->addWidget(png);

  // One check box per trace, in the trace's colour: shown or hidden.
  auto* traces = new QVBoxLayout;
  auto* tracesTitle = new QLabel(QStringLiteral("<b>%1</b>").arg(Tr(kTextTrendTraces)), this);
  traces->addWidget(tracesTitle);
  for (int c = 0; c < kTrendColumnCount; ++c) {
    const TrendColumnInfo& info = TrendColumnOf(c);
    QString text = Tr(info.nameId);
    if (*info.unit != '\0') text += QStringLiteral(" [%1]").arg(TrendPlot::unitText(c));
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QStringLiteral("trace%1").arg(c));
    box->setIcon(ColorIcon(TrendPlot::traceColor(c)));
    box->setChecked(true);
    connect(box, &QCheckBox::toggled, this, [this, c](bool on) {
      plot_->setTraceVisible(c, on);
      plot_->refresh();
      updateReadout();
    });
    if (c == kColUpperLimit) traces->addSpacing(8);
    traces->addWidget(box);
    traceBoxes_[c] = box;
  }
  traces->addSpacing(8);
  readout_ = new QLabel(this);
  readout_->setObjectName(QStringLiteral("readout"));
  readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  readout_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  traces->addWidget(readout_, 1);
  connect(plot_, &TrendPlot::cursorMoved, this, &TrendWindow::updateReadout);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("trendStatus"));

  auto* middle = new QHBoxLayout;
  middle->addWidget(plot_, 1);
  middle->addLayout(traces);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(tools);
  layout->addLayout(middle, 1);
  layout->addWidget(status_);
  updateStatusLine();
}

double TrendWindow::secondsNow() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void TrendWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (recorder_.samples().empty()) {
    // The first opening starts the time axis, so the plot does not begin with the minutes before
    // it (marks of writes from then had nothing to go with).
    start_ = std::chrono::steady_clock::now();
    recorder_.clear();
    plot_->reload();
  }
  // The time the window was closed is a break in the record, not a line from before to now.
  addBreak();
  if (!encoderKnown_) readEncoderResolution();
  updateClient();
}

void TrendWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  updateClient();
}

void TrendWindow::setDriveIdentified(bool identified) {
  if (!identified && identified_ && !recorder_.samples().empty() && recorder_.samples().back().valid) {
    // The drive went away between two polls (a port that reports its carrier tells at once): a
    // gap and its mark, as a poll that found no answer leaves.
    size_t added = 0;
    const TrendSample& gap =
        recorder_.addPoll(nullptr, nullptr, secondsNow(), QDateTime::currentMSecsSinceEpoch(), 0, &added);
    if (!paused_) {
      plotNewest(gap, added);
      plot_->refresh();
    }
  }
  if (identified) {
    addBreak();  // the drive found again, perhaps after an update: no line from before
    pollingArmed_ = true;
  }
  identified_ = identified;
  // Another drive may have another encoder: read it again before the next sample needs it.
  encoderKnown_ = false;
  if (identified && isVisible()) readEncoderResolution();
  updateClient();
}

void TrendWindow::stopPolling() {
  pollingArmed_ = false;
  updateClient();
}

void TrendWindow::addBreak() {
  // In the history and in the plot, which gets its samples only while polls come. The gap starts
  // right after the last sample: a switch lane, drawn as steps, would otherwise hold its last state
  // across the whole silence up to the break.
  if (recorder_.samples().empty() || !recorder_.samples().back().valid) return;
  const TrendSample& last = recorder_.samples().back();
  constexpr double kGapAfterSeconds = 0.001;
  recorder_.addBreak(last.time + kGapAfterSeconds, last.utcMs + 1);
  if (!paused_) plot_->addSample(recorder_.samples().back());
}

void TrendWindow::startPolling() {
  // The time the line belonged to something else (a firmware update, a load) is a break as well.
  addBreak();
  pollingArmed_ = true;
  updateClient();
}

bool TrendWindow::isPolling() const {
  return DriveStatusPoller::Instance().clientActive(client_) && DriveStatusPoller::Instance().isPolling();
}

void TrendWindow::updateClient() {
  DriveStatusPoller::Instance().setClientActive(client_, isVisible() && identified_ && pollingArmed_);
  updateStatusLine();
}

void TrendWindow::readEncoderResolution() {
  if (!identified_ || !pollingArmed_) return;
  RecordWords settings{};
  // One read when the trend starts or the drive changes, not with every sample.
  if (ReadRecord(kSettingsRecord, settings)) {
    recorder_.setEncoderCounts(settings[kWordEncoderCounts]);
    encoderKnown_ = true;
  }
}

void TrendWindow::setIntervalMs(int intervalMs) {
  intervalMs_ = intervalMs;
  const int index = rate_->findData(intervalMs);
  if (index >= 0) rate_->setCurrentIndex(index);
  // The bar and the panel share the faster polls: the poller runs at the shortest interval asked.
  DriveStatusPoller::Instance().setClientInterval(client_, intervalMs);
  updateStatusLine();
}

void TrendWindow::setPaused(bool paused) {
  if (paused_ == paused) return;
  paused_ = paused;
  pause_->setChecked(paused);
  pause_->setText(Tr(paused ? kTextTrendResume : kTextTrendPause));
  // Samples go on into the history while the view stands still; resuming shows what came meanwhile.
  if (!paused) {
    plot_->reload();
    plot_->refresh();
  }
  updateStatusLine();
}

void TrendWindow::takePoll(const DriveStatusPoll& poll) {
  const double time = std::chrono::duration<double>(poll.arrived - start_).count();
  size_t added = 0;
  const double oldestBefore = recorder_.samples().empty() ? time : recorder_.samples().front().time;
  const TrendSample& sample = poll.ok ? recorder_.addPoll(&poll.reading.record129, &poll.reading.record131,
                                                          time, poll.utcMs, poll.encoderLagSeconds, &added)
                                      : recorder_.addPoll(nullptr, nullptr, time, poll.utcMs, 0, &added);
  // While the drive does not answer, the readout's values are no live ones: greyed until it does.
  if (readout_->isEnabled() != poll.ok) readout_->setEnabled(poll.ok);
  // The count in the status line goes on while the view is paused: the history still fills.
  if (poll.arrived - lastStatusLine_ >= std::chrono::milliseconds(kRefreshMs)) {
    lastStatusLine_ = poll.arrived;
    updateStatusLine();
  }
  if (paused_) return;
  plotNewest(sample, added);
  const double oldest = recorder_.samples().front().time;
  if (oldest > oldestBefore) plot_->dropBefore(oldest);
  const int pixelMs = static_cast<int>(plot_->secondsPerPixel() * 1000);
  const auto redrawAfter = std::chrono::milliseconds(std::clamp(pixelMs, kRefreshMs, kLongestRefreshMs));
  if (added > 0 || poll.arrived - lastRefresh_ >= redrawAfter) {
    lastRefresh_ = poll.arrived;
    plot_->refresh();
  }
}

void TrendWindow::plotNewest(const TrendSample& sample, size_t newEvents) {
  plot_->addSample(sample);
  const auto& events = recorder_.events();
  for (size_t i = events.size() - newEvents; i < events.size(); ++i) plot_->addEvent(events[i]);
}

void TrendWindow::noteParameterWritten(const QString& what, int record) {
  TrendEvent event{secondsNow(), TrendEventKind::ParameterWritten, record, 0, what.toStdString()};
  recorder_.addEvent(event);
  if (!paused_) plot_->addEvent(event);
  // A new encoder resolution changes how encoder positions convert from now on.
  if (record == kSettingsRecord) readEncoderResolution();
}

void TrendWindow::updateStatusLine() {
  QString text;
  if (!identified_ && !recorder_.samples().empty()) {
    // The cable pulled, the drive switched off: what was recorded stays, and says so.
    text = Tr(kTextTrendNoAnswerKept).arg(recorder_.samples().size());
  } else if (!identified_) {
    text = Tr(kTextTrendNoDrive);
  } else {
    const double minutes = TrendRecorder::kDefaultKeepSeconds / 60;
    text = Tr(kTextTrendSamples).arg(recorder_.samples().size()).arg(minutes);
    if (paused_) text += QStringLiteral(" \u2013 ") + Tr(kTextTrendPaused);
  }
  if (status_->text() != text) status_->setText(text);
}

void TrendWindow::updateReadout() {
  const double time = plot_->cursorTime();
  readout_->setText(std::isnan(time) ? QString() : plot_->readout(time));
}

void TrendWindow::chooseCsv(bool wholeBuffer) {
  QString path = QFileDialog::getSaveFileName(this, Tr(kTextTrendExportCsv), QStringLiteral("trend.csv"),
                                              Tr(kTextTrendCsvFilter));
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) path += QStringLiteral(".csv");
  QString error;
  if (!exportCsv(path, wholeBuffer, &error)) ShowMessage(this, Tr(kTextTrendNotWritten).arg(path, error));
}

void TrendWindow::choosePng(bool wholeBuffer) {
  QString path = QFileDialog::getSaveFileName(this, Tr(kTextTrendExportPng), QStringLiteral("trend.png"),
                                              Tr(kTextTrendPngFilter));
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) path += QStringLiteral(".png");
  QString error;
  if (!exportPng(path, wholeBuffer, &error)) ShowMessage(this, Tr(kTextTrendNotWritten).arg(path, error));
}

void TrendWindow::fillHistory(double seconds, int intervalMs) {
  // A drive moving back and forth, its current following the motion, slowly warming up.
  const double step = intervalMs / 1000.0;
  const double now = secondsNow();
  const int64_t utc = QDateTime::currentMSecsSinceEpoch();
  for (double t = -seconds; t < 0; t += step) {
    RecordWords r129{}, r131{};
    const auto position = static_cast<int32_t>(std::lround(32000 * std::sin(t / 7)));
    r129[4] = static_cast<uint16_t>(position);
    r129[5] = static_cast<uint16_t>(static_cast<uint32_t>(position) >> 16);
    r129[1] = static_cast<uint16_t>(128 * (35 + 5 * std::sin(t / 600)));
    r129[2] = 13800;
    r129[8] = 0x0600;
    r129[10] = 2;
    r129[14] = 5;
    r131[2] = static_cast<uint16_t>(1500 + 800 * std::abs(std::cos(t / 7)));
    r131[3] = 3200;
    recorder_.addPoll(&r129, &r131, now + t, utc + static_cast<int64_t>(t * 1000));
  }
  plot_->reload();
  plot_->fit();
}

}  // namespace axtune
