// The main window: the menu, the property sheet with the parameter pages, the drive status bar, and
// the connection to the drive (port scan, opening a port, identifying the drive, watching the
// carrier). It also tracks whether parameters changed since they were last stored in the drive.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/carrier_watcher.h"
#include "controls/page_host.h"
#include "core/parameter_dictionary.h"

class QAction;
class QActionGroup;
class QLabel;
class QTimer;
#include <QStatusBar>

namespace axtune {

class CAxtunePropertyPage;
class CAxtunePropertySheet;
class CBenutzerDialog;
class CDrivePropertyPage;
class CStatusDialog;
class TrendWindow;

// The user dialog's name and company, as they go into a parameter file's trailer.
struct UserIdentity {
  QString name;
  QString company;
};

class CAxtuneDlg : public QMainWindow, public PageHost {
  Q_OBJECT

 public:
  explicit CAxtuneDlg(QWidget* parent = nullptr);
  ~CAxtuneDlg() override;

  // Start-up connection: scan the ports, open the preferred one and identify the drive; without a
  // port, say so. The program calls it once the window has been painted.
  void ConnectAtStartup();
  // Runs ConnectAtStartup as soon as the window has been shown and painted once.
  void ConnectWhenPainted();

  // A port that start-up takes instead of the scan's choice when it opens (--simulate: the
  // simulated drive's slot, whatever "Axtune.ini" remembers); 0 for the scan's choice.
  void SetStartupPort(int n) { startupPort_ = n; }
  // The preferred port (1..12), or 0 when no port opens. Enables or greys the port items.
  int ScanPorts();
  // Opens port n and identifies the drive behind it; false (with a message) when it does not open.
  bool OpenPort(int n);
  // Identifies the drive on the open port, adds or removes the connection pages, starts the watcher.
  bool IdentifyDrive();
  // Stops the carrier watcher (without ever waiting on its notification) and blocks identification
  // until the next OpenPort. For shutdown and for whatever takes the port away from the link.
  void StopWatcher();
  // Stops the watcher and the status bar's polling and closes the link. Safe to call twice.
  void Shutdown();

  // PageHost
  bool IsConnected() const override { return connected_; }
  void NotifyParameterChanged(int record) override { NotifyParameterWritten(record, nullptr); }
  void NotifyParameterWritten(int record, const QWidget* control) override;
  // A value written outside the pages (the compare dialog), named by its dictionary entry.
  void NotifyParameterWritten(const ParamEntry& entry);
  // The status line under the sheet: a note that goes by itself after `ms` milliseconds (a newer
  // note replaces it). No box, nothing to confirm.
  void ShowStatusNote(const QString& text) override { ShowStatusNote(text, kStatusNoteMs); }
  void ShowStatusNote(const QString& text, int ms);
  QString StatusNote() const;
  static constexpr int kStatusNoteMs = 5000;

  // Menu commands by id (the menu and the accelerators end up here).
  void OnCommand(int id);
  // True when the drive confirmed the store.
  bool OnStoreParameters();
  QAction* CommandAction(int id) const;
  bool IsCommandDefault(int id) const;

  bool IsModified() const { return modified_; }
  // The drive restarted (a firmware update): it holds its stored values again, nothing is unstored.
  void DriveRestarted() { SetStoreCommandState(false); }
  bool CarrierAtIdentification() const { return carrierAtIdentification_; }
  bool WatcherRunning() const { return watcher_.Running(); }
  int CheckedPort() const { return checkedPort_; }
  // The line in the sheet area that says what the connection is doing or why there is no drive;
  // empty while a drive is connected (the line is hidden then).
  QString ConnectionStateText() const;
  // Looks again which ports can be opened (no drive traffic): enables, greys and relabels the port
  // items. Runs each time the Port Select menu opens.
  void RefreshPortItems();

  // ---- Ports as the technician knows them (axtune_dlg_ports.cpp) ------------------------------
  // Port Select -> Network Port...: the dialog, then the port on its slot opened and identified.
  void OnNetworkPort();
  // The open port's adapter was pulled out: says so, closes the port, keeps the pages as they are,
  // and looks every so often whether the same adapter is back (under any device name).
  void OnAdapterUnplugged();
  bool AdapterUnplugged() const { return adapterGone_; }
  // Every 500 ms; tests go faster.
  void SetAdapterRetryInterval(int ms) { adapterRetryMs_ = ms; }
  // Writes the slots' memory to "Axtune.ini" when it changed (a new adapter got a slot).
  void SavePortSlotMemory();

  CAxtunePropertySheet* Sheet() const { return sheet_; }
  CDrivePropertyPage* DrivePage() const { return drivePage_; }
  // The pages of a connection in the order they are added, and the two debug pages.
  const std::array<CAxtunePropertyPage*, 5>& ConnectionPages() const { return connectionPages_; }
  const std::array<CAxtunePropertyPage*, 2>& DebugPages() const { return debugPages_; }
  QStatusBar* DriveStatus() const { return driveStatusBar_; }

  // The user dialog's expert-mode check (load and check of "name.dat"); none means expert mode off.
  void SetExpertModeCheck(std::function<bool()> check) { expertModeCheck_ = std::move(check); }
  // Shows the status panel (expert mode, after identification).
  void SetStatusPanelShow(std::function<void()> show) { statusPanelShow_ = std::move(show); }
  // The user dialog's name and company as "name.dat" holds them now (for a parameter file).
  UserIdentity CurrentUser() const;
  // Save shows the user dialog when the name is empty: the user command's dialog, unless a test
  // put another in its place.
  void ShowUserDialog();
  void SetUserDialogShow(std::function<void()> show) { userDialogShow_ = std::move(show); }

  // ---- Work that lends the drive link to a worker thread (axtune_dlg_drive_work.cpp) ----------
  // Parameter files (commands 32778 and 32771) and the firmware update (32790).
  void OnSaveParameters();
  void OnLoadParameters();
  void OnFirmwareUpdate();
  // Stops the status bar's polling and the carrier watcher and marks the link as lent, so that no
  // GUI timer touches the drive while a worker thread talks to it.
  void PauseDriveTraffic();
  // Polling and watcher again, for the port that is still open.
  void ResumeDriveTraffic();
  // The firmware update takes the status bar away (its window is destroyed) ...
  void RemoveDriveStatusBar();
  // ... and afterwards the program comes back by itself: a new status bar, the port opened again and
  // the drive identified (its new firmware version on the General page), the watcher started.
  // False when the drive does not answer.
  bool ReconnectAfterFirmwareUpdate();
  // When the drive did not answer after an update: asks the open port briefly every few seconds and
  // identifies the drive as soon as it answers (after a power cycle, say), without a port selection.
  void IdentifyWhenDriveAnswers();
  bool WaitingForDrive() const;
  // Every 3 s; tests go faster.
  void SetDriveProbeInterval(int ms) { driveProbeIntervalMs_ = ms; }
  // The type word of the last identification (0 when nothing answered), for the firmware update's
  // processor.
  int DriveType() const { return driveType_; }
  // The active page reads its record again (after a load).
  void RefreshActivePage();

  // Where the help and the web commands hand their URL (tests replace it).
  void SetUrlOpener(std::function<bool(const QString&)> opener) { urlOpener_ = std::move(opener); }

  // The user dialog (name and company for the parameter file, expert mode) and the status panel.
  CBenutzerDialog* UserDialog() const { return userDialog_; }
  CStatusDialog* StatusDialog() const { return statusDialog_; }
  // The trend window (View -> Trend), made hidden with the main window.
  TrendWindow* Trend() const { return trendWindow_; }
  void OnTrend();
  // User command: the user dialog, then the debug pages follow the expert mode.
  void OnUser();
  // Opens the manual at a topic (F1 and the help command: the start topic; Shift+F1: the page's).
  void OpenManual(const QString& topic);

  static QColor BackgroundColor() { return QColor(79, 164, 163); }

 signals:
  // The start-up connection is done (whether or not a port opened).
  void StartupFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void OnCarrierNotification(quint64 generation);
  void ProbeForDrive();
  void TryAdapterReconnect();

 private:
  // A mark in the trend for a write (not for the object channel's commands) and the store command on.
  void MarkParameterWritten(int record, const QString& what);
  void StartConnecting();
  // OpenPort whose failure message ends with `addendum` (start-up: the link cannot be used), so
  // that one box says it all.
  bool OpenPortReporting(int n, const QString& addendum);
  void BuildMenu();
  void StopAdapterWait();
  QAction* AddCommand(QWidget* menu, int id, bool enabled);
  void SetStoreCommandState(bool modified);
  void UpdatePortChecks();
  void ShowSheet();
  // Shows `text` in the connection line and paints it at once (the work that follows blocks the
  // window); an empty text hides the line.
  void SetConnectionState(const QString& text);
  // The title names the drive and its port, or the port and that no drive answers.
  void UpdateTitle();
  // The status bar's polls feed the Homing page's homing state.
  void FollowHomingState();
  // Greys the pages while the drive does not answer the status polls (false), back when it does.
  void ShowDriveAnswering(bool answering);
  void OnHelpTopics();
  void OnAbout();
  void SetUpExpertTools();
  // The status panel's menu entry is there in expert mode only.
  void UpdateExpertCommands(bool expert);
  void OnHomepage();
  void OnFeedback();
  void OpenAddress(const QString& url);
  bool ExpertMode() const { return expertModeCheck_ ? expertModeCheck_() : false; }

  CAxtunePropertySheet* sheet_ = nullptr;
  bool closeByUser_ = false;  // Ctrl+Q: asked about unstored changes like the frame's close
  CDrivePropertyPage* drivePage_ = nullptr;
  std::array<CAxtunePropertyPage*, 5> connectionPages_{};
  std::array<CAxtunePropertyPage*, 2> debugPages_{};
  std::array<CAxtunePropertyPage*, 5> unlistedPages_{};
  QPointer<QStatusBar> driveStatusBar_;
  QLabel* connectionState_ = nullptr;
  QLabel* statusNote_ = nullptr;
  QTimer* driveProbe_ = nullptr;
  int driveProbeIntervalMs_ = 3000;
  int driveType_ = 0;
  QTimer* statusNoteTimer_ = nullptr;
  // Type and firmware version of the identified drive, for the title.
  std::string driveTypeText_;
  std::string driveVersion_;
  bool startupDone_ = false;
  std::string scanFailures_;  // why ports failed in the last scan, one line each
  std::map<int, QAction*> actions_;
  QActionGroup* portGroup_ = nullptr;

  std::map<int, std::string> savedSlotMemory_;
  QTimer* adapterRetry_ = nullptr;
  int adapterRetryMs_ = 500;
  bool adapterGone_ = false;
  bool quietCableWarning_ = false;
  std::string goneKey_;  // what the slot knew the pulled adapter by

  CarrierWatcher watcher_;
  bool watcherStopRequest_ = false;
  bool connected_ = false;
  bool carrierAtIdentification_ = false;
  bool modified_ = false;
  int checkedPort_ = 0;
  int startupPort_ = 0;
  bool connectPending_ = false;
  bool shutDown_ = false;

  CBenutzerDialog* userDialog_ = nullptr;
  CStatusDialog* statusDialog_ = nullptr;
  TrendWindow* trendWindow_ = nullptr;
  std::function<bool()> expertModeCheck_;
  std::function<void()> statusPanelShow_;
  std::function<bool(const QString&)> urlOpener_;
  std::function<void()> userDialogShow_;
};

}  // namespace axtune
