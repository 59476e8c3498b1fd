#include "app/status_dialog.h"

#include <QColor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/panel_placement.h"
#include "app/shared_icons.h"
#include "core/homing_state.h"
#include "link/object_access.h"
#include "res/expert_text_ids.h"
#include "res/strings.h"

namespace axtune {
namespace {

CStatusDialog*& TheInstance() {
  static CStatusDialog* instance = nullptr;
  return instance;
}

// Control ids of template 163.
enum : int {
  kBarPosition = 1184,
  kTextMotorPosition = 1183,
  kLabelEncoder = 1265,
  kTextEncoderPosition = 1186,
  kTextVoltage = 1190,
  kTextTemperature = 1187,
  kTextCurrent = 1188,
  kTextStepResolution = 1189,
  kTextCurrentReduction = 1192,
  kBarLevel = 1185,
  kTextLevel = 1191,
  kLampUpperLimit = 1120,
  kLampLowerLimit = 1121,
  kLampReferenceSwitch = 1124,
  kLampStopSwitch = 1240,
  kLampReferenced = 1117,
  kLampProfile = 1123,
  kTextProfile = 1149,
  kLampDevice = 1122,
  kTextDevice = 1148,
  kTextMode = 1098,
  kButtonQuickstop = 1248,
  kButtonOperation = 1246,
  kButtonSwitchOn = 1243,
  kButtonFaultReset = 1242,
};

constexpr int kLampSize = 20;
constexpr int kTextUnknownValue = 51050;  // "—"
// Face of a pressed-in controlword button, and its caption while it is also greyed.
const QColor kPressedButton(165, 195, 225);
const QColor kPressedDisabledText(60, 70, 85);
const char* const kLampProperty = "lampIcon";

// The panel's labels follow the window's language: the German words of the panel's template, and
// English ones for the English window (a technician should not meet "Fehler löschen" beside
// "Switch On" there).
struct Words {
  const char* german;
  const char* english;
};

const char* Pick(const Words& words) {
  return CurrentLanguage() == Language::German ? words.german : words.english;
}

constexpr Words kUnknown{"unbekannt", "unknown"};
constexpr Words kNoAnswer{
    "keine R\xC3\xBC"
    "ckmeldung",
    "no response"};

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString HelpText(int id) {
  return QString::fromUtf8(Text(id));
}

}  // namespace

CStatusDialog::CStatusDialog(QWidget* parent) : QDialog(parent) {
  // One temperature on the screen: the panel follows the status bar's dead band.
  memory_.sharedTemperature = &ProcessDriveStatusMemory().lastTemperature;
  setObjectName(QString::number(kDialogId));
  setWindowTitle(QStringLiteral("Status"));
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWhatsThis(HelpText(WindowHelpId(kDialogId)));
  setModal(false);
  BuildControls();
  client_ = DriveStatusPoller::Instance().addClient([this](const DriveStatusPoll& poll) { TakePoll(poll); },
                                                    kPollIntervalMs, true);
  TheInstance() = this;
}

CStatusDialog::~CStatusDialog() {
  DriveStatusPoller::Instance().removeClient(client_);
  if (TheInstance() == this) TheInstance() = nullptr;
}

CStatusDialog* CStatusDialog::Instance() {
  return TheInstance();
}

void CStatusDialog::BuildControls() {
  auto value = [this](int id, const char* initial) {
    auto* label = new QLabel(QString::fromUtf8(initial), this);
    label->setObjectName(QString::number(id));
    label->setWhatsThis(HelpText(ControlHelpId(id)));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
  };
  auto caption = [this](const Words& text, int helpOf) {
    auto* label = new QLabel(QString::fromUtf8(Pick(text)), this);
    label->setWhatsThis(HelpText(ControlHelpId(helpOf)));
    return label;
  };
  auto lamp = [this](int id) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::number(id));
    label->setFixedSize(kLampSize, kLampSize);
    label->setWhatsThis(HelpText(ControlHelpId(id)));
    SetLampOn(label, kLampGrey);
    return label;
  };

  // Values: the position bar over the column of measured values.
  auto* values = new QGridLayout;
  auto* position = new QProgressBar(this);
  position->setObjectName(QString::number(kBarPosition));
  position->setRange(-100, 100);
  position->setValue(0);
  position->setTextVisible(false);
  position->setWhatsThis(HelpText(ControlHelpId(kBarPosition)));
  values->addWidget(position, 0, 0, 1, 2);
  struct Row {
    Words caption;
    int id;
  };
  const Row rows[] = {{{"Motorposition:", "Motor position:"}, kTextMotorPosition},
                      {{nullptr, nullptr}, kTextEncoderPosition},
                      {{"Zwischenkreisspannung:", "DC-link voltage:"}, kTextVoltage},
                      {{"Temperatur der Endstufe:", "Power stage temperature:"}, kTextTemperature},
                      {{"Motorstrom:", "Motor current:"}, kTextCurrent},
                      {{"Schrittaufl\xC3\xB6sung:", "Step resolution:"}, kTextStepResolution},
                      {{"Stromreduzierung nach", "Current reduction after"}, kTextCurrentReduction},
                      {{"Betriebsart:", "Mode of operation:"}, kTextMode}};
  int row = 1;
  for (const Row& r : rows) {
    QLabel* left = nullptr;
    if (r.caption.german != nullptr) {
      left = caption(r.caption, r.id);
    } else {
      // The encoder row appears with the first tick that read the drive.
      left = value(kLabelEncoder, Pick({"Encoderposition:", "Encoder position:"}));
      left->setWhatsThis(HelpText(ControlHelpId(kTextEncoderPosition)));
      left->setVisible(false);
    }
    QLabel* right = value(r.id, Pick(kUnknown));
    if (r.id == kTextEncoderPosition) right->setVisible(false);
    values->addWidget(left, row, 0);
    values->addWidget(right, row, 1);
    ++row;
  }
  values->setColumnStretch(1, 1);
  values->setColumnMinimumWidth(1, fontMetrics().horizontalAdvance(QStringLiteral("-2147483648  ")));

  // The level of record 129 word 3: read every tick, but kept hidden (its meaning is not shown).
  auto* level = new QProgressBar(this);
  level->setObjectName(QString::number(kBarLevel));
  level->setOrientation(Qt::Vertical);
  level->setRange(0, 100);
  level->setVisible(false);
  QLabel* levelText = value(kTextLevel, "");
  levelText->setVisible(false);
  values->addWidget(level, 1, 2, 6, 1);
  values->addWidget(levelText, 7, 2);

  // Lamps of the switches and the referenced state.
  auto* lamps = new QGridLayout;
  const Row lampRows[] = {{{"Endschalter oben", "Upper limit switch"}, kLampUpperLimit},
                          {{"Endschalter unten", "Lower limit switch"}, kLampLowerLimit},
                          {{"Referenzschalter", "Reference switch"}, kLampReferenceSwitch},
                          {{"Stoppschalter", "Stop switch"}, kLampStopSwitch},
                          {{"Referenziert", "Referenced"}, kLampReferenced}};
  row = 0;
  for (const Row& r : lampRows) {
    lamps->addWidget(lamp(r.id), row, 0);
    lamps->addWidget(caption(r.caption, r.id), row, 1);
    ++row;
  }
  lamps->setRowStretch(row, 1);

  auto* top = new QHBoxLayout;
  top->addLayout(values, 3);
  top->addSpacing(12);
  top->addLayout(lamps, 2);

  // Profile and device state, each a lamp and a text.
  auto* states = new QGridLayout;
  states->addWidget(lamp(kLampProfile), 0, 0);
  states->addWidget(value(kTextProfile, Pick(kNoAnswer)), 0, 1);
  states->addWidget(lamp(kLampDevice), 1, 0);
  states->addWidget(value(kTextDevice, Pick(kNoAnswer)), 1, 1);
  Label(kTextProfile)->setWhatsThis(HelpText(ControlHelpId(kLampProfile)));
  Label(kTextDevice)->setWhatsThis(HelpText(ControlHelpId(kLampDevice)));
  states->setColumnStretch(1, 1);

  // The controlword buttons: three push-like check boxes and the fault reset.
  auto* buttons = new QHBoxLayout;
  struct PanelButton {
    Words text;
    int id;
    bool checkable;
    PanelCommand command;
  };
  const PanelButton entries[] = {
      {{"Quickstop", "Quickstop"}, kButtonQuickstop, true, PanelCommand::Quickstop},
      {{"Operation", "Operation"}, kButtonOperation, true, PanelCommand::Operation},
      {{"Switch On", "Switch On"}, kButtonSwitchOn, true, PanelCommand::SwitchOn},
      {{"Fehler l\xC3\xB6schen", "Reset Fault"}, kButtonFaultReset, false, PanelCommand::FaultReset}};
  for (const PanelButton& entry : entries) {
    auto* button = new QPushButton(QString::fromUtf8(Pick(entry.text)), this);
    button->setObjectName(QString::number(entry.id));
    button->setCheckable(entry.checkable);
    button->setAutoDefault(false);
    button->setWhatsThis(HelpText(ControlHelpId(entry.id)));
    if (entry.checkable) {
      // A pressed-in button shows it plainly, not only by a slightly darker shade. Pressed in and
      // greyed (Quickstop before the drive is switched on) its caption stays readable: the
      // default greyed text on the blue tint can hardly be told from it.
      connect(button, &QPushButton::toggled, button, [button](bool pressed) {
        QPalette palette = button->palette();
        const QPalette defaults;
        palette.setColor(QPalette::Button, pressed ? kPressedButton : defaults.color(QPalette::Button));
        palette.setColor(
            QPalette::Disabled, QPalette::ButtonText,
            pressed ? kPressedDisabledText : defaults.color(QPalette::Disabled, QPalette::ButtonText));
        button->setPalette(palette);
      });
    }
    const PanelCommand command = entry.command;
    connect(button, &QPushButton::clicked, this,
            [this, command](bool checked) { OnButton(command, checked); });
    buttons->addWidget(button);
  }

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(6);
  layout->addLayout(states);
  layout->addSpacing(6);
  layout->addLayout(buttons);
}

QLabel* CStatusDialog::Label(int id) const {
  return findChild<QLabel*>(QString::number(id));
}

QPushButton* CStatusDialog::Button(int id) const {
  return findChild<QPushButton*>(QString::number(id));
}

int CStatusDialog::LampOf(const QLabel* lamp) {
  return lamp != nullptr ? lamp->property(kLampProperty).toInt() : 0;
}

void CStatusDialog::SetLampOn(QLabel* lamp, int icon) {
  if (lamp == nullptr || lamp->property(kLampProperty).toInt() == icon) return;
  lamp->setProperty(kLampProperty, icon);
  lamp->setPixmap(SharedIcon(icon).pixmap(kLampSize, kLampSize));
}

void CStatusDialog::SetLamp(int id, int icon) {
  SetLampOn(Label(id), icon);
}

void CStatusDialog::SetText(int id, const std::string& text) {
  if (QLabel* label = Label(id)) label->setText(Utf8(text));
}

void CStatusDialog::ShowOnTop() {
  move(0, 0);
  show();
  raise();
}

void CStatusDialog::ShowBeside(const QWidget* mainWindow) {
  if (mainWindow == nullptr) {
    ShowOnTop();
    return;
  }
  // The frame's size is known once the panel was shown; before that its size hint stands in.
  adjustSize();
  PlaceBeside(mainWindow, isVisible() ? frameGeometry().size() : size());
  show();
  raise();
  besideOf_ = mainWindow;
  placedAt_.start();
}

void CStatusDialog::PlaceBeside(const QWidget* mainWindow, const QSize& panel) {
  QRect menu;
  if (const auto* window = qobject_cast<const QMainWindow*>(mainWindow); window && window->menuBar()) {
    const QWidget* bar = window->menuBar();
    menu = QRect(bar->mapToGlobal(QPoint(0, 0)), bar->size());
  }
  const QScreen* screen = mainWindow->screen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(QPoint(0, 0), panel);
  move(PanelPositionBeside(mainWindow->frameGeometry(), menu, panel, area));
}

void CStatusDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (auto* bar = findChild<QProgressBar*>(QString::number(kBarPosition))) bar->setRange(-100, 100);
  UpdateTimer();
}

void CStatusDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const QScreen* screen = this->screen();
  if (!isVisible() || screen == nullptr) return;
  // Placed by the size it opened with, the panel grows once the drive's texts replace "unbekannt"
  // (the German ones most) and the window manager adds its frame: right after it was placed it is
  // placed again by its real size; later (the user may have moved it) it is only kept on its screen.
  if (besideOf_ != nullptr && placedAt_.isValid() && placedAt_.elapsed() < kPlaceAgainMs) {
    PlaceBeside(besideOf_, frameGeometry().size());
    return;
  }
  const QRect frame = frameGeometry();
  const QPoint kept = PositionKeptOnScreen(frame, screen->availableGeometry());
  if (kept != frame.topLeft()) move(kept);
}

void CStatusDialog::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  UpdateTimer();
}

void CStatusDialog::SetDriveIdentified(bool identified) {
  // A drive identified means the link is ours again (after a firmware update, say): the panel may
  // read it.
  if (identified) pollingArmed_ = true;
  if (identified_ && !identified) {
    // Without a drive the last state read would mislead: the state lamps go back to "no answer".
    for (int id : {kLampProfile, kLampDevice}) SetLamp(id, kLampGrey);
    for (int id : {kTextProfile, kTextDevice}) SetText(id, Pick(kNoAnswer));
  }
  identified_ = identified;
  UpdateTimer();
}

void CStatusDialog::StopPolling() {
  pollingArmed_ = false;
  UpdateTimer();
}

void CStatusDialog::StartPolling() {
  pollingArmed_ = true;
  UpdateTimer();
}

void CStatusDialog::UpdateTimer() {
  DriveStatusPoller::Instance().setClientActive(client_, isVisible() && identified_ && pollingArmed_);
}

bool CStatusDialog::IsPolling() const {
  return DriveStatusPoller::Instance().clientActive(client_) && DriveStatusPoller::Instance().isPolling();
}

bool CStatusDialog::Tick() {
  if (!identified_ || !pollingArmed_) return false;
  return DriveStatusPoller::Instance().pollOnce(client_);
}

bool CStatusDialog::TakePoll(const DriveStatusPoll& poll) {
  const bool read = poll.ok;
  const DriveStatusReading& reading = poll.reading;
  // The mode of operation is the panel's own: only it shows it.
  int32_t mode = 0;
  const bool modeRead = read && ReadObject(0x6061, 0, &mode);
  if (!read) {
    // The blink keeps its pace. A drive that does not answer has no position, current or
    // "Referenced" any more: every value shows as unknown and no button sends, until it answers.
    memory_.blink = !memory_.blink;
    ShowDriveGone();
    return false;
  }
  StatusPanelView view =
      DecodeStatusPanel(reading.record129, reading.record131, reading.statusword, memory_, CurrentLanguage());
  // In the homing mode the profile state does not tell what the drive does; the homing bits do, and
  // the status bar says the same.
  if (modeRead) {
    if (const std::optional<HomingState> homing = HomingStateOf(mode, reading.statusword))
      view.profileText = HomingStateText(*homing, CurrentLanguage());
  }
  ShowStatus(view);
  if (modeRead) SetText(kTextMode, ModeOfOperationText(mode, CurrentLanguage()));
  return true;
}

void CStatusDialog::ShowDriveGone() {
  const std::string unknown = Text(kTextUnknownValue);
  for (int id :
       {kTextDevice, kTextProfile, kTextMotorPosition, kTextEncoderPosition, kTextTemperature, kTextVoltage,
        kTextCurrent, kTextStepResolution, kTextCurrentReduction, kTextLevel, kTextMode})
    SetText(id, unknown);
  for (int id : {kLampDevice, kLampProfile, kLampReferenceSwitch}) SetLamp(id, kLampGrey);
  for (int id : {kLampUpperLimit, kLampLowerLimit, kLampStopSwitch, kLampReferenced})
    SetLamp(id, kLampGreyRing);
  for (int id : {kBarPosition, kBarLevel})
    if (auto* bar = findChild<QProgressBar*>(QString::number(id))) bar->setValue(0);
  for (int id : {kButtonFaultReset, kButtonSwitchOn, kButtonOperation, kButtonQuickstop})
    if (QPushButton* button = Button(id)) button->setEnabled(false);
  driveGone_ = true;
}

void CStatusDialog::ShowStatus(const StatusPanelView& view) {
  // Back from a silence: the buttons whose rule needs the statusword come back with the first one.
  if (driveGone_) {
    driveGone_ = false;
    for (int id : {kButtonSwitchOn, kButtonOperation, kButtonQuickstop})
      if (QPushButton* button = Button(id)) button->setEnabled(true);
  }
  if (view.deviceStateKnown) {
    SetLamp(kLampDevice, view.deviceStateLamp);
    SetText(kTextDevice, view.deviceStateText);
  }
  SetLamp(kLampProfile, view.profileLamp);
  SetText(kTextProfile, view.profileText);

  SetText(kTextMotorPosition, view.motorPositionText);
  if (auto* bar = findChild<QProgressBar*>(QString::number(kBarPosition)))
    bar->setValue(view.motorPositionBar);
  QLabel* encoderLabel = Label(kLabelEncoder);
  if (encoderLabel != nullptr && !encoderLabel->isVisibleTo(this)) {
    encoderLabel->setVisible(true);
    Label(kTextEncoderPosition)->setVisible(true);
  }
  SetText(kTextEncoderPosition, view.encoderPositionText);
  SetText(kTextTemperature, view.temperatureText);
  SetText(kTextVoltage, view.voltageText);
  SetText(kTextCurrent, view.currentText);
  SetText(kTextStepResolution, view.stepResolutionText);
  SetText(kTextCurrentReduction, view.currentReductionText);
  if (auto* bar = findChild<QProgressBar*>(QString::number(kBarLevel)))
    bar->setValue(std::min(view.levelBar, 100));
  SetText(kTextLevel, view.levelText);

  SetLamp(kLampUpperLimit, view.upperLimitLamp);
  SetLamp(kLampLowerLimit, view.lowerLimitLamp);
  SetLamp(kLampReferenceSwitch, view.referenceSwitchLamp);
  SetLamp(kLampStopSwitch, view.stopSwitchLamp);
  SetLamp(kLampReferenced, view.referencedLamp);

  auto apply = [this](int id, const PanelButton& state, bool enabledKnown, bool pressedKnown) {
    QPushButton* button = Button(id);
    if (button == nullptr) return;
    if (enabledKnown) button->setEnabled(state.enabled);
    if (pressedKnown && button->isCheckable()) button->setChecked(state.pressed);
  };
  const bool sw = view.statuswordKnown;
  apply(kButtonFaultReset, view.faultReset, true, false);
  apply(kButtonSwitchOn, view.switchOn, sw, true);
  apply(kButtonOperation, view.operation, sw, true);
  apply(kButtonQuickstop, view.quickstop, true, sw);
}

void CStatusDialog::OnButton(PanelCommand command, bool pressed) {
  // Without a drive there is nobody to tell; the next tick shows what the drive made of it.
  if (!identified_) return;
  WriteObject(0x6040, 0, 2, PanelControlword(command, pressed));
}

}  // namespace axtune
