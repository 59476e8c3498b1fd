#include "ui/xstatus_bar.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QWindow>
#include <algorithm>

#include "ui/status_bitmaps.h"

namespace axtune {
namespace {

// Geometry of the panes inside the bar, in pixels.
constexpr int kTopMargin = 2;     // above the panes
constexpr int kBottomMargin = 1;  // below the panes
constexpr int kPaneGap = 2;       // between two panes
constexpr int kPanePadding = 2;   // inside the frame, on each side of the content
constexpr int kGripLines = 17;    // the size grip's diagonal lines
constexpr int kGripReserve = kGripLines + 1;
constexpr int kDefaultWidthInChars = 10;

QPalette MenuPalette() {
  return QApplication::palette("QMenu");
}

QColor Halved(const QColor& color) {
  return QColor(color.red() / 2, color.green() / 2, color.blue() / 2);
}

// A 3-D rectangle as the framework draws it: one colour on the top and left edges, the other on
// the bottom and right edges.
void Draw3dRect(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
  painter.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
  painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
  painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

Qt::Alignment TextAlignment(uint32_t format) {
  Qt::Alignment alignment;
  if (format & kPaneCenter) {
    alignment |= Qt::AlignHCenter;
  } else if (format & kPaneRight) {
    alignment |= Qt::AlignRight;
  } else {
    alignment |= Qt::AlignLeft;
  }
  if (format & kPaneVCenter) {
    alignment |= Qt::AlignVCenter;
  } else if (format & kPaneBottom) {
    alignment |= Qt::AlignBottom;
  } else {
    alignment |= Qt::AlignTop;
  }
  return alignment;
}

}  // namespace

XPaneInfo XPaneInfo::Defaults() {
  const QPalette menu = MenuPalette();
  XPaneInfo info;
  info.backgroundEnabled = menu.color(QPalette::Window);
  info.backgroundDisabled = info.backgroundEnabled;
  info.textColorEnabled = menu.color(QPalette::WindowText);
  info.textColorDisabled = Halved(info.backgroundEnabled);
  info.font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  info.mode = kPaneDefaultMode;
  return info;
}

XStatusBar::XStatusBar(QWidget* parent) : QStatusBar(parent), owner_(parent) {
  // The bar draws its own grip (and starts the window's resize from it); Qt's would sit on top.
  setSizeGripEnabled(false);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

XStatusBar::~XStatusBar() = default;

bool XStatusBar::setIndicators(const unsigned* ids, int count) {
  if (count < 0 || (count > 0 && ids == nullptr)) return false;
  const XPaneInfo defaults = XPaneInfo::Defaults();
  const int defaultWidth = QFontMetrics(defaults.font).averageCharWidth() * kDefaultWidthInChars;
  panes_.assign(static_cast<size_t>(count), Pane{});
  for (int i = 0; i < count; ++i) {
    panes_[i].id = ids[i];
    panes_[i].width = defaultWidth;
    panes_[i].info = defaults;
  }
  updateGeometry();
  update();
  return true;
}

void XStatusBar::setPaneInfo(int pane, unsigned id, uint32_t style, int width) {
  if (!valid(pane)) return;
  panes_[pane].id = id;
  panes_[pane].style = style;
  panes_[pane].width = std::max(0, width);
  updateGeometry();
  update();
}

void XStatusBar::setPaneWidth(int pane, int width) {
  if (valid(pane)) setPaneInfo(pane, panes_[pane].id, panes_[pane].style, width);
}

int XStatusBar::paneWidth(int pane) const {
  return valid(pane) ? panes_[pane].width : 0;
}

void XStatusBar::setPaneStyle(int pane, uint32_t style) {
  if (valid(pane)) setPaneInfo(pane, panes_[pane].id, style, panes_[pane].width);
}

uint32_t XStatusBar::paneStyle(int pane) const {
  return valid(pane) ? panes_[pane].style : 0;
}
unsigned XStatusBar::paneId(int pane) const {
  return valid(pane) ? panes_[pane].id : 0;
}

void XStatusBar::setPaneText(int pane, const QString& text) {
  if (!valid(pane) || panes_[pane].text == text) return;
  panes_[pane].text = text;
  update(paneRect(pane));
}

QString XStatusBar::paneText(int pane) const {
  return valid(pane) ? panes_[pane].text : QString();
}

void XStatusBar::SetPaneMode(int pane, uint32_t mode) {
  if (!valid(pane)) return;
  panes_[pane].info.mode = mode;
  update();
}

void XStatusBar::SetPaneBkColor(int pane, const QColor& enabled, const QColor& disabled) {
  if (!valid(pane)) return;
  const QColor menu = MenuPalette().color(QPalette::Window);
  panes_[pane].info.backgroundEnabled = enabled.isValid() ? enabled : menu;
  panes_[pane].info.backgroundDisabled = disabled.isValid() ? disabled : menu;
  update();
}

void XStatusBar::SetPaneTextColor(int pane, const QColor& enabled, const QColor& disabled) {
  if (!valid(pane)) return;
  const QPalette menu = MenuPalette();
  panes_[pane].info.textColorEnabled = enabled.isValid() ? enabled : menu.color(QPalette::WindowText);
  panes_[pane].info.textColorDisabled = disabled.isValid() ? disabled : Halved(menu.color(QPalette::Window));
  update();
}

void XStatusBar::SetPaneBitmaps(int pane, const QString& enabled, const QString& disabled) {
  SetPaneOwnTexts(pane, enabled, disabled);
}

void XStatusBar::SetPaneOwnTexts(int pane, const QString& enabled, const QString& disabled) {
  if (!valid(pane)) return;
  panes_[pane].info.ownTextEnabled = enabled;
  panes_[pane].info.ownTextDisabled = disabled;
  update();
}

void XStatusBar::SetPaneFont(int pane, const QFont& font) {
  if (!valid(pane)) return;
  panes_[pane].info.font = font;
  updateGeometry();
  update();
}

void XStatusBar::EnablePane(int pane, bool enable) {
  if (!valid(pane)) return;
  const uint32_t style = enable ? 0 : kPaneStyleDisabled;
  if (panes_[pane].style == style) return;
  panes_[pane].style = style;
  update();
}

bool XStatusBar::isPaneEnabled(int pane) const {
  return valid(pane) && (panes_[pane].style & kPaneStyleDisabled) == 0;
}

const XPaneInfo& XStatusBar::paneInfo(int pane) const {
  static const XPaneInfo none{};
  return valid(pane) ? panes_[pane].info : none;
}

void XStatusBar::setMinimumBarHeight(int height) {
  minimumBarHeight_ = std::max(0, height);
  setMinimumHeight(sizeHint().height());
  updateGeometry();
}

QRect XStatusBar::paneRect(int pane) const {
  if (!valid(pane)) return {};
  const int frame = 2 * (kPanePadding + 1);
  int fixed = 0;
  int stretchCount = 0;
  for (const Pane& p : panes_) {
    fixed += p.width + frame + kPaneGap;
    if (p.style & kPaneStyleStretch) ++stretchCount;
  }
  // Stretching panes share what the others and the grip leave of the bar's width.
  const int spare = std::max(0, width() - fixed - (sizeGripShown() ? kGripReserve : 0));
  int x = 0;
  for (int i = 0; i < paneCount(); ++i) {
    int w = panes_[i].width + frame;
    if (stretchCount > 0 && (panes_[i].style & kPaneStyleStretch)) w += spare / stretchCount;
    if (i == pane) return QRect(x, kTopMargin, w, std::max(0, height() - kTopMargin - kBottomMargin));
    x += w + kPaneGap;
  }
  return {};
}

bool XStatusBar::sizeGripShown() const {
  const QWidget* top = window();
  return top == nullptr || !top->isMaximized();
}

QSize XStatusBar::sizeHint() const {
  int contentHeight = kStatusBitmapSize;
  int width = 0;
  for (const Pane& p : panes_) {
    contentHeight = std::max(contentHeight, QFontMetrics(p.info.font).height());
    width += p.width + 2 * (kPanePadding + 1) + kPaneGap;
  }
  const int height = std::max(minimumBarHeight_, contentHeight + kTopMargin + kBottomMargin + 2);
  return QSize(width + kGripReserve, height);
}

QSize XStatusBar::minimumSizeHint() const {
  return QSize(0, sizeHint().height());
}

void XStatusBar::paintEvent(QPaintEvent* /*event*/) {
  // Everything goes to an off-screen picture first and reaches the window in one copy, so the
  // bar, repainted ten times a second, never flickers.
  const qreal ratio = devicePixelRatioF();
  QPixmap buffer(size() * ratio);
  buffer.setDevicePixelRatio(ratio);
  buffer.fill(palette().color(QPalette::Button));
  {
    QPainter painter(&buffer);
    for (int i = 0; i < paneCount(); ++i) paintPane(painter, i);
    if (sizeGripShown()) paintSizeGrip(painter);
  }
  QPainter window(this);
  window.drawPixmap(0, 0, buffer);
}

void XStatusBar::paintPane(QPainter& painter, int index) const {
  const Pane& pane = panes_[index];
  QRect rect = paneRect(index);
  if (rect.isEmpty()) return;
  const QColor light = palette().color(QPalette::Light);
  const QColor shadow = palette().color(QPalette::Dark);
  if (pane.style & kPaneStylePopOut) {
    Draw3dRect(painter, rect, light, shadow);
  } else if (!(pane.style & kPaneStyleNoBorders)) {
    Draw3dRect(painter, rect, shadow, light);
  }
  const QRect inner = rect.adjusted(1, 1, -1, -1);
  const bool enabled = (pane.style & kPaneStyleDisabled) == 0;
  painter.save();
  painter.fillRect(inner, enabled ? pane.info.backgroundEnabled : pane.info.backgroundDisabled);
  painter.setClipRect(inner);
  const uint32_t kind = pane.info.mode & kPaneKindMask;
  if (kind == kPaneKindText || kind == kPaneKindText2) {
    paintText(painter, pane, enabled, inner.adjusted(kPanePadding, 0, -kPanePadding, 0));
  } else if (kind == kPaneKindBitmap) {
    paintBitmap(painter, pane, enabled, inner);
  }
  painter.restore();
}

void XStatusBar::paintText(QPainter& painter, const Pane& pane, bool enabled, const QRect& inner) const {
  const QString& own = enabled ? pane.info.ownTextEnabled : pane.info.ownTextDisabled;
  const QString& text = own.isEmpty() ? pane.text : own;
  if (text.isEmpty()) return;
  painter.setFont(pane.info.font);
  painter.setPen(enabled ? pane.info.textColorEnabled : pane.info.textColorDisabled);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.drawText(
      inner, static_cast<int>(TextAlignment(pane.info.mode & kPaneFormatMask)) | Qt::TextSingleLine, text);
}

void XStatusBar::paintBitmap(QPainter& painter, const Pane& pane, bool enabled, const QRect& inner) const {
  const QString& name = enabled ? pane.info.ownTextEnabled : pane.info.ownTextDisabled;
  if (name.isEmpty()) return;
  const QPixmap bitmap = StatusBitmap(name);
  if (bitmap.isNull()) return;
  const uint32_t format = pane.info.mode & kPaneFormatMask;
  const int w = bitmap.width();
  const int h = bitmap.height();
  // Right and bottom are the exclusive edges here, as in the framework's rectangles.
  const int right = inner.left() + inner.width();
  const int bottom = inner.top() + inner.height();
  int x = inner.left();
  int y = inner.top();
  if (format & kPaneRight) x = right - w;
  if (format & kPaneCenter) x = (inner.left() + right - w) / 2;
  if (format & kPaneBottom) y = bottom - h;
  if (format & kPaneVCenter) y = (inner.top() + bottom - h) / 2;
  painter.drawPixmap(x, y, bitmap);
}

void XStatusBar::paintSizeGrip(QPainter& painter) const {
  const QColor light = palette().color(QPalette::Light);
  const QColor shadow = palette().color(QPalette::Dark);
  // Line i runs from (right - i, bottom) to (right, bottom - i) with right and bottom just outside
  // the bar, and like a GDI line it leaves out its end point. So of line i only the pixels strictly
  // inside the bar remain: from (right - i + 1, bottom - 1) to (right - 1, bottom - i + 1); the
  // first line has none.
  const int right = width();
  const int bottom = height();
  for (int i = 2; i <= kGripLines; ++i) {
    if (i % 4 == 2) continue;
    painter.setPen(QPen(i % 4 == 1 ? light : shadow, 1));
    painter.drawLine(QPoint(right - i + 1, bottom - 1), QPoint(right - 1, bottom - i + 1));
  }
}

bool XStatusBar::inSizeGrip(const QPoint& point) const {
  return sizeGripShown() && point.x() >= width() - kGripReserve && point.y() >= height() - kGripReserve &&
         (width() - point.x()) + (height() - point.y()) <= kGripReserve + 2;
}

void XStatusBar::forwardToOwner(QMouseEvent* event) {
  if (owner_ == nullptr || owner_ == this) return;
  // Moves, and the left, right and middle buttons; other buttons stay with the bar.
  if (event->type() != QEvent::MouseMove &&
      !(event->button() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton))) {
    return;
  }
  // The owner gets the same buttons and keys with the point in the bar's own coordinates.
  QMouseEvent copy(event->type(), event->position(), event->scenePosition(), event->globalPosition(),
                   event->button(), event->buttons(), event->modifiers(), event->pointingDevice());
  QCoreApplication::sendEvent(owner_, &copy);
}

void XStatusBar::mousePressEvent(QMouseEvent* event) {
  forwardToOwner(event);
  if (event->button() == Qt::LeftButton && inSizeGrip(event->position().toPoint())) {
    if (QWindow* handle = window()->windowHandle()) handle->startSystemResize(Qt::RightEdge | Qt::BottomEdge);
  }
  QStatusBar::mousePressEvent(event);
}

void XStatusBar::mouseReleaseEvent(QMouseEvent* event) {
  forwardToOwner(event);
  QStatusBar::mouseReleaseEvent(event);
}

void XStatusBar::mouseMoveEvent(QMouseEvent* event) {
  forwardToOwner(event);
  if (inSizeGrip(event->position().toPoint())) {
    setCursor(Qt::SizeFDiagCursor);
  } else {
    unsetCursor();
  }
  QStatusBar::mouseMoveEvent(event);
}

void XStatusBar::mouseDoubleClickEvent(QMouseEvent* event) {
  forwardToOwner(event);
  QStatusBar::mouseDoubleClickEvent(event);
}

}  // namespace axtune
