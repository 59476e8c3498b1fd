#include "app/panel_placement.h"

#include <algorithm>

namespace axtune {
namespace {
constexpr int kGap = 4;

// `start` moved so that [start, start + length) lies within [low, high) where it can; a panel
// longer than the range starts at `low`.
int Fit(int start, int length, int low, int high) {
  return std::max(low, std::min(start, high - length));
}
}  // namespace

QPoint PanelPositionBeside(const QRect& mainFrame, const QRect& menuBar, const QSize& panel,
                           const QRect& screen) {
  const int screenRight = screen.x() + screen.width();
  const int screenBottom = screen.y() + screen.height();
  const int mainRight = mainFrame.x() + mainFrame.width();
  const int mainBottom = mainFrame.y() + mainFrame.height();
  const int besideY = Fit(mainFrame.y(), panel.height(), screen.y(), screenBottom);
  const int aboveBelowX = Fit(mainRight - panel.width(), panel.width(), screen.x(), screenRight);

  if (mainRight + kGap + panel.width() <= screenRight) return {mainRight + kGap, besideY};
  if (mainFrame.x() - kGap - panel.width() >= screen.x())
    return {mainFrame.x() - kGap - panel.width(), besideY};
  if (mainBottom + kGap + panel.height() <= screenBottom) return {aboveBelowX, mainBottom + kGap};
  if (mainFrame.y() - kGap - panel.height() >= screen.y())
    return {aboveBelowX, mainFrame.y() - kGap - panel.height()};

  // No room beside the window: at the screen's edge on the side with more room, so that it covers
  // as little of the window as it can, and below the menu bar wherever it reaches over it.
  const bool rightHasMore = screenRight - mainRight >= mainFrame.x() - screen.x();
  const int x =
      Fit(rightHasMore ? screenRight - panel.width() : screen.x(), panel.width(), screen.x(), screenRight);
  const int belowMenu = std::max(menuBar.y() + menuBar.height(), screen.y());
  // Only a panel overlapping the menu bar horizontally has to keep below it.
  const bool overMenuColumns = x < menuBar.x() + menuBar.width() && x + panel.width() > menuBar.x();
  int y = Fit(mainFrame.y(), panel.height(), screen.y(), screenBottom);
  if (overMenuColumns) y = std::max(y, belowMenu);
  return {x, y};
}

QPoint PositionKeptOnScreen(const QRect& frame, const QRect& screen) {
  return {Fit(frame.x(), frame.width(), screen.x(), screen.x() + screen.width()),
          Fit(frame.y(), frame.height(), screen.y(), screen.y() + screen.height())};
}

}  // namespace axtune
