// The Profiles page: one of the drive's 50 motion profiles (records 14 to 63) at a time. The user
// edits its target or distance, velocity, ramps and chaining, steps to another profile, and starts
// or stops the shown profile. Every write lands in the shown profile because the page first points
// the drive's profile selector (0x2022/5) at it.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <vector>

#include "controls/axtune_edit.h"
#include "controls/axtune_property_page.h"
#include "controls/edit_binding.h"
#include "pages/up_down_control.h"

namespace axtune {

class CFahrsatzPropertyPage : public CAxtunePropertyPage {
  Q_OBJECT

 public:
  static constexpr int kDialogId = 150;
  static constexpr int kFirstProfileRecord = 14;
  static constexpr int kLastProfile = 49;

  // Control ids.
  static constexpr int kIdProfileNumberText = 1216;
  static constexpr int kIdProfileNumber = 1221;
  static constexpr int kIdStart = 1224;
  static constexpr int kIdStop = 1239;
  static constexpr int kIdIcon = 1232;
  static constexpr int kIdPositionLabel = 1279;
  static constexpr int kIdPosition = 1217;
  static constexpr int kIdAbsolute = 1225;
  static constexpr int kIdRelative = 1226;
  static constexpr int kIdVelocity = 1218;
  static constexpr int kIdSiUnits = 1240;
  static constexpr int kIdAccelTimeLabel = 1260;
  static constexpr int kIdDecelTimeLabel = 1261;
  static constexpr int kIdAccelTime = 1219;
  static constexpr int kIdDecelTime = 1220;
  static constexpr int kIdAccelLabel = 1262;
  static constexpr int kIdDecelLabel = 1263;
  static constexpr int kIdAccel = 1235;
  static constexpr int kIdDecel = 1236;
  static constexpr int kIdAccelTimeResult = 1248;
  static constexpr int kIdDecelTimeResult = 1249;
  static constexpr int kIdWaitTime = 1222;
  static constexpr int kIdWaitActive = 1228;
  static constexpr int kIdNextActive = 1227;
  static constexpr int kIdNextNumberText = 1223;
  static constexpr int kIdNextNumber = 1229;
  static constexpr int kIdWithoutStop = 1230;
  static constexpr int kIdTargetVelocity = 1231;

  // Where a profile lives: record 14 + n, and the objects of the profile the selector names.
  static constexpr uint16_t kObjectProfile = 0x2022;
  static constexpr uint8_t kSubTarget = 1;
  static constexpr uint8_t kSubVelocity = 2;
  static constexpr uint8_t kSubFlags = 3;
  static constexpr uint8_t kSubSelector = 5;
  static constexpr uint8_t kSubNext = 10;
  static constexpr uint8_t kSubWaitTime = 11;
  static constexpr uint16_t kObjectAcceleration = 0x6083;
  static constexpr uint16_t kObjectDeceleration = 0x6084;
  static constexpr int kWordTarget = 0;
  static constexpr int kWordVelocity = 2;
  static constexpr int kWordAccel = 4;
  static constexpr int kWordDecel = 6;
  static constexpr int kWordFlags = 8;
  static constexpr int kWordWaitTime = 9;
  static constexpr int kWordNext = 10;

  explicit CFahrsatzPropertyPage(QWidget* parent = nullptr);

  // The binding calls of the edit fields for profile n, in the order they are made (from the
  // parameter dictionary).
  static std::vector<EditBindStep> Bindings(int n);

  // Binds the controls once (the first showing does it; tests may call it earlier).
  void OnInitDialog();
  void OnShowWindow(bool show) override;

  int Profile() const { return RecordNumber() - kFirstProfileRecord; }
  int NoteProfile() const override { return Profile(); }
  uint16_t Flags() const { return flags_; }
  int IconId() const { return iconId_; }

  // The handlers, public so that tests drive them as the controls do.
  void OnProfileStep(int position, int step);
  void OnNextProfileStep(int position, int step);
  void OnStart();
  void OnStop();

 private:
  void BindToProfile(int profile);
  CAxtuneEdit* FieldById(int id) const;
  void Refresh();
  void ApplyEnablingAndIcon();
  // Writes the flags with `bit` set or cleared, for `control`, whose note the status line shows.
  void SetFlag(uint16_t bit, bool on, bool notify, QWidget* control);
  void WriteFlags();
  void ShowProfileUnreadable();
  void SetProfileControlsEnabled(bool enabled);

  bool initialised_ = false;
  uint16_t flags_ = 0;
  int iconId_ = 157;

  // Members in the order the page keeps them.
  CAxtuneEdit* accel_;
  CAxtuneEdit* decel_;
  QLabel* icon_;
  QComboBox* targetVelocity_;
  UpDownControl* nextNumber_;
  CAxtuneEdit* waitTime_;
  CAxtuneEdit* position_;
  CAxtuneEdit* velocity_;
  CAxtuneEdit* decelTime_;
  CAxtuneEdit* accelTime_;
  UpDownControl* profileNumber_;

  QLabel* positionLabel_;
  QRadioButton* absolute_;
  QRadioButton* relative_;
  QCheckBox* siUnits_;
  QCheckBox* waitActive_;
  QCheckBox* nextActive_;
  QCheckBox* withoutStop_;
  QLabel* accelTimeLabel_;
  QLabel* decelTimeLabel_;
  QLabel* accelLabel_;
  QLabel* decelLabel_;
  QLabel* accelTimeResult_;
  QLabel* decelTimeResult_;
};

}  // namespace axtune
