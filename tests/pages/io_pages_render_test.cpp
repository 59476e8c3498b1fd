// Renders the Settings, Inputs and Outputs pages, filled from the simulated drive, in German and
// English into PNG files beside the test program, so that a person can look at them
// ("settings-page-de.png", "inputs-page-en.png", ...). The pages sit in a tab widget of the size
// the main window gives its sheet.
#include <QCoreApplication>
#include <QDir>
#include <QTabWidget>
#include <QTest>

#include "core/drive_identity.h"
#include "pages/outputs_property_page.h"
#include "pages/pins_property_page.h"
#include "pages/settings_property_page.h"
#include "tests/controls/sim_drive_fixture.h"

namespace axtune {
namespace {

class PageRenderTest : public testing::SimDriveTest {
 protected:
  void TearDown() override {
    SetFirmwareVersionNumber(-1);
    SetLanguage(Language::English);
    SimDriveTest::TearDown();
  }

  template <typename Page>
  void Render(const char* name) {
    for (Language language : {Language::German, Language::English}) {
      SetLanguage(language);
      SetFirmwareVersionNumber(4001);
      testing::TestHost host;
      auto* sheet = new QTabWidget(&host);
      auto* page = new Page();
      sheet->addTab(page, page->Title());
      sheet->resize(704, 440);
      host.resize(704, 440);
      host.show();
      page->hide();
      page->show();
      QTest::qWait(0);
      const QString file =
          QDir(QCoreApplication::applicationDirPath())
              .filePath(QString("%1-%2.png").arg(name, language == Language::German ? "de" : "en"));
      ASSERT_TRUE(sheet->grab().save(file)) << file.toStdString();
      std::printf("wrote %s\n", file.toLocal8Bit().constData());
    }
    EXPECT_TRUE(ui_.messages.empty());
  }
};

TEST_F(PageRenderTest, SettingsPage) {
  Render<CSettingsPropertyPage>("settings-page");
}
TEST_F(PageRenderTest, InputsPage) {
  Render<CPinsPropertyPage>("inputs-page");
}
TEST_F(PageRenderTest, OutputsPage) {
  Render<COutputsPropertyPage>("outputs-page");
}

}  // namespace
}  // namespace axtune
