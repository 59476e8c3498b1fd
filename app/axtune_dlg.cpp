#include "app/axtune_dlg.h"

#include "app/parameter_report_commands.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWhatsThis>

#include "app/about_dlg.h"
#include "app/assistant/assistant_window.h"
#include "app/axtune_property_sheet.h"
#include "app/command_ids.h"
#include "app/connection_state_text.h"
#include "app/default_item_style.h"
#include "app/drive_status_hooks.h"
#include "app/flash_kernel_setting.h"
#include "app/help_manual.h"
#include "app/port_memory.h"
#include "app/shared_icons.h"
#include "app/trend_window.h"
#include "app/unstored_changes.h"
#include "app/window_title.h"
#include "app/written_parameter.h"
#include "controls/bound_value.h"
#include "controls/control_guard.h"
#include "controls/message_box.h"
#include "controls/written_note.h"
#include "core/drive_identity.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "link/port_slot_memory.h"
#include "link/port_slots.h"
#include "link/sleeper.h"
#include "pages/debug_property_page.h"
#include "pages/drive_property_page.h"
#include "pages/fahrsatz_property_page.h"
#include "pages/outputs_property_page.h"
#include "pages/pins_property_page.h"
#include "pages/referenzfahrt_property_page.h"
#include "pages/settings_property_page.h"
#include "res/strings.h"
#include "res/trend_text_ids.h"

namespace axtune {
namespace {
constexpr int kTextNotStored = 40017;
constexpr int kTextStored = 42612;
constexpr int kTextNoDriveToSet = 51012;
// Time for a closing menu to leave the screen and the window below it to repaint.
constexpr int kMenuCloseMs = 50;
constexpr int kTextMenuNetworkPort = 55010;

QString Tr(int id) {
  return QString::fromUtf8(Text(id));
}

// The pages the window constructs but never shows: monitor pins, current, speed and position
// controllers and the controller test.
constexpr int kUnlistedPageIds[] = {107, 110, 112, 113, 147};
}  // namespace

CAxtuneDlg::CAxtuneDlg(QWidget* parent)
    : QMainWindow(parent),
      watcher_([] { return IsCarrierDetected(); },
               [this](uint64_t generation) {
                 // From the watcher thread: only post; the GUI thread decides whether it still counts.
                 QMetaObject::invokeMethod(this, "OnCarrierNotification", Qt::QueuedConnection,
                                           Q_ARG(quint64, static_cast<quint64>(generation)));
               }) {
  setObjectName(QStringLiteral("CAxtuneDlg"));
  setWindowTitle(QStringLiteral("Axtune"));
  setWindowIcon(SharedIcon(128));
  SetFirmwareVersionNumber(-1);
  // A pulled adapter ends the watch as a carrier change does; the window then waits for it.
  watcher_.SetGoneProbe([] { return IsLinkDeviceGone(); });
  // The slots keep the adapters and network ports they were given.
  SetPortSlotMemory(ReadPortSlotMemoryFile(kPortMemoryFile));
  savedSlotMemory_ = PortSlotMemory();

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("102"));
  QPalette palette = central->palette();
  palette.setColor(QPalette::Window, BackgroundColor());
  central->setPalette(palette);
  central->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(8, 8, 8, 8);
  setCentralWidget(central);

  BuildMenu();

  // What the connection is doing, or why there is no drive; hidden while a drive is connected.
  connectionState_ = new QLabel(central);
  connectionState_->setObjectName(QStringLiteral("connectionState"));
  connectionState_->setWordWrap(true);
  connectionState_->setAlignment(Qt::AlignCenter);
  connectionState_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  connectionState_->setStyleSheet(QStringLiteral(
      "QLabel { background: rgba(255, 255, 255, 215); border: 1px solid rgb(40, 100, 99); border-radius: 4px;"
      " padding: 12px; color: rgb(16, 48, 48); }"));
  connectionState_->hide();
  layout->addWidget(connectionState_);

  sheet_ = new CAxtunePropertySheet(central);
  layout->addWidget(sheet_);

  // The status line: one line of height kept whether or not a note shows, so a note never moves
  // the sheet.
  statusNote_ = new QLabel(central);
  statusNote_->setObjectName(QStringLiteral("statusNote"));
  statusNote_->setFixedHeight(statusNote_->fontMetrics().height() + 6);
  statusNote_->setStyleSheet(QStringLiteral("QLabel { color: white; padding: 0 4px; }"));
  layout->addWidget(statusNote_);
  statusNoteTimer_ = new QTimer(this);
  statusNoteTimer_->setSingleShot(true);
  connect(statusNoteTimer_, &QTimer::timeout, statusNote_, &QLabel::clear);
  // The sheet window appears with the first port that opens.
  sheet_->hide();

  drivePage_ = new CDrivePropertyPage(this);
  connectionPages_ = {new CSettingsPropertyPage(this), new CPinsPropertyPage(this),
                      new COutputsPropertyPage(this), new CFahrsatzPropertyPage(this),
                      new CReferenzfahrtPropertyPage(this)};
  debugPages_ = {new CDebugPropertyPage(this), new CDebugPropertyPage(this)};
  for (size_t i = 0; i < std::size(kUnlistedPageIds); ++i) {
    unlistedPages_[i] = new CAxtunePropertyPage(kUnlistedPageIds[i], this);
  }
  for (CAxtunePropertyPage* page : connectionPages_) page->hide();
  for (CAxtunePropertyPage* page : debugPages_) page->hide();
  for (CAxtunePropertyPage* page : unlistedPages_) page->hide();
  sheet_->AddPage(drivePage_);

  driveStatusBar_ = CreateDriveStatusBar(this);
  if (driveStatusBar_) {
    setStatusBar(driveStatusBar_);
    // Shown once a supported drive is identified; until then it would only show empty panes.
    driveStatusBar_->hide();
  }
  FollowHomingState();

  urlOpener_ = [](const QString& url) { return QDesktopServices::openUrl(QUrl(url)); };
  trendWindow_ = new TrendWindow(this);
  SetUpExpertTools();
  // Wide enough for all eight tabs of expert mode in one row, tall enough for the tallest page with
  // the status line below it.
  resize(720, 540);
  // The window keeps the size it has (the user's) when the connection line comes and goes, or a
  // page with more rows is added: the contents share the space, the frame does not jump. A floor
  // keeps the menu, the tabs and the status bar usable.
  QMainWindow::layout()->setSizeConstraint(QLayout::SetNoConstraint);
  setMinimumSize(480, 360);
}

void CAxtuneDlg::ShowStatusNote(const QString& text, int ms) {
  statusNote_->setText(text);
  statusNoteTimer_->start(ms);
}

QString CAxtuneDlg::StatusNote() const {
  return statusNote_->text();
}

CAxtuneDlg::~CAxtuneDlg() {
  Shutdown();
}

void CAxtuneDlg::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("102"));

  QMenu* file = bar->addMenu(Tr(kTextMenuFile));
  AddCommand(file, kCommandLoadParameters, true);
  AddCommand(file, kCommandSaveParameters, true);
  AddCommand(file, kCommandFirmwareUpdate, true);
  AddCommand(file, kCommandFlashKernel, true);
  file->addSeparator();
  AddCommand(file, kCommandCompareParameters, true);
  AddCommand(file, kCommandReport, true);
  // The window has no Drive menu: the assistant stands with the other commands on the drive's
  // parameters.
  auto* assistant = new QAction(Tr(kTextCommissioningAssistantMenu), file);
  assistant->setObjectName(QString::number(kCommandCommissioningAssistant));
  connect(assistant, &QAction::triggered, this, [this] { CommissioningAssistant::Open(*this); });
  file->addAction(assistant);
  actions_[kCommandCommissioningAssistant] = assistant;
  file->addSeparator();
  AddCommand(file, kCommandUser, true);
  // In expert mode: the status panel again, after the user closed it.
  AddCommand(file, kCommandStatusPanel, true)->setVisible(false);

  // A top-level item: greyed until a page reports a change, then the bold default item.
  QAction* store = AddCommand(bar, kCommandStoreParameters, false);
  auto* style = new DefaultItemStyle(store);
  style->setParent(bar);
  bar->setStyle(style);

  QMenu* ports = bar->addMenu(Tr(kTextMenuPorts));
  // A port freed or plugged in since the scan shows up the next time the menu opens.
  connect(ports, &QMenu::aboutToShow, this, &CAxtuneDlg::RefreshPortItems);
  portGroup_ = new QActionGroup(this);
  portGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (const PortSlot& slot : ListPortSlots()) {
    if (slot.number < kFirstPortSlot || slot.number > kLastPortSlot) continue;
    QAction* action = AddCommand(ports, kCommandPortBase + slot.number, true);
    action->setText(QString::fromStdString(PortItemText(slot.number)));
    action->setCheckable(true);
    portGroup_->addAction(action);
    // Opening a port blocks the window (the carrier wait, the reads): the menu closes and the window
    // repaints first, so no half-closed menu stays painted during the wait.
    disconnect(action, &QAction::triggered, this, nullptr);
    const int id = kCommandPortBase + slot.number;
    connect(action, &QAction::triggered, this,
            [this, id] { QTimer::singleShot(kMenuCloseMs, this, [this, id] { OnCommand(id); }); });
  }
  ports->addSeparator();
  auto* network = new QAction(Tr(kTextMenuNetworkPort), ports);
  network->setObjectName(QString::number(kCommandNetworkPort));
  connect(network, &QAction::triggered, this,
          [this] { QTimer::singleShot(kMenuCloseMs, this, [this] { OnCommand(kCommandNetworkPort); }); });
  ports->addAction(network);
  actions_[kCommandNetworkPort] = network;

  QMenu* view = bar->addMenu(Tr(kTextMenuView));
  QAction* trend = AddCommand(view, kCommandTrend, true);
  trend->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  trend->setShortcutContext(Qt::ApplicationShortcut);

  QMenu* help = bar->addMenu(Tr(kTextMenuHelp));
  QAction* topics = AddCommand(help, kCommandHelpTopics, true);
  topics->setShortcut(QKeySequence(Qt::Key_F1));
  topics->setShortcutContext(Qt::ApplicationShortcut);
  AddCommand(help, kCommandHomepage, true);
  AddCommand(help, kCommandFeedback, true);
  AddCommand(help, kCommandAbout, true);

  // Shift+F1: context help (what's this) for the control clicked next.
  auto* contextHelp = new QAction(this);
  contextHelp->setObjectName(QString::number(kCommandContextHelp));
  contextHelp->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
  contextHelp->setShortcutContext(Qt::ApplicationShortcut);
  connect(contextHelp, &QAction::triggered, this, [this] { OnCommand(kCommandContextHelp); });
  addAction(contextHelp);
  actions_[kCommandContextHelp] = contextHelp;

  // Ctrl+Q quits, as everywhere on the desktop.
  auto* quit = new QAction(this);
  quit->setObjectName(QStringLiteral("quit"));
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setShortcutContext(Qt::ApplicationShortcut);
  connect(quit, &QAction::triggered, this, [this] {
    closeByUser_ = true;
    close();
    closeByUser_ = false;
  });
  addAction(quit);
}

QAction* CAxtuneDlg::AddCommand(QWidget* menu, int id, bool enabled) {
  auto* action = new QAction(Tr(CaptionTextId(id)), menu);
  action->setObjectName(QString::number(id));
  action->setEnabled(enabled);
  connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
  menu->addAction(action);
  actions_[id] = action;
  return action;
}

QAction* CAxtuneDlg::CommandAction(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

bool CAxtuneDlg::IsCommandDefault(int id) const {
  QAction* action = CommandAction(id);
  return action != nullptr && action->font().bold();
}

void CAxtuneDlg::OnCommand(int id) {
  if (id >= kCommandPortFirst && id <= kCommandPortLast) {
    OpenPort(id - kCommandPortBase);
    UpdatePortChecks();
    return;
  }
  switch (id) {
    case kCommandStoreParameters:
      OnStoreParameters();
      break;
    case kCommandSaveParameters:
      OnSaveParameters();
      break;
    case kCommandLoadParameters:
      OnLoadParameters();
      break;
    case kCommandFirmwareUpdate:
      OnFirmwareUpdate();
      break;
    case kCommandFlashKernel:
      RunFlashKernelCommand(this);
      break;
    case kCommandCompareParameters:
      RunCompareParametersCommand(*this);
      break;
    case kCommandReport:
      RunReportCommand(*this);
      break;
    case kCommandAbout:
      OnAbout();
      break;
    case kCommandHelpTopics:
      OnHelpTopics();
      break;
    case kCommandContextHelp:
      QWhatsThis::enterWhatsThisMode();
      break;
    case kCommandUser:
      OnUser();
      break;
    case kCommandHomepage:
      OnHomepage();
      break;
    case kCommandFeedback:
      OnFeedback();
      break;
    case kCommandStatusPanel:
      if (statusPanelShow_) statusPanelShow_();
      break;
    case kCommandTrend:
      OnTrend();
      break;
    case kCommandNetworkPort:
      OnNetworkPort();
      break;
    default:
      break;
  }
}

// The item is greyed while nothing changed and shown enabled and bold (the menu's default item)
// after a change; the menu bar repaints with it.
void CAxtuneDlg::SetStoreCommandState(bool modified) {
  modified_ = modified;
  QAction* store = CommandAction(kCommandStoreParameters);
  store->setEnabled(modified);
  QFont font = store->font();
  font.setBold(modified);
  store->setFont(font);
  menuBar()->update();
}

void CAxtuneDlg::NotifyParameterWritten(const ParamEntry& entry) {
  const Language language = CurrentLanguage();
  // Values only an object reaches change no record the pages know; they count as a change all the same.
  const int record = entry.HasRecord() ? entry.record : kNoRecord;
  MarkParameterWritten(record, QString::fromStdString(ParameterLabel(entry, language) + " (" +
                                                      PageTitle(entry.page, language) + ")"));
  // Like a write from a page, it says in the status line what went to the drive, and where.
  ShowStatusNote(WrittenNoteText(QString::fromStdString(PageTitle(entry.page, language)),
                                 QString::fromStdString(ParameterLabel(entry, language)), QString(),
                                 QString()));
}

void CAxtuneDlg::NotifyParameterWritten(int record, const QWidget* control) {
  // The trend marks the write: the value by name, or the record, with the page it came from.
  QWidget* page = sheet_->currentWidget();
  const QString pageTitle = page != nullptr ? sheet_->tabText(sheet_->indexOf(page)).remove('&') : QString();
  const std::string name = WrittenParameterLabel(control);
  MarkParameterWritten(record, name.empty() ? Tr(kTextTrendParameterRecord).arg(record).arg(pageTitle)
                                            : QString::fromStdString(name) + " (" + pageTitle + ")");
}

void CAxtuneDlg::MarkParameterWritten(int record, const QString& what) {
  if (record != kObjectRecord && trendWindow_ != nullptr) trendWindow_->noteParameterWritten(what, record);
  if (modified_ || record == kObjectRecord) return;
  SetStoreCommandState(true);
}

void CAxtuneDlg::FollowHomingState() {
  auto* homing = static_cast<CReferenzfahrtPropertyPage*>(connectionPages_[4]);
  OnHomingStateRead(driveStatusBar_, homing, [homing](std::optional<HomingState> state) {
    homing->ShowHomingState(state ? QString::fromStdString(HomingStateText(*state)) : QString());
  });
  OnDriveAnsweringChanged(driveStatusBar_, this, [this](bool answering) { ShowDriveAnswering(answering); });
}

void CAxtuneDlg::ShowDriveAnswering(bool answering) {
  // The pages' values are the silent drive's last ones: greyed, and a click says why, until it
  // answers again; then the page shown reads what the drive holds now.
  const QString reason = answering ? QString() : Tr(kTextNoDriveToSet);
  for (int i = 0; i < sheet_->count(); ++i) {
    if (auto* page = qobject_cast<CAxtunePropertyPage*>(sheet_->widget(i))) {
      page->setEnabled(answering);
      SetDisabledReason(page, reason);
    }
  }
  if (answering && connected_) RefreshActivePage();
}

void CAxtuneDlg::UpdateTitle() {
  TitleConnection title;
  if (!startupDone_) {
    title.state = TitleConnection::State::Starting;
  } else if (checkedPort_ == 0 || !IsLinkOpen()) {
    title.state = TitleConnection::State::NoPort;
  } else {
    title.state = connected_ ? TitleConnection::State::Connected : TitleConnection::State::NoDrive;
    title.port = checkedPort_;
    title.driveType = driveTypeText_;
    title.driveVersion = driveVersion_;
  }
  if (adapterGone_ && checkedPort_ != 0) {
    title.state = TitleConnection::State::AdapterUnplugged;
    title.port = checkedPort_;
  }
  setWindowTitle(QString::fromStdString(MainWindowTitle(title)));
}

bool CAxtuneDlg::OnStoreParameters() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // Without the drive's whole reply nothing says the parameters were stored: greying the item would
  // tell the user they were, and the changes would be lost at the drive's next power-up. What the
  // reply holds is the drive's own (zeros, the request repeated, ...).
  if (!StoreParameters()) {
    QApplication::restoreOverrideCursor();
    ShowMessage(this, Tr(kTextNotStored));
    return false;
  }
  SetStoreCommandState(false);
  ShowStatusNote(Tr(kTextStored));
  // The greyed item and the note are on the screen during the drive's 2 s, not only after them.
  menuBar()->repaint();
  statusNote_->repaint();
  SleepMs(2000);
  QApplication::restoreOverrideCursor();
  return true;
}

void CAxtuneDlg::OnTrend() {
  trendWindow_->show();
  trendWindow_->raise();
  trendWindow_->activateWindow();
}

void CAxtuneDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CAxtuneDlg::OnHelpTopics() {
  // The help file "Axtune.chm" is the bundled HTML manual, opened at its topic 3.
  OpenManual(QString::fromLatin1(kManualStartTopic));
}

void CAxtuneDlg::closeEvent(QCloseEvent* event) {
  // The user closing the window (its frame, Ctrl+Q) is asked about unstored changes; a close by the
  // program (tests, the session ending) is not.
  if ((event->spontaneous() || closeByUser_) && !shutDown_ &&
      !SettleUnstoredChanges(*this, UnstoredReason::Close)) {
    event->ignore();
    return;
  }
  Shutdown();
  QMainWindow::closeEvent(event);
}

void CAxtuneDlg::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  StopWatcher();
  StopDriveStatusPolling(driveStatusBar_);
  CloseLink();
}

}  // namespace axtune
