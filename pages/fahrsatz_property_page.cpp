#include "pages/fahrsatz_property_page.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <algorithm>
#include <initializer_list>

#include "controls/control_guard.h"
#include "controls/message_box.h"
#include "controls/record_read_text.h"
#include "controls/written_note.h"
#include "link/drive_link.h"
#include "link/object_access.h"
#include "pages/dictionary_binding.h"
#include "pages/motion_commands.h"
#include "pages/motion_page_widgets.h"
#include "pages/profile_flags.h"
#include "pages/profile_pictograms.h"
#include "res/strings.h"

namespace axtune {
namespace {

using motion_page::Field;
using motion_page::Label;
using motion_page::Named;
using motion_page::Tr;

constexpr int kTextOwnVelocity = 32785;
constexpr int kTextNextVelocity = 32786;
constexpr int kTextUnreadableProfile = 47502;
constexpr int kTextNeeds = 51010;
constexpr int kTextNotWith = 51014;
constexpr int kTextNextNumberCaption = 51015;

}  // namespace

CFahrsatzPropertyPage::CFahrsatzPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(kFirstProfileRecord);

  accel_ = Field(this, kIdAccel);
  decel_ = Field(this, kIdDecel);
  icon_ = Named(new QLabel(this), kIdIcon);
  icon_->setPixmap(ProfilePictogram(kIconProfileThenNext).pixmap(32, 32));
  icon_->setFixedSize(32, 32);
  targetVelocity_ = Named(new QComboBox(this), kIdTargetVelocity);
  nextNumber_ = new UpDownControl(kIdNextNumber, kIdNextNumberText, this);
  SetWrittenNoteNames(nextNumber_, Tr(kTextNextNumberCaption), {});
  waitTime_ = Field(this, kIdWaitTime);
  position_ = Field(this, kIdPosition);
  velocity_ = Field(this, kIdVelocity);
  decelTime_ = Field(this, kIdDecelTime);
  accelTime_ = Field(this, kIdAccelTime);
  profileNumber_ = new UpDownControl(kIdProfileNumber, kIdProfileNumberText, this);

  positionLabel_ = Label(this, kTextTargetPosition, kIdPositionLabel);
  absolute_ = Named(new QRadioButton(Tr(47225), this), kIdAbsolute);
  relative_ = Named(new QRadioButton(Tr(47226), this), kIdRelative);
  siUnits_ = Named(new QCheckBox(Tr(47240), this), kIdSiUnits);
  siUnits_->hide();  // kept in the layout of the drive's flags, never offered
  waitActive_ = Named(new QCheckBox(this), kIdWaitActive);
  nextActive_ = Named(new QCheckBox(this), kIdNextActive);
  // The check box and the number beside it sit in one cell, apart from the row's label.
  SetWrittenNoteNames(nextActive_, Tr(47004), {});
  withoutStop_ = Named(new QCheckBox(Tr(47230), this), kIdWithoutStop);
  accelTimeLabel_ = Label(this, 47260, kIdAccelTimeLabel);
  decelTimeLabel_ = Label(this, 47261, kIdDecelTimeLabel);
  accelLabel_ = Label(this, 47262, kIdAccelLabel);
  decelLabel_ = Label(this, 47263, kIdDecelLabel);
  accelTimeResult_ = Named(new QLabel(QStringLiteral("Static"), this), kIdAccelTimeResult);
  decelTimeResult_ = Named(new QLabel(QStringLiteral("Static"), this), kIdDecelTimeResult);
  auto* start = Named(new QPushButton(Tr(47224), this), kIdStart);
  auto* stop = Named(new QPushButton(Tr(47239), this), kIdStop);
  // The units of the rows, for the range each field's tool tip names.
  position_->SetUnit(Tr(47242));
  velocity_->SetUnit(Tr(47241));
  accel_->SetUnit(Tr(47109));
  decel_->SetUnit(Tr(47109));
  waitTime_->SetUnit(Tr(47003));
  // The two radio buttons form one group; the check boxes stand alone.
  auto* group = new QButtonGroup(this);
  group->addButton(absolute_);
  group->addButton(relative_);

  // Rows read left to right: label, value, unit, option.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(16, 16, 16, 16);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(8);
  int row = 0;
  grid->addWidget(Label(this, 47000), row, 0);
  grid->addWidget(profileNumber_, row, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start);
  buttons->addWidget(stop);
  buttons->addSpacing(16);
  buttons->addWidget(icon_);
  buttons->addStretch(1);
  grid->addLayout(buttons, row, 2, 1, 3);
  ++row;
  grid->addWidget(positionLabel_, row, 0);
  grid->addWidget(position_, row, 1);
  grid->addWidget(Label(this, 47242, 1242), row, 2);
  auto* mode = new QHBoxLayout;
  mode->addWidget(absolute_);
  mode->addWidget(relative_);
  mode->addStretch(1);
  grid->addLayout(mode, row, 3, 1, 2);
  ++row;
  grid->addWidget(Label(this, 47001), row, 0);
  grid->addWidget(velocity_, row, 1);
  grid->addWidget(Label(this, 47241, 1241), row, 2);
  grid->addWidget(siUnits_, row, 3);
  ++row;
  // The ramp rows hold both forms, the time and the acceleration; the page shows the latter.
  grid->addWidget(accelTimeLabel_, row, 0);
  grid->addWidget(accelLabel_, row, 0);
  grid->addWidget(accelTime_, row, 1);
  grid->addWidget(accel_, row, 1);
  grid->addWidget(Label(this, 47109, 1109), row, 2);
  grid->addWidget(accelTimeResult_, row, 3);
  ++row;
  grid->addWidget(decelTimeLabel_, row, 0);
  grid->addWidget(decelLabel_, row, 0);
  grid->addWidget(decelTime_, row, 1);
  grid->addWidget(decel_, row, 1);
  grid->addWidget(Label(this, 47109, 1264), row, 2);
  grid->addWidget(decelTimeResult_, row, 3);
  ++row;
  grid->addWidget(Label(this, 47002), row, 0);
  grid->addWidget(waitTime_, row, 1);
  grid->addWidget(Label(this, 47003), row, 2);
  grid->addWidget(waitActive_, row, 3);
  ++row;
  grid->addWidget(Label(this, 47004), row, 0);
  auto* next = new QHBoxLayout;
  next->addWidget(nextActive_);
  next->addWidget(nextNumber_);
  next->addStretch(1);
  grid->addLayout(next, row, 1);
  ++row;
  grid->addWidget(withoutStop_, row, 1, 1, 3);
  ++row;
  grid->addWidget(Label(this, 47005), row, 0);
  grid->addWidget(targetVelocity_, row, 1, 1, 3, Qt::AlignLeft);
  ++row;
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(4, 1);
  grid->setColumnMinimumWidth(1, 110);
  profileNumber_->setFixedWidth(110);
  nextNumber_->setFixedWidth(80);
  targetVelocity_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  accelTimeLabel_->hide();
  decelTimeLabel_->hide();
  accelTime_->hide();
  decelTime_->hide();

  // Tab visits the controls in the order they stand, not in the order the page keeps them.
  QWidget* order[] = {profileNumber_, start,       stop,        position_,    absolute_,
                      relative_,      velocity_,   accel_,      decel_,       waitTime_,
                      waitActive_,    nextActive_, nextNumber_, withoutStop_, targetVelocity_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // Handlers.
  connect(profileNumber_, &UpDownControl::StepRequested, this, &CFahrsatzPropertyPage::OnProfileStep);
  connect(nextNumber_, &UpDownControl::StepRequested, this, &CFahrsatzPropertyPage::OnNextProfileStep);
  connect(absolute_, &QRadioButton::clicked, this,
          [this] { SetFlag(kProfileRelative, false, false, absolute_); });
  connect(relative_, &QRadioButton::clicked, this,
          [this] { SetFlag(kProfileRelative, true, false, relative_); });
  connect(nextActive_, &QCheckBox::clicked, this,
          [this](bool on) { SetFlag(kProfileNext, on, true, nextActive_); });
  connect(waitActive_, &QCheckBox::clicked, this,
          [this](bool on) { SetFlag(kProfileWait, on, true, waitActive_); });
  connect(withoutStop_, &QCheckBox::clicked, this,
          [this](bool on) { SetFlag(kProfileWithoutStop, on, true, withoutStop_); });
  connect(siUnits_, &QCheckBox::clicked, this,
          [this](bool on) { SetFlag(kProfileSiUnits, on, false, siUnits_); });
  connect(targetVelocity_, &QComboBox::activated, this,
          [this](int index) { SetFlag(kProfileNextVelocity, index != 0, false, targetVelocity_); });
  connect(start, &QPushButton::clicked, this, &CFahrsatzPropertyPage::OnStart);
  connect(stop, &QPushButton::clicked, this, &CFahrsatzPropertyPage::OnStop);
  // The results beside the ramp times are cleared whenever an input to them changes.
  connect(velocity_, &QLineEdit::textChanged, this, [this] {
    accelTimeResult_->setText(QStringLiteral(" "));
    decelTimeResult_->setText(QStringLiteral(" "));
  });
  connect(accelTime_, &QLineEdit::textChanged, this,
          [this] { accelTimeResult_->setText(QStringLiteral(" ")); });
  connect(decelTime_, &QLineEdit::textChanged, this,
          [this] { decelTimeResult_->setText(QStringLiteral(" ")); });
}

void CFahrsatzPropertyPage::OnInitDialog() {
  if (initialised_) return;
  initialised_ = true;
  profileNumber_->SetRange(0, kLastProfile);
  nextNumber_->SetRange(0, kLastProfile);
  BindToProfile(Profile());
  targetVelocity_->addItem(Tr(kTextOwnVelocity));
  targetVelocity_->addItem(Tr(kTextNextVelocity));
}

std::vector<EditBindStep> CFahrsatzPropertyPage::Bindings(int n) {
  return PageBindSteps(ParamPage::Profiles, n);
}

// The selector goes first, so that every object write after it and Start address profile n.
void CFahrsatzPropertyPage::BindToProfile(int n) {
  WriteObject(kObjectProfile, kSubSelector, 2, n);
  for (const EditBindStep& step : Bindings(n)) ApplyBindStep(*FieldById(step.controlId), step);
}

CAxtuneEdit* CFahrsatzPropertyPage::FieldById(int id) const {
  for (CAxtuneEdit* field : {position_, velocity_, accel_, decel_, waitTime_})
    if (field->ControlId() == id) return field;
  return nullptr;
}

void CFahrsatzPropertyPage::OnShowWindow(bool show) {
  if (show) OnInitDialog();
  if (!ReadRecordOnShow(show)) return;
  accelTime_->hide();
  decelTime_->hide();
  accelTimeLabel_->hide();
  decelTimeLabel_->hide();
  accel_->show();
  decel_->show();
  accelLabel_->show();
  decelLabel_->show();
  profileNumber_->SetPosition(Profile());
  Refresh();
}

void CFahrsatzPropertyPage::Refresh() {
  const RecordImage& image = Image();
  position_->LoadFromRecord(image);
  velocity_->LoadFromRecord(image);
  accel_->LoadFromRecord(image);
  decel_->LoadFromRecord(image);
  waitTime_->LoadFromRecord(image);
  flags_ = static_cast<uint16_t>(image[kWordFlags]);
  nextNumber_->SetPosition(image[kWordNext]);
  (flags_ & kProfileRelative ? relative_ : absolute_)->setChecked(true);
  waitActive_->setChecked(flags_ & kProfileWait);
  nextActive_->setChecked(flags_ & kProfileNext);
  withoutStop_->setChecked(flags_ & kProfileWithoutStop);
  siUnits_->setChecked(flags_ & kProfileSiUnits);
  targetVelocity_->setCurrentIndex(flags_ & kProfileNextVelocity ? 1 : 0);
  SetProfileControlsEnabled(true);
  ApplyEnablingAndIcon();
}

void CFahrsatzPropertyPage::ApplyEnablingAndIcon() {
  const ProfileEnabling enabling = ProfileEnablingFor(flags_);
  withoutStop_->setEnabled(enabling.withoutStop);
  targetVelocity_->setEnabled(enabling.targetVelocity);
  waitActive_->setEnabled(enabling.waiting);
  waitTime_->setEnabled(enabling.waiting);
  nextNumber_->setEnabled(enabling.nextProfile);
  // What a click on one of them while greyed says.
  const QString nextProfile = Tr(47004);
  const QString withoutStop = withoutStop_->text();
  for (QWidget* w : {static_cast<QWidget*>(withoutStop_), static_cast<QWidget*>(nextNumber_)})
    SetDisabledReason(w, Tr(kTextNeeds).arg(ControlCaption(w), nextProfile));
  const bool next = flags_ & kProfileNext;
  SetDisabledReason(targetVelocity_, Tr(kTextNeeds).arg(Tr(47005), next ? withoutStop : nextProfile));
  for (QWidget* w : {static_cast<QWidget*>(waitActive_), static_cast<QWidget*>(waitTime_)}) {
    SetDisabledReason(
        w, next ? Tr(kTextNotWith).arg(Tr(47002), withoutStop) : Tr(kTextNeeds).arg(Tr(47002), nextProfile));
  }
  positionLabel_->setText(Tr(PositionLabelTextId(flags_)));
  iconId_ = ProfileIconId(flags_);
  icon_->setPixmap(ProfilePictogram(iconId_).pixmap(32, 32));
}

void CFahrsatzPropertyPage::SetFlag(uint16_t bit, bool on, bool notify, QWidget* control) {
  const uint16_t flags = on ? (flags_ | bit) : (flags_ & ~bit);
  // The option chosen again (the checked radio button, the list's shown entry) sends nothing.
  if (flags == flags_) return;
  flags_ = flags;
  WriteFlags();
  if (notify) NotifyParameterChanged();
  if (auto* list = qobject_cast<QComboBox*>(control)) {
    ShowWrittenNote(list, list->currentText());
  } else {
    ShowControlWrittenNote(control);
  }
}

void CFahrsatzPropertyPage::WriteFlags() {
  WriteObject(kObjectProfile, kSubFlags, 2, flags_);
  ApplyEnablingAndIcon();
}

void CFahrsatzPropertyPage::OnProfileStep(int position, int step) {
  // A field being typed in loses the focus and so commits to the profile it belongs to, before
  // the selector moves on. It gets the focus back once it shows the new profile; were it given
  // back earlier, a later focus loss would write the old profile's value into the new one.
  QWidget* focused = QApplication::focusWidget();
  const bool moveFocus = focused != nullptr && isAncestorOf(focused) && focused != profileNumber_ &&
                         !profileNumber_->isAncestorOf(focused);
  if (moveFocus) focused->clearFocus();
  const int n = std::clamp(position + step, 0, kLastProfile);
  SetRecordNumber(kFirstProfileRecord + n);
  BindToProfile(n);
  uint16_t words[kRecordWords];
  if (ReadRecord(kFirstProfileRecord + n, words)) {
    RecordImage& image = MutableImage();
    for (int i = 0; i < kRecordWords; ++i) image[i] = static_cast<int16_t>(words[i]);
    Refresh();
    if (moveFocus) focused->setFocus(Qt::OtherFocusReason);
  } else {
    if (moveFocus) profileNumber_->setFocus(Qt::OtherFocusReason);
    ShowProfileUnreadable();
  }
  profileNumber_->SetPosition(n);
}

// Showing the previous profile's values under the new number would be wrong, and so would any
// write from them: the profile's fields say "Invalid" and rest until the profile has been read.
void CFahrsatzPropertyPage::ShowProfileUnreadable() {
  const QString reason = QString::fromStdString(RecordReadFailureText(LinkError.load()));
  for (CAxtuneEdit* edit : {position_, velocity_, accel_, decel_, waitTime_}) edit->setText(Tr(kTextInvalid));
  SetProfileControlsEnabled(false);
  icon_->clear();  // the flags shown would be the previous profile's
  ShowMessage(this, Tr(kTextUnreadableProfile).arg(Profile()).arg(reason));
}

void CFahrsatzPropertyPage::SetProfileControlsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{position_, velocity_, accel_, decel_, waitTime_,
                                                    absolute_, relative_, nextActive_, waitActive_,
                                                    withoutStop_, siUnits_, targetVelocity_, nextNumber_}) {
    w->setEnabled(enabled);
  }
}

void CFahrsatzPropertyPage::OnNextProfileStep(int position, int step) {
  const int next = position + step;
  if (next >= 0 && next <= kLastProfile && next != position) {
    WriteObject(kObjectProfile, kSubNext, 2, next);
    nextNumber_->SetPosition(next);
    ShowControlWrittenNote(nextNumber_);
    return;
  }
  nextNumber_->SetPosition(next);
}

void CFahrsatzPropertyPage::OnStart() {
  if (!SendStartSequence(kModeProfilePosition)) ShowMessage(this, Tr(kTextStartNotReceived));
}

void CFahrsatzPropertyPage::OnStop() {
  if (!SendStopSequence()) ShowMessage(this, Tr(kTextStopNotReceived));
}

}  // namespace axtune
