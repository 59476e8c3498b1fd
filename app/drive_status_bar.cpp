#include "app/drive_status_bar.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QStringList>
#include <QToolTip>
#include <algorithm>

#include "link/object_access.h"
#include "res/strings.h"

namespace axtune {
namespace {

QColor ToColor(const Rgb& rgb) {
  return QColor(rgb.r, rgb.g, rgb.b);
}

// Black text is all but invisible on the dark greens and reds of the state panes, so those get
// white text; light backgrounds keep the default (invalid colour: the system's menu text).
QColor TextColorOn(const Rgb& background) {
  const int luma = (299 * background.r + 587 * background.g + 114 * background.b) / 1000;
  return luma < 128 ? QColor(Qt::white) : QColor();
}

void SetPaneColors(XStatusBar& bar, int pane, const Rgb& background) {
  bar.SetPaneBkColor(pane, ToColor(background));
  bar.SetPaneTextColor(pane, TextColorOn(background));
}

// What each pane shows, for its tooltip (string ids, left to right).
constexpr int kPaneToolTips[kDriveStatusPaneCount] = {40621, 40622, 40623, 40624, 40625, 40626, 40627, 40628};
constexpr int kTextStale = 40620;
constexpr int kTextUnknownValue = 51050;  // "—"

struct PaneSetUp {
  int width;
  uint32_t mode;
};

// Widths in pixels and mode words of the eight panes, left to right.
constexpr PaneSetUp kPanes[kDriveStatusPaneCount] = {
    {80, kPaneKindText | kPaneCenter},                // device state
    {20, kPaneKindText | kPaneCenter},                // voltage
    {160, kPaneKindText | kPaneCenter},               // profile state
    {50, kPaneKindText | kPaneRight | kPaneVCenter},  // position
    {12, kPaneKindBitmap},                            // stop switch
    {13, kPaneKindBitmap},                            // limit switches
    {13, kPaneKindBitmap},                            // reference switch
    {13, kPaneDefaultMode},                           // temperature
};

// Texts each text pane can show, so that its width fits the widest of them in the font in use
// (the pixel widths above were chosen for a small 8-point font; wider fonts would cut the texts).
QStringList SampleTexts(int pane) {
  QStringList texts;
  auto text = [](int id) { return QString::fromUtf8(Text(id)); };
  switch (pane) {
    case kPaneDeviceState:
      for (int id = kStrDeviceErrorBase; id < kStrDeviceErrorBase + 10; ++id) texts << text(id);
      texts << text(kStrNotReadyToSwitchOn) << text(kStrReady) << text(kStrOperation) << "Standby"
            << "Quick stop"
            << "Error -32768";
      break;
    case kPaneVoltage:
      texts << "-888V";  // a signed raw value reaches -115 V and 114 V
      break;
    case kPaneProfile:
      for (int id : {kStrProfileNotStarted, kStrProfileFinished, kStrProfileCanceled, kStrLimitSwitchReached,
                     kStrReferenceInvalid}) {
        texts << text(id);
      }
      for (HomingState state : {HomingState::NotCompleted, HomingState::Running, HomingState::Found,
                                HomingState::Finished, HomingState::Failed})
        texts << QString::fromStdString(HomingStateText(state));
      texts << text(kStrProfileStarted) + " -32768"
            << "Error -32768";
      break;
    case kPanePosition:
      // The whole 32-bit range: the text is right-aligned, so a cut would drop the leading digits
      // and show a wrong position.
      texts << "-2147483648 ";
      break;
    case kPaneTemperature:
      texts << QString::fromUtf8("-888\xC2\xB0");  // a signed raw value reaches -256 and 256 degrees
      break;
    default:
      break;
  }
  return texts;
}

}  // namespace

DriveStatusBar::DriveStatusBar(QWidget* parent) : XStatusBar(parent), memory_(&ProcessDriveStatusMemory()) {
  setObjectName(QString::number(kControlId));
  setUpPanes();
  client_ = DriveStatusPoller::Instance().addClient([this](const DriveStatusPoll& poll) { takePoll(poll); },
                                                    kPollIntervalMs, true);
  updateTimer();
}

DriveStatusBar::~DriveStatusBar() {
  DriveStatusPoller::Instance().removeClient(client_);
}

void DriveStatusBar::setUpPanes() {
  unsigned ids[kDriveStatusPaneCount];
  std::fill(std::begin(ids), std::end(ids), kIndicatorId);
  setIndicators(ids, kDriveStatusPaneCount);
  setMinimumBarHeight(kMinimumHeight);
  for (int pane = 0; pane < kDriveStatusPaneCount; ++pane) {
    SetPaneMode(pane, kPanes[pane].mode);
    int width = kPanes[pane].width;
    const QFontMetrics metrics(paneInfo(pane).font);
    for (const QString& sample : SampleTexts(pane))
      width = std::max(width, metrics.horizontalAdvance(sample));
    setPaneInfo(pane, kIndicatorId, 0, width);
  }
  // The voltage pane sits on the window-border grey.
  SetPaneBkColor(kPaneVoltage, palette().color(QPalette::Mid));
  SetPaneBitmaps(kPaneStopSwitch, kBitmapStopLight, kBitmapStopDark);
  SetPaneBitmaps(kPaneLimitSwitches, kBitmapGood, "");
  SetPaneBitmaps(kPaneReference, kBitmapReferenceOn, kBitmapReferenceOff);
}

void DriveStatusBar::setDriveIdentified(bool identified) {
  identified_ = identified;
  // Another drive, or the same one after a power cycle, may be in another mode.
  mode_.reset();
  modeStatusword_.reset();
  // A newly identified drive has just answered; the old one's silence no longer counts.
  if (identified) lastAnswer_ = QDateTime::currentDateTimeUtc();
  setStale(false);
  updateTimer();
}

void DriveStatusBar::stopPolling() {
  pollingArmed_ = false;
  updateTimer();
}

void DriveStatusBar::startPolling() {
  pollingArmed_ = true;
  updateTimer();
}

void DriveStatusBar::updateTimer() {
  DriveStatusPoller::Instance().setClientActive(client_, pollingArmed_ && identified_);
}

bool DriveStatusBar::isPolling() const {
  return DriveStatusPoller::Instance().clientActive(client_) && DriveStatusPoller::Instance().isPolling();
}

void DriveStatusBar::setMemory(DriveStatusMemory* memory) {
  memory_ = memory != nullptr ? memory : &ProcessDriveStatusMemory();
}

bool DriveStatusBar::pollOnce() {
  if (!identified_) return false;
  return DriveStatusPoller::Instance().pollOnce(client_);
}

void DriveStatusBar::takePoll(const DriveStatusPoll& poll) {
  update();
  if (!poll.ok) {
    // The panes keep the last values, greyed: the first failed tick (at most one read timeout,
    // about a second, after the drive fell silent) marks them.
    setStale(true);
    return;
  }
  // In UTC: the local time zone is looked up (a file read) on every call, ten times a second here;
  // the tooltip converts the one time it shows.
  lastAnswer_ = QDateTime::fromMSecsSinceEpoch(poll.utcMs, Qt::UTC);
  setStale(false);
  const DriveStatusReading& reading = poll.reading;
  // The operation mode is read again when the statusword changes, and now and then besides (a mode
  // change alone need not change the statusword); it says whether the homing bits apply.
  if (reading.statusword &&
      (reading.statusword != modeStatusword_ || ++pollsSinceModeRead_ >= kModeRecheckPolls)) {
    int32_t mode = 0;
    if (ReadObject(0x6061, 0, &mode)) {
      mode_ = mode;
      modeStatusword_ = reading.statusword;
      pollsSinceModeRead_ = 0;
    }
  }
  DriveStatusView view =
      DecodeDriveStatus(reading.record129, reading.record131, reading.statusword, *memory_);
  homing_ = HomingStateOf(mode_, reading.statusword);
  // In the homing mode the profile state does not tell what the drive does; the homing bits do.
  if (homing_) view.profileText = HomingStateText(*homing_);
  showStatus(view);
  emit homingStateRead(homing_);
}

void DriveStatusBar::setStale(bool stale) {
  if (stale == stale_) return;
  stale_ = stale;
  update();
  emit answeringChanged(!stale);
}

QString DriveStatusBar::paneToolTip(int pane) const {
  if (pane < 0 || pane >= kDriveStatusPaneCount) return {};
  QString tip = QString::fromUtf8(Text(kPaneToolTips[pane]));
  if (stale_) {
    const QString since = lastAnswer_.isValid()
                              ? lastAnswer_.toLocalTime().time().toString(QStringLiteral("HH:mm:ss"))
                              : QStringLiteral("?");
    tip += QStringLiteral("\n\n") + QString::fromUtf8(Text(kTextStale)).replace(QStringLiteral("%s"), since);
  }
  return tip;
}

void DriveStatusBar::paintEvent(QPaintEvent* event) {
  XStatusBar::paintEvent(event);
  if (!stale_) return;
  // Washed out towards the window colour, so colours and texts read as "no longer current".
  QPainter painter(this);
  QColor veil = palette().color(QPalette::Window);
  veil.setAlpha(190);
  for (int pane = 0; pane < paneCount(); ++pane) painter.fillRect(paneRect(pane), veil);
  // The values themselves are unknown now: the text panes say so instead of showing the last ones.
  painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
  for (int pane : {kPaneDeviceState, kPaneVoltage, kPaneProfile, kPanePosition, kPaneTemperature}) {
    if (pane >= paneCount()) continue;
    painter.fillRect(paneRect(pane), palette().color(QPalette::Window));
    painter.drawText(paneRect(pane), Qt::AlignCenter, QString::fromUtf8(Text(kTextUnknownValue)));
  }
}

bool DriveStatusBar::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    for (int pane = 0; pane < paneCount(); ++pane) {
      if (paneRect(pane).contains(help->pos())) {
        QToolTip::showText(help->globalPos(), paneToolTip(pane), this, paneRect(pane));
        return true;
      }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return XStatusBar::event(event);
}

void DriveStatusBar::showStatus(const DriveStatusView& view) {
  if (view.deviceStateKnown) {
    SetPaneColors(*this, kPaneDeviceState, view.deviceStateColor);
    setPaneText(kPaneDeviceState, QString::fromStdString(view.deviceStateText));
  }
  if (view.profileColor) SetPaneColors(*this, kPaneProfile, *view.profileColor);
  setPaneText(kPaneProfile, QString::fromStdString(view.profileText));
  setPaneText(kPanePosition, QString::fromStdString(view.positionText));
  setPaneText(kPaneTemperature, QString::fromStdString(view.temperatureText));
  SetPaneColors(*this, kPaneTemperature, view.temperatureColor);
  setPaneText(kPaneVoltage, QString::fromStdString(view.voltageText));
  SetPaneBitmaps(kPaneLimitSwitches, view.limitSwitchBitmap, "");
  EnablePane(kPaneReference, view.referenceSwitchEnabled);
  EnablePane(kPaneStopSwitch, view.stopSwitchEnabled);
}

}  // namespace axtune
