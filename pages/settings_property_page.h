// The Settings page: motor current, idle-current reduction, step resolution, emergency deceleration,
// start/stop velocity, direction inversion, smoothing and, for firmware above 4.0, the encoder
// resolution. Five fields are objects (read from the drive each time the page is shown); the rest of
// the page lives in record 2.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <map>
#include <span>

#include "controls/axtune_edit.h"
#include "controls/axtune_property_page.h"
#include "controls/edit_binding.h"

namespace axtune {

class CSettingsPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 149;
  static constexpr int kRecord = 2;
  // Edit fields.
  static constexpr int kIdMotorCurrent = 1174;
  static constexpr int kIdIdleLevel = 1175;
  static constexpr int kIdStepResolution = 1251;
  static constexpr int kIdEmergencyDeceleration = 1176;
  static constexpr int kIdStartStopVelocity = 1177;
  static constexpr int kIdIdleDelay = 1252;
  static constexpr int kIdEncoderLines = 1178;
  // Check boxes and the encoder row's texts.
  static constexpr int kIdInvertRotation = 1106;
  static constexpr int kIdInvertEnable = 1107;
  static constexpr int kIdSmoothing = 1108;
  static constexpr int kIdEncoderLabel = 1265;
  static constexpr int kIdEncoderUnit = 1266;
  // Record 2 words of the check boxes.
  static constexpr int kWordSmoothing = 3;
  static constexpr int kWordEnableOptions = 4;  // bit 0: enable input inverted
  static constexpr int kWordInvertRotation = 7;

  explicit CSettingsPropertyPage(QWidget* parent = nullptr);

  // The binding calls of the edit fields in the order they are made.
  static std::span<const EditBindStep> Bindings();

  void OnShowWindow(bool show) override;

  CAxtuneEdit* Field(int controlId) const;
  QCheckBox* CheckBox(int controlId) const;

 private:
  void BuildLayout();
  void OnCheckClicked(int controlId, bool checked);

  std::map<int, CAxtuneEdit*> fields_;
  std::map<int, QCheckBox*> checks_;
  QLabel* encoderLabel_ = nullptr;
  QLabel* encoderUnit_ = nullptr;
};

}  // namespace axtune
