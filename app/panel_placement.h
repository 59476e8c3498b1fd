// Where a tool window opens beside the main window: on the screen that holds the main window,
// next to it where there is room (right, left, below, above), and never over the main window's
// menu bar, so that the menu and the first tabs stay usable.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace axtune {

// The top-left corner (of the frame) for a panel of frame size `panel`. `mainFrame` and `menuBar`
// are in global coordinates, `screen` is the available area of the main window's screen.
QPoint PanelPositionBeside(const QRect& mainFrame, const QRect& menuBar, const QSize& panel,
                           const QRect& screen);

// The top-left corner that brings `frame` back onto `screen` (the available area) with the least
// move; a frame larger than the screen starts at its top or left edge. A panel is placed by its size
// when it opens and grows once the drive's texts replace the first ones.
QPoint PositionKeptOnScreen(const QRect& frame, const QRect& screen);

}  // namespace axtune
