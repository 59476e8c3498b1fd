// The parameter pages that a test runs over one by one, and a host that keeps the notes a page
// shows in the status line.
#pragma once

#include <QApplication>
#include <QString>
#include <QTest>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "controls/axtune_property_page.h"
#include "core/drive_identity.h"
#include "pages/debug_property_page.h"
#include "pages/fahrsatz_property_page.h"
#include "pages/outputs_property_page.h"
#include "pages/pins_property_page.h"
#include "pages/referenzfahrt_property_page.h"
#include "pages/settings_property_page.h"
#include "tests/controls/sim_drive_fixture.h"

namespace axtune::testing {

struct PageCase {
  const char* name;
  std::function<CAxtunePropertyPage*(QWidget*)> make;
};

// Every page whose controls write to the drive.
inline std::vector<PageCase> EveryParameterPage() {
  return {{"Settings", [](QWidget* p) { return new CSettingsPropertyPage(p); }},
          {"Inputs", [](QWidget* p) { return new CPinsPropertyPage(p); }},
          {"Outputs", [](QWidget* p) { return new COutputsPropertyPage(p); }},
          {"Profiles", [](QWidget* p) { return new CFahrsatzPropertyPage(p); }},
          {"Homing", [](QWidget* p) { return new CReferenzfahrtPropertyPage(p); }},
          {"Debug", [](QWidget* p) { return new CDebugPropertyPage(p); }}};
}

inline std::string PageCaseName(const ::testing::TestParamInfo<PageCase>& info) {
  return info.param.name;
}

class NotingHost : public TestHost {
 public:
  void ShowStatusNote(const QString& text) override { notes.push_back(text); }
  std::vector<QString> notes;
};

// One page of the case shown in an active window on the simulated drive, as a user sees it (firmware
// 4.1, so the Settings page shows its encoder row too).
class ShownPageTest : public SimDriveTest, public ::testing::WithParamInterface<PageCase> {
 protected:
  void SetUp() override {
    SimDriveTest::SetUp();
    SetFirmwareVersionNumber(4001);
    page_ = GetParam().make(&noting_);
    page_->hide();
    noting_.resize(760, 560);
    page_->resize(noting_.size());
    noting_.show();
    noting_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&noting_));
    page_->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    SetFirmwareVersionNumber(-1);
    SimDriveTest::TearDown();
  }

  NotingHost noting_;
  CAxtunePropertyPage* page_ = nullptr;
};

}  // namespace axtune::testing
