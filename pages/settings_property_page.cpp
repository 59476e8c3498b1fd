#include "pages/settings_property_page.h"

#include <QGridLayout>
#include <QGroupBox>

#include "controls/write_failure.h"
#include "controls/written_note.h"
#include "core/drive_identity.h"
#include "link/drive_link.h"
#include "pages/dictionary_binding.h"
#include "res/strings.h"

namespace axtune {
namespace {

// Labels are string 44000 + (id - 1000), units 44500 + (id - 1000).
QString LabelText(int id) {
  return QString::fromUtf8(Text(44000 + id - 1000));
}
QString UnitText(int id) {
  return QString::fromUtf8(Text(44500 + id - 1000));
}

}  // namespace

std::span<const EditBindStep> CSettingsPropertyPage::Bindings() {
  static const std::vector<EditBindStep> steps = PageBindSteps(ParamPage::Settings);
  return steps;
}

CSettingsPropertyPage::CSettingsPropertyPage(QWidget* parent) : CAxtunePropertyPage(kDialogId, parent) {
  SetRecordNumber(kRecord);
  // Created in the order they stand on the page, which is the order Tab visits them.
  for (int id : {kIdMotorCurrent, kIdIdleDelay, kIdIdleLevel, kIdStepResolution, kIdEmergencyDeceleration,
                 kIdStartStopVelocity, kIdEncoderLines}) {
    auto* field = new CAxtuneEdit(this, id);
    field->setAlignment(Qt::AlignRight);
    field->setFixedWidth(96);
    fields_[id] = field;
  }
  for (int id : {kIdInvertRotation, kIdSmoothing, kIdInvertEnable}) {
    auto* check = new QCheckBox(LabelText(id), this);
    check->setObjectName(QString::number(id));
    connect(check, &QCheckBox::clicked, this, [this, id](bool checked) { OnCheckClicked(id, checked); });
    checks_[id] = check;
  }
  BuildLayout();

  for (const EditBindStep& step : Bindings()) ApplyBindStep(*fields_.at(step.controlId), step);
  for (auto& [id, field] : fields_)
    field->SetUnit(id == kIdEncoderLines ? LabelText(kIdEncoderUnit) : UnitText(id));
  // The idle row holds two values, and the labels beside each ("ms to") name neither alone: the
  // note after a write takes each field's own name and unit from the dictionary.
  for (int id : {kIdIdleDelay, kIdIdleLevel}) {
    if (const ParamEntry* entry = FindControlEntry(ParamPage::Settings, id)) {
      SetWrittenNoteNames(fields_.at(id), QString::fromStdString(ParameterLabel(*entry, CurrentLanguage())),
                          QString::fromStdString(ParameterUnit(*entry, CurrentLanguage())));
    }
  }

  // Created invisible: the enable inversion is never offered, the encoder row only for newer firmware.
  checks_.at(kIdInvertEnable)->setVisible(false);
  for (QWidget* w : std::initializer_list<QWidget*>{encoderLabel_, fields_.at(kIdEncoderLines), encoderUnit_})
    w->setVisible(false);
}

void CSettingsPropertyPage::BuildLayout() {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(24, 20, 24, 20);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(8);
  auto label = [this](const QString& text) { return new QLabel(text, this); };

  // One grid for the whole page so the fields of every row line up; the group box only frames the
  // two rows. It is a sibling created after their fields, which would put it on top of them and
  // take their mouse clicks: it goes to the bottom of the page's stack.
  auto* group = new QGroupBox(QString::fromUtf8(Text(44149)), this);
  group->lower();
  constexpr int kGroupTop = 1, kIdleRow = 2, kStepsRow = 3, kGroupBottom = 4;
  constexpr int kLastColumn = 5;  // column 5 keeps the units off the group's right edge
  grid->addWidget(group, kGroupTop, 0, kGroupBottom - kGroupTop + 1, kLastColumn + 1);
  grid->setRowMinimumHeight(kGroupTop, group->fontMetrics().height());
  grid->setRowMinimumHeight(kGroupBottom, 2);
  grid->setColumnMinimumWidth(kLastColumn, 4);

  auto addRow = [&](int row, int id, QLabel* name, QLabel* unit, int indent) {
    name->setIndent(indent);
    grid->addWidget(name, row, 0);
    grid->addWidget(fields_.at(id), row, 1);
    grid->addWidget(unit, row, 2, 1, 3);
  };
  addRow(0, kIdMotorCurrent, label(LabelText(kIdMotorCurrent)), label(UnitText(kIdMotorCurrent)), 0);

  // "Reduce idle current after [ms] ms to [%] %": the row reads as one sentence.
  auto* idleName = label(LabelText(kIdIdleDelay));
  idleName->setIndent(12);
  grid->addWidget(idleName, kIdleRow, 0);
  grid->addWidget(fields_.at(kIdIdleDelay), kIdleRow, 1);
  grid->addWidget(label(LabelText(kIdIdleLevel)), kIdleRow, 2);
  grid->addWidget(fields_.at(kIdIdleLevel), kIdleRow, 3);
  grid->addWidget(label(UnitText(kIdIdleLevel)), kIdleRow, 4);
  addRow(kStepsRow, kIdStepResolution, label(LabelText(kIdStepResolution)),
         label(UnitText(kIdStepResolution)), 12);

  addRow(5, kIdEmergencyDeceleration, label(LabelText(kIdEmergencyDeceleration)),
         label(UnitText(kIdEmergencyDeceleration)), 0);
  addRow(6, kIdStartStopVelocity, label(LabelText(kIdStartStopVelocity)),
         label(UnitText(kIdStartStopVelocity)), 0);
  encoderLabel_ = label(LabelText(kIdEncoderLabel));
  encoderLabel_->setObjectName(QString::number(kIdEncoderLabel));
  encoderUnit_ = label(LabelText(kIdEncoderUnit));
  encoderUnit_->setObjectName(QString::number(kIdEncoderUnit));
  addRow(7, kIdEncoderLines, encoderLabel_, encoderUnit_, 0);

  grid->setRowMinimumHeight(8, 8);
  grid->addWidget(checks_.at(kIdInvertRotation), 9, 0, 1, 5);
  grid->addWidget(checks_.at(kIdSmoothing), 10, 0, 1, 5);
  grid->addWidget(checks_.at(kIdInvertEnable), 11, 0, 1, 5);
  grid->setRowStretch(12, 1);
  grid->setColumnStretch(kLastColumn + 1, 1);
}

CAxtuneEdit* CSettingsPropertyPage::Field(int controlId) const {
  auto it = fields_.find(controlId);
  return it == fields_.end() ? nullptr : it->second;
}

QCheckBox* CSettingsPropertyPage::CheckBox(int controlId) const {
  auto it = checks_.find(controlId);
  return it == checks_.end() ? nullptr : it->second;
}

void CSettingsPropertyPage::OnShowWindow(bool show) {
  if (!ReadRecordOnShow(show)) return;
  if (FirmwareVersionNumber() > 4000) {
    // Shown once the drive has it; never hidden again.
    for (QWidget* w :
         std::initializer_list<QWidget*>{encoderLabel_, fields_.at(kIdEncoderLines), encoderUnit_})
      w->setVisible(true);
  }
  for (int id :
       {kIdMotorCurrent, kIdIdleLevel, kIdStepResolution, kIdEmergencyDeceleration, kIdStartStopVelocity})
    fields_.at(id)->ReadFromDrive();
  fields_.at(kIdIdleDelay)->LoadFromRecord(Image());
  const RecordImage& image = Image();
  checks_.at(kIdInvertRotation)->setChecked(image[kWordInvertRotation] != 0);
  checks_.at(kIdSmoothing)->setChecked(image[kWordSmoothing] != 0);
  checks_.at(kIdInvertEnable)->setChecked((image[kWordEnableOptions] & 1) != 0);
  fields_.at(kIdEncoderLines)->LoadFromRecord(Image());
}

void CSettingsPropertyPage::OnCheckClicked(int controlId, bool checked) {
  int word = kWordInvertRotation;
  if (controlId == kIdSmoothing) word = kWordSmoothing;
  if (controlId == kIdInvertEnable) word = kWordEnableOptions;
  RecordImage& image = MutableImage();
  const int16_t before = image[word];
  int16_t value = checked ? 1 : 0;
  if (controlId == kIdInvertEnable) value = static_cast<int16_t>(checked ? (before | 1) : (before & ~1));
  image[word] = value;
  if (!WriteWords(kRecord, word, static_cast<uint16_t>(value))) {
    // The drive did not take it: the box and the image show what the drive still holds.
    image[word] = before;
    checks_.at(controlId)->setChecked(!checked);
    ReportWriteFailure(checks_.at(controlId));
    return;
  }
  NotifyParameterChanged(kRecord);
  ShowControlWrittenNote(checks_.at(controlId));
}

}  // namespace axtune
