// XStatusBar: a status bar that paints all its panes itself, double-buffered. Each pane has its own
// background and text colour and font for an enabled and a disabled look, and shows either text or
// a bitmap. Mouse input over the bar goes to the owner window first.
#pragma once

#include <QPointer>
#include <QStatusBar>
#include <QString>
#include <cstdint>
#include <vector>

#include "ui/xpane_info.h"

class QPainter;

namespace axtune {

class XStatusBar : public QStatusBar {
  Q_OBJECT

 public:
  // The owner (which receives the mouse input) is the parent until setOwner says otherwise.
  explicit XStatusBar(QWidget* parent = nullptr);
  ~XStatusBar() override;

  // The framework's indicator set-up: one pane per id, each with style 0, its default width and
  // an empty pane text; every pane's XPaneInfo is reset to the defaults. False for a negative count.
  bool setIndicators(const unsigned* ids, int count);
  int paneCount() const { return static_cast<int>(panes_.size()); }

  // The framework's pane information: id, style and width (pixels of content; the frame and a
  // 2-pixel margin on each side come on top).
  void setPaneInfo(int pane, unsigned id, uint32_t style, int width);
  void setPaneWidth(int pane, int width);
  int paneWidth(int pane) const;
  void setPaneStyle(int pane, uint32_t style);
  uint32_t paneStyle(int pane) const;
  unsigned paneId(int pane) const;
  // The framework's pane text, shown by a text pane whose own text for its state is empty.
  void setPaneText(int pane, const QString& text);
  QString paneText(int pane) const;

  void SetPaneMode(int pane, uint32_t mode);
  // An invalid disabled colour stands for the system menu colour.
  void SetPaneBkColor(int pane, const QColor& enabled, const QColor& disabled = QColor());
  void SetPaneTextColor(int pane, const QColor& enabled, const QColor& disabled = QColor());
  // Bitmap names for the enabled and the disabled look; an empty name shows no bitmap.
  void SetPaneBitmaps(int pane, const QString& enabled, const QString& disabled);
  void SetPaneOwnTexts(int pane, const QString& enabled, const QString& disabled);
  void SetPaneFont(int pane, const QFont& font);
  // Sets the pane's whole style to 0 (enabled) or the disabled bit alone, as the framework does:
  // enabling a pop-out pane also removes its pop-out look.
  void EnablePane(int pane, bool enable);
  bool isPaneEnabled(int pane) const;
  const XPaneInfo& paneInfo(int pane) const;

  // The pane's rectangle in the bar (frame included); empty for an unknown pane.
  QRect paneRect(int pane) const;
  // Whether the size grip is drawn now (not while the window is maximised).
  bool sizeGripShown() const;

  void setOwner(QWidget* owner) { owner_ = owner; }
  QWidget* owner() const { return owner_; }
  void setMinimumBarHeight(int height);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  struct Pane {
    unsigned id = 0;
    uint32_t style = 0;
    int width = 0;
    QString text;
    XPaneInfo info;
  };

  bool valid(int pane) const { return pane >= 0 && pane < paneCount(); }
  void paintPane(QPainter& painter, int pane) const;
  void paintText(QPainter& painter, const Pane& pane, bool enabled, const QRect& inner) const;
  void paintBitmap(QPainter& painter, const Pane& pane, bool enabled, const QRect& inner) const;
  void paintSizeGrip(QPainter& painter) const;
  bool inSizeGrip(const QPoint& point) const;
  void forwardToOwner(QMouseEvent* event);

  std::vector<Pane> panes_;
  QPointer<QWidget> owner_;
  int minimumBarHeight_ = 0;
};

}  // namespace axtune
