#include "ui/xstatus_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLayout>
#include <QMainWindow>
#include <QMouseEvent>
#include <QSet>
#include <QTest>
#include <utility>

#include "ui/status_bitmaps.h"

namespace axtune {
namespace {

// A small window carrying a bar with four panes, rendered without a screen.
class XStatusBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const unsigned ids[] = {1, 2, 3, 4};
    bar_ = new XStatusBar(&window_);
    window_.setStatusBar(bar_);
    ASSERT_TRUE(bar_->setIndicators(ids, 4));
    for (int i = 0; i < 4; ++i) bar_->setPaneWidth(i, 40);
    window_.resize(400, 120);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  QImage render() { return bar_->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QRect inner(int pane) const { return bar_->paneRect(pane).adjusted(1, 1, -1, -1); }

  // Counts the pixels of `rect` in `image` that have exactly `colour`.
  static int count(const QImage& image, const QRect& rect, const QColor& colour) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
      for (int x = rect.left(); x <= rect.right(); ++x) n += image.pixel(x, y) == colour.rgb() ? 1 : 0;
    }
    return n;
  }
  // The bounding box of the pixels of `rect` that differ from `background`.
  static QRect inkBox(const QImage& image, const QRect& rect, const QColor& background) {
    QRect box;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
      for (int x = rect.left(); x <= rect.right(); ++x) {
        if (image.pixel(x, y) != background.rgb()) box |= QRect(x, y, 1, 1);
      }
    }
    return box;
  }

  QMainWindow window_;
  XStatusBar* bar_ = nullptr;
};

TEST_F(XStatusBarTest, IndicatorsResetEveryPaneToTheDefaults) {
  bar_->SetPaneMode(1, kPaneKindBitmap);
  bar_->SetPaneBkColor(1, Qt::red, Qt::blue);
  const unsigned ids[] = {7, 8};
  ASSERT_TRUE(bar_->setIndicators(ids, 2));
  EXPECT_EQ(bar_->paneCount(), 2);
  EXPECT_FALSE(bar_->setIndicators(ids, -1));

  const QPalette menu = QApplication::palette("QMenu");
  const QColor menuColour = menu.color(QPalette::Window);
  const XPaneInfo& info = bar_->paneInfo(1);
  EXPECT_EQ(info.mode, 0x100000u);
  EXPECT_EQ(info.backgroundEnabled, menuColour);
  EXPECT_EQ(info.backgroundDisabled, menuColour);
  EXPECT_EQ(info.textColorEnabled, menu.color(QPalette::WindowText));
  EXPECT_EQ(info.textColorDisabled,
            QColor(menuColour.red() / 2, menuColour.green() / 2, menuColour.blue() / 2));
  EXPECT_TRUE(bar_->isPaneEnabled(1));

  // A disabled colour of "none" stands for the menu colour.
  bar_->SetPaneBkColor(0, Qt::green);
  EXPECT_EQ(bar_->paneInfo(0).backgroundEnabled, QColor(Qt::green));
  EXPECT_EQ(bar_->paneInfo(0).backgroundDisabled, menuColour);
}

TEST_F(XStatusBarTest, EnablePaneReplacesTheWholeStyle) {
  bar_->setPaneStyle(2, kPaneStylePopOut);
  bar_->EnablePane(2, false);
  EXPECT_EQ(bar_->paneStyle(2), kPaneStyleDisabled);
  EXPECT_FALSE(bar_->isPaneEnabled(2));
  bar_->setPaneStyle(2, kPaneStylePopOut | kPaneStyleDisabled);
  bar_->EnablePane(2, true);
  EXPECT_EQ(bar_->paneStyle(2), 0u);  // the pop-out look goes too
  EXPECT_TRUE(bar_->isPaneEnabled(2));
  EXPECT_EQ(bar_->paneWidth(2), 40);  // the width stays
}

TEST_F(XStatusBarTest, FramesAreSunkenRaisedOrLeftOut) {
  const QRgb face = bar_->palette().color(QPalette::Button).rgb();
  const QRgb light = bar_->palette().color(QPalette::Light).rgb();
  const QRgb shadow = bar_->palette().color(QPalette::Dark).rgb();
  bar_->setPaneStyle(1, kPaneStylePopOut);
  bar_->setPaneStyle(2, kPaneStyleNoBorders);
  const QImage image = render();
  // Top-left and bottom-right corner of each pane's frame.
  auto corners = [&](int pane) {
    const QRect r = bar_->paneRect(pane);
    return std::make_pair(image.pixel(r.topLeft()), image.pixel(r.bottomRight()));
  };
  EXPECT_EQ(corners(0), std::make_pair(shadow, light));
  EXPECT_EQ(corners(1), std::make_pair(light, shadow));
  EXPECT_EQ(corners(2), std::make_pair(face, face));
}

TEST_F(XStatusBarTest, TextPaneShowsThePaneTextInTheColourOfItsState) {
  bar_->SetPaneBkColor(0, Qt::white, Qt::black);
  bar_->SetPaneTextColor(0, Qt::blue, Qt::yellow);
  bar_->setPaneText(0, "MMM");
  QImage image = render();
  EXPECT_GT(count(image, inner(0), Qt::blue), 0);
  EXPECT_EQ(count(image, inner(0), Qt::yellow), 0);

  bar_->EnablePane(0, false);
  image = render();
  EXPECT_GT(count(image, inner(0), Qt::yellow), 0);
  EXPECT_EQ(count(image, inner(0), Qt::blue), 0);
  EXPECT_GT(count(image, inner(0), Qt::black), 0);

  // An own text for the state takes the place of the pane text; an empty one shows nothing else.
  bar_->EnablePane(0, true);
  bar_->setPaneText(0, "");
  image = render();
  EXPECT_EQ(count(image, inner(0), Qt::white), inner(0).width() * inner(0).height());
  bar_->SetPaneOwnTexts(0, "WWW", "");
  image = render();
  EXPECT_GT(count(image, inner(0), Qt::blue), 0);
}

TEST_F(XStatusBarTest, TextFollowsTheFormatBitsOfTheModeWord) {
  bar_->setMinimumBarHeight(60);  // room to tell top, centre and bottom apart
  window_.layout()->activate();
  ASSERT_GE(bar_->height(), 60);
  bar_->setPaneWidth(0, 120);
  bar_->SetPaneBkColor(0, Qt::white);
  bar_->setPaneText(0, "MM");
  const QRect area = inner(0);
  auto ink = [&](uint32_t mode) {
    bar_->SetPaneMode(0, mode);
    return inkBox(render(), area, Qt::white);
  };
  const QRect topLeft = ink(kPaneKindText);
  const QRect rightCentred = ink(kPaneKindText | kPaneRight | kPaneVCenter);
  const QRect centreBottom = ink(kPaneKindText2 | kPaneCenter | kPaneBottom);
  ASSERT_FALSE(topLeft.isEmpty());
  EXPECT_LT(topLeft.left() - area.left(), 8);
  EXPECT_LT(topLeft.top(), rightCentred.top());
  EXPECT_LT(area.right() - rightCentred.right(), 8);
  EXPECT_NEAR(rightCentred.center().y(), area.center().y(), 3);
  EXPECT_NEAR(centreBottom.center().x(), area.center().x(), 3);
  EXPECT_GT(centreBottom.top(), rightCentred.top());
  // Any other kind draws only the background.
  EXPECT_TRUE(ink(0x00300000).isEmpty());
  EXPECT_TRUE(ink(0).isEmpty());
}

TEST_F(XStatusBarTest, BitmapPaneShowsTheBitmapOfItsStateAligned) {
  bar_->SetPaneBkColor(1, Qt::white, QColor(10, 20, 30));
  bar_->SetPaneMode(1, kPaneKindBitmap);
  bar_->SetPaneBitmaps(1, "gut", "");
  const QRect area = inner(1);
  const QRect topLeft = inkBox(render(), area, Qt::white);
  ASSERT_FALSE(topLeft.isEmpty());
  EXPECT_LE(topLeft.left() - area.left(), 1);
  EXPECT_LE(topLeft.top() - area.top(), 1);

  bar_->SetPaneMode(1, kPaneKindBitmap | kPaneRight | kPaneBottom);
  const QRect bottomRight = inkBox(render(), area, Qt::white);
  EXPECT_LE(area.right() - bottomRight.right(), 1);
  EXPECT_LE(area.bottom() - bottomRight.bottom(), 1);

  bar_->SetPaneMode(1, kPaneKindBitmap | kPaneCenter);
  const QRect centred = inkBox(render(), area, Qt::white);
  EXPECT_NEAR(centred.center().x(), area.center().x(), 2);

  // Disabled with no disabled bitmap: only the disabled background.
  bar_->EnablePane(1, false);
  const QImage image = render();
  EXPECT_EQ(count(image, area, QColor(10, 20, 30)), area.width() * area.height());
  // Drawing stays inside the pane: its neighbours are untouched by the bitmap.
  bar_->EnablePane(1, true);
  bar_->setPaneWidth(1, 4);
  const QImage narrow = render();
  EXPECT_EQ(narrow.pixel(inner(2).topLeft()), bar_->paneInfo(2).backgroundEnabled.rgb());
}

TEST_F(XStatusBarTest, SizeGripOnlyWhileTheWindowIsNotMaximised) {
  const QRgb face = bar_->palette().color(QPalette::Button).rgb();
  const QRgb light = bar_->palette().color(QPalette::Light).rgb();
  const QRgb shadow = bar_->palette().color(QPalette::Dark).rgb();
  ASSERT_NE(light, face);
  ASSERT_NE(shadow, face);
  EXPECT_TRUE(bar_->sizeGripShown());
  // The diagonals counted from the corner just outside the bar: the first has no pixel inside
  // it, the second is left out, the third and fourth are shadow, the fifth highlight, and so on up
  // to the seventeenth (highlight), whose end point is left out.
  const QImage image = render();
  const int w = bar_->width();
  const int h = bar_->height();
  auto at = [&](int x, int y) { return image.pixel(w - x, h - y); };
  EXPECT_EQ(at(1, 1), face);
  EXPECT_EQ(at(2, 1), shadow);
  EXPECT_EQ(at(1, 2), shadow);
  EXPECT_EQ(at(2, 2), shadow);
  EXPECT_EQ(at(3, 2), light);
  EXPECT_EQ(at(3, 3), face);
  EXPECT_EQ(at(16, 1), light);
  EXPECT_EQ(at(1, 16), light);
  EXPECT_EQ(at(17, 1), face);
  EXPECT_EQ(at(9, 9), face);

  window_.showMaximized();
  ASSERT_TRUE(window_.isMaximized());
  EXPECT_FALSE(bar_->sizeGripShown());
  const QPoint maximisedCorner(bar_->width() - 3, bar_->height() - 2);
  EXPECT_EQ(render().pixel(maximisedCorner), face);
}

// Records the mouse events its watched widget receives as "type button modifiers x,y".
class MouseRecorder : public QObject {
 public:
  QStringList seen;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
        type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint p = mouse->position().toPoint();
      seen << QString("%1 %2 %3 %4,%5")
                  .arg(int(type))
                  .arg(int(mouse->button()))
                  .arg(int(mouse->modifiers()))
                  .arg(p.x())
                  .arg(p.y());
    }
    return QObject::eventFilter(watched, event);
  }
};

TEST_F(XStatusBarTest, MouseInputReachesTheOwnerInBarCoordinates) {
  QWidget owner;
  MouseRecorder recorder;
  owner.installEventFilter(&recorder);
  bar_->setOwner(&owner);

  QTest::mousePress(bar_, Qt::RightButton, Qt::ShiftModifier, QPoint(30, 5));
  QTest::mouseDClick(bar_, Qt::MiddleButton, Qt::ControlModifier, QPoint(31, 6));
  QTest::mouseMove(bar_, QPoint(50, 6));
  auto seen = [](QEvent::Type type, Qt::MouseButton button, Qt::KeyboardModifiers keys, int x, int y) {
    return QString("%1 %2 %3 %4,%5").arg(int(type)).arg(int(button)).arg(int(keys)).arg(x).arg(y);
  };
  EXPECT_TRUE(
      recorder.seen.contains(seen(QEvent::MouseButtonPress, Qt::RightButton, Qt::ShiftModifier, 30, 5)))
      << recorder.seen.join("; ").toStdString();
  EXPECT_TRUE(recorder.seen.contains(
      seen(QEvent::MouseButtonDblClick, Qt::MiddleButton, Qt::ControlModifier, 31, 6)));
  EXPECT_TRUE(recorder.seen.contains(seen(QEvent::MouseMove, Qt::NoButton, Qt::NoModifier, 50, 6)));
}

TEST(StatusBitmaps, EveryNameIsADistinct16x16Drawing) {
  const QStringList names = StatusBitmapNames();
  EXPECT_EQ(names.size(), 8);
  QSet<QByteArray> drawings;
  for (const QString& name : names) {
    const QPixmap pixmap = StatusBitmap(name.toLower());  // names match without regard to case
    ASSERT_FALSE(pixmap.isNull()) << name.toStdString();
    EXPECT_EQ(pixmap.size(), QSize(16, 16));
    const QImage image = pixmap.toImage();
    drawings.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
  }
  EXPECT_EQ(drawings.size(), names.size());
  for (const char* name :
       {"STOPHELL", "Stopdunkel", "GUT", "Ron", "R", "EndschalterOben", "ENDSCHALTERUNTEN", "Achtung"}) {
    EXPECT_FALSE(StatusBitmap(name).isNull()) << name;
  }
  EXPECT_TRUE(StatusBitmap("").isNull());
  EXPECT_TRUE(StatusBitmap("Stopp").isNull());
}

}  // namespace
}  // namespace axtune
