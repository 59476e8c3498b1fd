#include "pages/referenzfahrt_property_page.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <vector>

#include "controls/message_box.h"
#include "pages/dictionary_binding.h"
#include "pages/homing_methods.h"
#include "pages/motion_commands.h"
#include "pages/motion_page_widgets.h"
#include "res/strings.h"

namespace axtune {
namespace {

using motion_page::Field;
using motion_page::Label;
using motion_page::Named;
using motion_page::Tr;

}  // namespace

std::span<const EditBindStep> CReferenzfahrtPropertyPage::Bindings() {
  static const std::vector<EditBindStep> steps = PageBindSteps(ParamPage::Homing);
  return steps;
}

CReferenzfahrtPropertyPage::CReferenzfahrtPropertyPage(QWidget* parent)
    : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(kHomingRecord);

  decel_ = Field(this, kIdDecel);
  accel_ = Field(this, kIdAccel);
  current_ = Field(this, kIdCurrent);
  maxDistance_ = Field(this, kIdMaxDistance);
  referencePosition_ = Field(this, kIdReferencePosition);
  decelTime_ = Field(this, kIdDecelTime);
  accelTime_ = Field(this, kIdAccelTime);
  velocity_ = Field(this, kIdVelocity);
  method_ = new CAxtuneComboBox(this, kIdMethod);

  accelTimeLabel_ = Label(this, 48260, kIdAccelTimeLabel);
  decelTimeLabel_ = Label(this, 48261, kIdDecelTimeLabel);
  accelLabel_ = Label(this, 47262, kIdAccelLabel);
  decelLabel_ = Label(this, 47263, kIdDecelLabel);
  maxDistanceLabel_ = Label(this, 48258, kIdMaxDistanceLabel);
  maxDistanceUnit_ = Label(this, 47242, kIdMaxDistanceUnit);
  auto* start = Named(new QPushButton(Tr(47224), this), kIdStart);
  auto* stop = Named(new QPushButton(Tr(47239), this), kIdStop);
  // The units of the rows, for the range each field's tool tip names.
  velocity_->SetUnit(Tr(47241));
  accel_->SetUnit(Tr(47109));
  decel_->SetUnit(Tr(47109));
  referencePosition_->SetUnit(Tr(47242));
  current_->SetUnit(Tr(48004));
  maxDistance_->SetUnit(Tr(47242));
  homingState_ = new QLabel(this);
  homingState_->setObjectName(QStringLiteral("homingState"));
  QFont bold = homingState_->font();
  bold.setBold(true);
  homingState_->setFont(bold);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(16, 16, 16, 16);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(8);
  int row = 0;
  grid->addWidget(Label(this, 48000), row, 0);
  method_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  grid->addWidget(method_, row, 1, 1, 3, Qt::AlignLeft);
  ++row;
  grid->addWidget(Label(this, 47001), row, 0);
  grid->addWidget(velocity_, row, 1);
  grid->addWidget(Label(this, 47241), row, 2);
  ++row;
  // The ramp rows hold both forms, the time and the acceleration; the page shows the latter.
  grid->addWidget(accelTimeLabel_, row, 0);
  grid->addWidget(accelLabel_, row, 0);
  grid->addWidget(accelTime_, row, 1);
  grid->addWidget(accel_, row, 1);
  grid->addWidget(Label(this, 47109, 1109), row, 2);
  ++row;
  grid->addWidget(decelTimeLabel_, row, 0);
  grid->addWidget(decelLabel_, row, 0);
  grid->addWidget(decelTime_, row, 1);
  grid->addWidget(decel_, row, 1);
  grid->addWidget(Label(this, 47109, 1264), row, 2);
  ++row;
  grid->addWidget(Label(this, 48002), row, 0);
  grid->addWidget(referencePosition_, row, 1);
  grid->addWidget(Label(this, 47242), row, 2);
  ++row;
  grid->addWidget(Label(this, 48003), row, 0);
  grid->addWidget(current_, row, 1);
  grid->addWidget(Label(this, 48004), row, 2);
  ++row;
  grid->addWidget(maxDistanceLabel_, row, 0);
  grid->addWidget(maxDistance_, row, 1);
  grid->addWidget(maxDistanceUnit_, row, 2);
  ++row;
  grid->setRowMinimumHeight(row, 8);
  ++row;
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start);
  buttons->addWidget(stop);
  buttons->addSpacing(16);
  buttons->addWidget(homingState_);
  buttons->addStretch(1);
  grid->addLayout(buttons, row, 0, 1, 4);
  ++row;
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(3, 1);
  grid->setColumnMinimumWidth(1, 110);
  accelTimeLabel_->hide();
  decelTimeLabel_->hide();
  accelTime_->hide();
  decelTime_->hide();

  // Tab visits the controls in the order they stand, not in the order the page keeps them.
  QWidget* order[] = {method_,  velocity_,    accel_, decel_, referencePosition_,
                      current_, maxDistance_, start,  stop};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(method_, &QComboBox::activated, this, &CReferenzfahrtPropertyPage::ApplyMaxDistanceVisibility);
  connect(start, &QPushButton::clicked, this, &CReferenzfahrtPropertyPage::OnStart);
  connect(stop, &QPushButton::clicked, this, &CReferenzfahrtPropertyPage::OnStop);
}

void CReferenzfahrtPropertyPage::OnInitDialog() {
  if (initialised_) return;
  initialised_ = true;
  for (int text : ListTextIds(ParamPage::Homing, kIdMethod)) method_->addItem(Tr(text));
  const ParamEntry* method = FindControlEntry(ParamPage::Homing, kIdMethod);
  method_->BindObject(method->index, method->subindex, method->size, ListCodes(ParamPage::Homing, kIdMethod));

  for (const EditBindStep& step : Bindings()) {
    for (CAxtuneEdit* field : {velocity_, accel_, decel_, referencePosition_, current_, maxDistance_})
      if (field->ControlId() == step.controlId) ApplyBindStep(*field, step);
  }
}

void CReferenzfahrtPropertyPage::OnShowWindow(bool show) {
  if (show) OnInitDialog();
  if (!ReadRecordOnShow(show)) return;
  method_->ReadFromDrive();
  velocity_->ReadFromDrive();
  accel_->LoadFromRecord(Image());
  decel_->LoadFromRecord(Image());
  accelTime_->hide();
  decelTime_->hide();
  accelTimeLabel_->hide();
  decelTimeLabel_->hide();
  accel_->show();
  decel_->show();
  accelLabel_->show();
  decelLabel_->show();
  referencePosition_->ReadFromDrive();
  current_->ReadFromDrive();
  maxDistance_->ReadFromDrive();
  ApplyMaxDistanceVisibility();
}

void CReferenzfahrtPropertyPage::ApplyMaxDistanceVisibility() {
  const bool visible = MaxDistanceVisible(method_->currentIndex());
  maxDistance_->setVisible(visible);
  maxDistanceLabel_->setVisible(visible);
  maxDistanceUnit_->setVisible(visible);
  update();
}

void CReferenzfahrtPropertyPage::OnStart() {
  if (!SendStartSequence(kModeHoming)) ShowMessage(this, Tr(kTextStartNotReceived));
}

void CReferenzfahrtPropertyPage::OnStop() {
  if (!SendStopSequence()) ShowMessage(this, Tr(kTextStopNotReceived));
}

void CReferenzfahrtPropertyPage::ShowHomingState(const QString& text) {
  if (homingState_->text() != text) homingState_->setText(text);
}

QString CReferenzfahrtPropertyPage::HomingStateShown() const {
  return homingState_->text();
}

}  // namespace axtune
