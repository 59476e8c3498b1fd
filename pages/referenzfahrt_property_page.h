// The Homing page: the homing method, its velocity, ramps, reference position, current and, for the
// runs against a mechanical stop, the maximum distance; Start and Stop of the homing run. The ramps
// live in record 64; everything else is read and written as drive objects.
#pragma once

#include <QLabel>
#include <span>

#include "controls/axtune_combo_box.h"
#include "controls/axtune_edit.h"
#include "controls/axtune_property_page.h"
#include "controls/edit_binding.h"

namespace axtune {

class CReferenzfahrtPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 151;
  static constexpr int kHomingRecord = 64;

  // Control ids.
  static constexpr int kIdMethod = 1236;
  static constexpr int kIdVelocity = 1238;
  static constexpr int kIdAccelTimeLabel = 1260;
  static constexpr int kIdDecelTimeLabel = 1261;
  static constexpr int kIdAccelTime = 1219;
  static constexpr int kIdDecelTime = 1220;
  static constexpr int kIdAccelLabel = 1262;
  static constexpr int kIdDecelLabel = 1263;
  static constexpr int kIdAccel = 1235;
  static constexpr int kIdDecel = 1222;
  static constexpr int kIdReferencePosition = 1241;
  static constexpr int kIdCurrent = 1243;
  static constexpr int kIdMaxDistanceLabel = 1258;
  static constexpr int kIdMaxDistance = 1242;
  static constexpr int kIdMaxDistanceUnit = 1259;
  static constexpr int kIdStart = 1239;
  static constexpr int kIdStop = 1240;

  explicit CReferenzfahrtPropertyPage(QWidget* parent = nullptr);

  // The binding calls of the edit fields in the order they are made (the list binds first).
  static std::span<const EditBindStep> Bindings();

  // Binds the controls once (the first showing does it; tests may call it earlier).
  void OnInitDialog();
  void OnShowWindow(bool show) override;

  // The handlers, public so that tests drive them as the controls do.
  void ApplyMaxDistanceVisibility();
  void OnStart();
  void OnStop();

  // What the drive's homing run is doing ("Referenzfahrt läuft" ...), beside Start and Stop; empty
  // while the drive is not in the homing mode. The window feeds it from the status polls.
  void ShowHomingState(const QString& text);
  QString HomingStateShown() const;

 private:
  bool initialised_ = false;

  // Members in the order the page keeps them.
  CAxtuneEdit* decel_;
  CAxtuneEdit* accel_;
  CAxtuneEdit* current_;
  CAxtuneEdit* maxDistance_;
  CAxtuneEdit* referencePosition_;
  CAxtuneEdit* decelTime_;
  CAxtuneEdit* accelTime_;
  CAxtuneEdit* velocity_;
  CAxtuneComboBox* method_;

  QLabel* accelTimeLabel_;
  QLabel* decelTimeLabel_;
  QLabel* accelLabel_;
  QLabel* decelLabel_;
  QLabel* maxDistanceLabel_;
  QLabel* maxDistanceUnit_;
  QLabel* homingState_;
};

}  // namespace axtune
