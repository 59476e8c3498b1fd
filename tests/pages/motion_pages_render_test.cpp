// Renders the Profiles and Homing pages on the simulated drive, in German and English and with
// several chaining modes, into PNG files beside the test program, so that a person can look at them
// ("profiles-<lang>-<profile>.png", "homing-<lang>-<method>.png", "profile-pictograms.png", the
// last at real size and eight times enlarged).
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cstdio>

#include "pages/fahrsatz_property_page.h"
#include "pages/profile_pictograms.h"
#include "pages/referenzfahrt_property_page.h"
#include "tests/pages/motion_page_test_support.h"

namespace axtune {
namespace {

QString Beside(const QString& name) {
  return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

bool Save(const QImage& image, const QString& name) {
  const QString path = Beside(name);
  const bool saved = image.save(path);
  if (saved) std::printf("wrote %s\n", qPrintable(path));
  return saved;
}

class MotionPagesRender : public testing::MotionPageTest {
 protected:
  QImage Grab(CAxtunePropertyPage* page) {
    host_.resize(700, 430);
    page->setGeometry(0, 0, 700, 430);
    page->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&host_));
    return Picture(page);
  }
  // What the window shows once the layout has followed the shown and hidden rows.
  static QImage Picture(QWidget* page) {
    QCoreApplication::processEvents();
    return page->grab().toImage();
  }
};

TEST_F(MotionPagesRender, ProfilesPageInBothLanguagesWithEveryPictogram) {
  // Profile 2 waits after its move, so that the sixth pictogram shows too.
  ASSERT_TRUE(WriteWords(16, 8, 0x0081));
  for (Language language : {Language::German, Language::English}) {
    SetLanguage(language);
    auto* page = new CFahrsatzPropertyPage(&host_);
    Grab(page);
    for (int profile : {0, 2, 4, 5, 6, 7}) {
      page->OnProfileStep(page->Profile(), profile - page->Profile());
      const QString name =
          QString("profiles-%1-%2.png").arg(language == Language::German ? "de" : "en").arg(profile);
      EXPECT_TRUE(Save(Picture(page), name));
    }
    delete page;
  }
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MotionPagesRender, HomingPageInBothLanguagesWithAndWithoutTheMaximumDistance) {
  for (Language language : {Language::German, Language::English}) {
    SetLanguage(language);
    auto* page = new CReferenzfahrtPropertyPage(&host_);
    for (int method : {24, 251}) {
      ASSERT_TRUE(WriteObject(0x6098, 0, 1, method));
      page->hide();
      const QImage image = Grab(page);
      const QString name =
          QString("homing-%1-%2.png").arg(language == Language::German ? "de" : "en").arg(method);
      EXPECT_TRUE(Save(image, name));
    }
    delete page;
  }
  EXPECT_TRUE(ui_.messages.empty());
}

TEST(ProfilePictograms, SheetAtRealSizeAndEnlarged) {
  testing::EnsureApplication();
  constexpr int kZoom = 8;
  QImage sheet(6 * (32 * kZoom + 16) + 16, 32 * kZoom + 80, QImage::Format_RGB32);
  sheet.fill(CAxtunePropertyPage::BackgroundColor());
  QPainter p(&sheet);
  for (int i = 0; i < 6; ++i) {
    const QPixmap icon = ProfilePictogram(157 + i).pixmap(32, 32);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    p.drawPixmap(16 + i * 48, 16, icon);  // real size, on the page's colour
    p.drawPixmap(QRect(16 + i * (32 * kZoom + 16), 64, 32 * kZoom, 32 * kZoom), icon);
  }
  p.end();
  EXPECT_TRUE(Save(sheet, "profile-pictograms.png"));
  EXPECT_TRUE(ProfilePictogram(156).isNull());
  EXPECT_TRUE(ProfilePictogram(163).isNull());
}

}  // namespace
}  // namespace axtune
