// Port selection and connection of the main window: the start-up scan, opening a port, identifying
// the drive and reacting to the carrier watcher.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/axtune_dlg.h"
#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/connection_state_text.h"
#include "app/drive_status_hooks.h"
#include "app/open_error_text.h"
#include "app/port_memory.h"
#include "controls/message_box.h"
#include "core/drive_identity.h"
#include "link/drive_link.h"
#include "link/port_slots.h"
#include "link/serial_port.h"
#include "link/sleeper.h"
#include "pages/drive_property_page.h"
#include "res/strings.h"

namespace axtune {
namespace {
constexpr int kTextCannotOpenLink = 32781;
constexpr int kTextCheckCable = 32782;
constexpr int kTextNoPortAtAll = 40016;
constexpr int kTextDoctorHint = 40611;
constexpr int kCarrierSettleMs = 3000;
constexpr int kAfterCloseMs = 100;
constexpr int kUnpaintedStartMs = 2000;

// Whether the user put a device on slot n through AXTUNE_COM<n>.
bool NamedByEnvironment(int n) {
  const char* value = std::getenv(("AXTUNE_COM" + std::to_string(n)).c_str());
  return value != nullptr && *value != '\0';
}

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};
}  // namespace

void CAxtuneDlg::ConnectWhenPainted() {
  connectPending_ = true;
  centralWidget()->installEventFilter(this);
  // A window that starts minimised is never painted; it connects all the same.
  QTimer::singleShot(kUnpaintedStartMs, this, [this] {
    if (connectPending_) StartConnecting();
  });
}

void CAxtuneDlg::StartConnecting() {
  connectPending_ = false;
  centralWidget()->removeEventFilter(this);
  QTimer::singleShot(0, this, &CAxtuneDlg::ConnectAtStartup);
}

bool CAxtuneDlg::eventFilter(QObject* watched, QEvent* event) {
  // The window is on the screen and painted before the port scan and the carrier wait block it.
  if (connectPending_ && watched == centralWidget() && event->type() == QEvent::Paint) StartConnecting();
  return QMainWindow::eventFilter(watched, event);
}

void CAxtuneDlg::ConnectAtStartup() {
  SetConnectionState(QString::fromStdString(ScanningText()));
  int port = ScanPorts();
  if (port != 0 && startupPort_ != 0) {
    QAction* wanted = CommandAction(kCommandPortBase + startupPort_);
    if (wanted != nullptr && wanted->isEnabled()) port = startupPort_;
  }
  startupDone_ = true;
  // One box says that no port opened, why, and that the link cannot be used.
  QString cannotOpen;
#ifndef _WIN32
  // The usual causes on Linux (group, ModemManager, brltty, a port held elsewhere) are doctor's.
  cannotOpen += QStringLiteral("\n\n") + QString::fromUtf8(Text(kTextDoctorHint));
#endif
  cannotOpen += QStringLiteral("\n\n") + QString::fromUtf8(Text(kTextCannotOpenLink));
  if (port == 0) {
    // Why each port that exists did not open, as a chosen port's failure says it.
    SetConnectionState(QString::fromStdString(NoPortText(scanFailures_)));
    QString text =
        QString::fromUtf8(Text(40010)) + QStringLiteral("\n\n") + QString::fromUtf8(Text(kTextNoPortAtAll));
    if (!scanFailures_.empty()) text += QStringLiteral("\n\n") + QString::fromStdString(scanFailures_);
    UpdateTitle();
    ShowMessage(this, text + cannotOpen);
  } else {
    OpenPortReporting(port, cannotOpen);
  }
  UpdatePortChecks();
  emit StartupFinished();
}

QString CAxtuneDlg::ConnectionStateText() const {
  return connectionState_->isHidden() ? QString() : connectionState_->text();
}

void CAxtuneDlg::SetConnectionState(const QString& text) {
  if (text.isEmpty()) {
    connectionState_->hide();
    return;
  }
  connectionState_->setText(text);
  connectionState_->show();
  // The scan, the carrier wait and the reads that follow block the window: paint the line now,
  // and with it whatever a closing menu uncovered.
  if (isVisible()) repaint();
}

void CAxtuneDlg::RefreshPortItems() {
  for (int n = kFirstPortSlot; n <= kLastPortSlot; ++n) {
    QAction* action = CommandAction(kCommandPortBase + n);
    if (action == nullptr) continue;
    action->setText(QString::fromStdString(PortItemText(n)));
    // The port the link holds stays choosable; opening it a second time would fail as busy.
    if (n == checkedPort_ && IsLinkOpen()) {
      action->setEnabled(true);
      continue;
    }
    const std::string device = ResolvePortDevice(PortSlotName(n));
    bool opens = false;
    if (device.find("://") != std::string::npos) {
      // A network port: a connection attempt could keep the menu from opening for the length of a
      // network timeout. It stays choosable; opening it says why when it fails.
      opens = true;
    } else if (!device.empty()) {
      // Opened and closed again without a byte on the line.
      std::unique_ptr<SerialPort> probe = createSerialPort(device);
      opens = probe && probe->open(SerialSettings{});
      if (opens) probe->close();
    }
    action->setEnabled(opens);
  }
  SavePortSlotMemory();
}

int CAxtuneDlg::ScanPorts() {
  WaitCursor wait;
  CloseLink();
  SleepMs(kAfterCloseMs);
  PortProbes probes{};
  scanFailures_.clear();
  for (int n = kFirstPortSlot; n <= kLastPortSlot; ++n) {
    if (OpenLink(PortSlotName(n))) {
      probes[n].usable = true;
      probes[n].carrier = IsCarrierDetected();
      CloseLink();
    } else if (LastOpenError() != PortOpenError::NotFound || NamedByEnvironment(n)) {
      // A slot without a device is simply absent; one that exists and refuses, or one the user
      // named in AXTUNE_COMn whose device is not there, is worth a word.
      if (!scanFailures_.empty()) scanFailures_ += "\n";
      scanFailures_ += PortFailureLine(n, LastOpenError(), LastOpenErrorText());
    }
    if (QAction* action = CommandAction(kCommandPortBase + n)) action->setEnabled(probes[n].usable);
  }
  SavePortSlotMemory();
  return ChoosePreferredPort(probes, ReadPortMemory());
}

bool CAxtuneDlg::OpenPort(int n) {
  return OpenPortReporting(n, QString());
}

bool CAxtuneDlg::OpenPortReporting(int n, const QString& addendum) {
  startupDone_ = true;
  StopAdapterWait();
  StopWatcher();
  SetConnectionState(QString::fromStdString(ConnectingText(n)));
  CloseLink();
  SleepMs(kAfterCloseMs);
  const std::string name = PortSlotName(n);
  if (!OpenLink(name)) {
    const PortOpenError error = LastOpenError();
    const std::string osText = LastOpenErrorText();
    SetConnectionState(QString::fromStdString(NoPortText(PortFailureLine(n, error, osText))));
    const QString text =
        QString::fromStdString(OpenPortFailureText(n, ResolvePortDevice(name), error, osText));
    // Without a port there is no drive: pages and status bar must not keep talking to a closed link.
    if (connected_) {
      connected_ = false;
      SetDriveStatusIdentified(driveStatusBar_, false);
      if (driveStatusBar_) driveStatusBar_->hide();
      for (int i = sheet_->GetPageCount() - 1; i >= 1; --i) sheet_->RemovePage(i);
    }
    // The General page must not go on naming a drive behind a closed link: its read fails and
    // clears type and version.
    if (sheet_->isVisible()) drivePage_->OnShowWindow(false);
    UpdateTitle();
    ShowMessage(this, text + addendum);
    return false;
  }
  checkedPort_ = n;
  UpdatePortChecks();
  watcherStopRequest_ = false;
  if (IdentifyDrive()) WritePortMemory(n);
  ShowSheet();
  return true;
}

bool CAxtuneDlg::IdentifyDrive() {
  const int pagesBefore = sheet_->GetPageCount();
  if (watcherStopRequest_) return false;

  if (IsCarrierDetected()) {
    // A drive whose carrier just came on gets time to boot before it is asked anything.
    SetConnectionState(QString::fromStdString(CarrierWaitText(checkedPort_)));
    WaitCursor wait;
    SleepMs(kCarrierSettleMs);
  }
  carrierAtIdentification_ = IsCarrierDetected();
  RecordWords record{};
  // The first read after the carrier came on may meet a drive still starting; only the second counts,
  // and a failed second read leaves the first one's words in place.
  bool answered = false;
  {
    WaitCursor wait;
    if (carrierAtIdentification_) answered = ReadRecord(kIdentificationRecord, record);
    answered = ReadRecord(kIdentificationRecord, record) || answered;
  }
  connected_ = IsSupportedDriveType(record[0]);
  driveType_ = answered ? record[0] : 0;
  // Found by whatever path (the probe, the carrier watcher, a port picked): nothing to wait for.
  if (connected_ && driveProbe_ != nullptr) driveProbe_->stop();
  if (connected_) {
    std::array<int16_t, kRecordWords> words{};
    for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<int16_t>(record[i]);
    const DriveIdentity identity = DecodeIdentification(words);
    driveTypeText_ = identity.typeText;
    driveVersion_ = identity.versionText;
  }
  UpdateTitle();
  SetConnectionState(connected_ ? QString()
                                : QString::fromStdString(NoDriveText(checkedPort_, answered, record[0])));

  SetDriveStatusIdentified(driveStatusBar_, connected_);
  if (driveStatusBar_) driveStatusBar_->setVisible(connected_);

  if (connected_) {
    // The expert mode may have put the debug pages beside the General page before a drive was
    // there: they step aside so that the connection pages come first and are not left out.
    if (pagesBefore > 1 && sheet_->GetPageIndex(connectionPages_[0]) < 0) {
      for (CAxtunePropertyPage* page : debugPages_) sheet_->RemovePage(page);
    }
    if (sheet_->GetPageCount() == 1) {
      for (CAxtunePropertyPage* page : connectionPages_) sheet_->AddPage(page);
      const bool expert = ExpertMode();
      UpdateExpertCommands(expert);
      if (expert) {
        for (CAxtunePropertyPage* page : debugPages_) sheet_->AddPage(page);
        if (statusPanelShow_) statusPanelShow_();
      }
    }
    sheet_->SetActivePage(0);
    if (!carrierAtIdentification_ && !quietCableWarning_)
      ShowMessage(this, QString::fromUtf8(Text(kTextCheckCable)));
  } else {
    for (int i = sheet_->GetPageCount() - 1; i >= 1; --i) sheet_->RemovePage(i);
  }

  // The General page re-reads record 128 for its display and the published record count.
  if (sheet_->isVisible()) drivePage_->OnShowWindow(false);

  watcher_.Start(carrierAtIdentification_);
  return connected_;
}

void CAxtuneDlg::StopWatcher() {
  watcherStopRequest_ = true;
  watcher_.Stop();
}

void CAxtuneDlg::OnCarrierNotification(quint64 generation) {
  if (shutDown_) return;
  // While a message box waits for the user (a page's read failure, say), identifying now would pull
  // pages away under the code that opened the box: handle the news once the box is closed.
  if (QApplication::activeModalWidget() != nullptr) {
    QTimer::singleShot(100, this, [this, generation] { OnCarrierNotification(generation); });
    return;
  }
  // A notification from a watcher that was stopped meanwhile, or from an earlier one, is dropped.
  if (!watcher_.Accept(generation)) return;
  if (IsLinkDeviceGone()) {
    OnAdapterUnplugged();
    return;
  }
  IdentifyDrive();
}

void CAxtuneDlg::UpdatePortChecks() {
  for (int n = kFirstPortSlot; n <= kLastPortSlot; ++n) {
    if (QAction* action = CommandAction(kCommandPortBase + n)) action->setChecked(n == checkedPort_);
  }
}

void CAxtuneDlg::ShowSheet() {
  if (sheet_->isVisible() || sheet_->isVisibleTo(this)) return;
  sheet_->show();
  sheet_->SetActivePage(0);
}

}  // namespace axtune
